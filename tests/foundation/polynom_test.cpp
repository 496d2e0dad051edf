#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "foundation/errors.h"
#include "foundation/paramset.h"
#include "foundation/polynom.h"
#include "support/raised_message.h"

namespace {

using Terms = std::vector<std::pair<int, double>>;

Terms TermsOf(const TPolynom& p)
{
    Terms out;
    for (const TPlNode& t : p.Terms()) out.emplace_back(t.exponent, t.coefficient);
    return out;
}

TEST(Polynom, TermsStaySortedAndSummed)
{
    TPolynom p;
    p.Add(2, 1.0);
    p.Add(2, -1.0);
    EXPECT_EQ(TermsOf(p), (Terms{{2, 0.0}}));  // a term that sums to 0 stays
    TPolynom q;
    for (auto [e, c] : Terms{{3, 3.0}, {1, 1.0}, {-2, 5.0}, {2, 2.0}, {0, 0.0}}) q.Add(e, c);
    EXPECT_EQ(TermsOf(q),
              (Terms{{-2, 5.0}, {1, 1.0}, {2, 2.0}, {3, 3.0}}));  // no term enters with 0
    EXPECT_EQ(TermsOf(UnitX - 2.5), (Terms{{0, -2.5}, {1, 1.0}}));
    EXPECT_EQ(TermsOf(UnitX), (Terms{{1, 1.0}}));  // the operand is not changed
    TPolynom r(1, 1.0);
    r.Add(0, 4.0);
    EXPECT_EQ(TermsOf(r - 1.0), (Terms{{0, 3.0}, {1, 1.0}}));
}

TEST(ParamSet, EntriesValuesAndErrors)
{
    TParamSet s;
    EXPECT_EQ(s.Add("k"), 4);
    EXPECT_EQ(s.Add("k"), 5);  // names may repeat
    const std::string notSet =
        "TParamSet::Value>>useVal: value of parameter or variable is not set";
    EXPECT_EQ(RaisedMessage([&] { s.Value(5); }), notSet);
    s.SetValue(1, 2.5);
    EXPECT_EQ(s.Value(1), 2.5);
    s.ClearValue(1);
    EXPECT_EQ(s.Find(1)->value, 2.5);  // kept, but counts as absent
    EXPECT_EQ(RaisedMessage([&] { s.Value(1); }), notSet);
    const std::string range = ErrorCodeText(-4);
    EXPECT_EQ(RaisedMessage([&] { s.SetValue(9, 1.0); }), "(TParamSet::SetValue): " + range);
    EXPECT_EQ(RaisedMessage([&] { s.Value(-1); }), "(TParamSet::Value): " + range);
    EXPECT_EQ(RaisedMessage([&] { s.Name(9); }), "TParamSet::Name: Out of range");
}

}  // namespace
