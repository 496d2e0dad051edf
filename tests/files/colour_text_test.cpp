// Colours typed in lower-case hexadecimal ("0xb9dcff", "$ff", "x1a") are the
// same colours as in upper case, in the option edits, in the reader of typed
// colours and in the integer reader that the constituent editor uses.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine/state/run_state.h"
#include "files/setup_edits.h"
#include "foundation/numtext.h"

TEST(ColourTexts, LowerCaseHexadecimalDigitsAreTheSameColour)
{
    const std::pair<const char*, std::uint32_t> typed[] = {{"0xb9dcff", 0xB9DCFFu},
                                                           {"0xB9DCFF", 0xB9DCFFu},
                                                           {"0xb9DcFf", 0xB9DCFFu},
                                                           {"$ff", 0xFFu},
                                                           {"$FF", 0xFFu},
                                                           {"x1a", 0x1Au},
                                                           {"0x00abcdef", 0xABCDEFu},
                                                           {"0xfedcba98", 0xFEDCBA98u}};
    for (const char* edit : {"edSimColor", "edDetColor"})
        for (auto [text, colour] : typed) {
            SCOPED_TRACE(std::string(edit) + " <- " + text);
            RunState st;
            const EditEntry* e = FindEdit(edit);
            ASSERT_NE(e, nullptr);
            ASSERT_EQ(CommitEdit(st, *e, text), EditResult::Taken);
            EXPECT_EQ(*e->colour(st), colour);
            EXPECT_EQ(ReadColour(text), static_cast<std::int64_t>(colour));
            // shown again with upper-case digits, and read back unchanged
            EXPECT_EQ(ReadColour(ShowEdit(st, *e)), static_cast<std::int64_t>(colour));
        }
    EXPECT_EQ(ColourText(0xB9DCFF), "0x00B9DCFF");
    // letters beyond f are no digits in either case
    for (const char* bad : {"0xg1", "$fg", "x-1", "0xb9dcffz"})
        EXPECT_EQ(ReadColour(bad), -1) << bad;

    // the integer reader: decimal, or hexadecimal after "$" or "0x", either case
    const std::pair<const char*, int> ints[] = {{"$ff", 255},
                                                {"$Ff", 255},
                                                {"0xb9dcff", 0xB9DCFF},
                                                {"0XB9DCFF", 0xB9DCFF},
                                                {"$7fffffff", 0x7FFFFFFF},
                                                {"0xabc", 0xABC}};
    for (auto [text, value] : ints) {
        int v = 0;
        EXPECT_TRUE(ReadInt(text, v) && v == value) << text << " " << v;
    }
}
