#include "foundation/univset.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/raised_message.h"
#include "support/recording_sink.h"

namespace {

const std::string kNoNode = "IndexAddress(int): Node doesn't exist!";
const std::string kOk = "(no error)";

std::string Code4(const std::string& where)
{
    return "(template TUnivSet::" + where + "): " + ErrorCodeText(-4);
}

// The (index, value) pairs of the list. Checks on the way that the indices rise
// strictly, that Count is the number of nodes and that Tail is the last node.
template <class T>
std::vector<std::pair<int, T>> Entries(const TUnivSet<T>& list)
{
    std::vector<std::pair<int, T>> out;
    const TUSNode<T>* last = nullptr;
    for (auto* n = list.Head(); n; last = n, n = n->next) {
        EXPECT_TRUE(!last || last->index < n->index);
        out.emplace_back(n->index, n->data);
    }
    EXPECT_EQ(static_cast<int>(out.size()), list.Count());
    EXPECT_EQ(last, list.Tail());
    return out;
}

using S = std::vector<std::pair<int, std::string>>;

// The renumbering of Insert and RemoveNode, lookups and their errors, and the
// accumulation of an int list are checked against a model below; here what
// the int model cannot show.
TEST(UnivSet, OtherTypesAreReplacedOnPutAndCopiesAreDeep)
{
    RecordingMessageSink sink;
    TUnivSet<std::string> s;
    // Below the head prepends, between links in place; other element types than
    // int are replaced on an existing index (head, middle, tail).
    for (int i : {2, 3, 1, 9, 6}) s.Put(i, std::string(1, static_cast<char>('a' + i - 1)));
    for (int i : {1, 3, 9}) s.Put(i, "N");
    s.Add("k");
    const S entries{{1, "N"}, {2, "b"}, {3, "N"}, {6, "f"}, {9, "N"}, {10, "k"}};
    EXPECT_EQ(Entries(s), entries);
    EXPECT_EQ(RaisedMessage([&] { s[4]; }), Code4("operator[]"));
    // Copies are deep and keep the gaps.
    TUnivSet<std::string> c(s);
    s[2] = "changed";
    s.Insert(1, "x");
    EXPECT_EQ(Entries(c), entries);
    EXPECT_TRUE(sink.warnings.empty());
}

// Random operations against std::map as the model, with the same renumbering
// rules; the list is compared with the model after every operation.
TEST(UnivSet, AgreesWithMapModelOnRandomOperations)
{
    std::mt19937 rng(12345);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 40; ++round) {
        TUnivSet<int> list;
        std::map<int, int> model;
        for (int op = 0; op < 400; ++op) {
            const int kind = pick(0, 9), index = pick(-5, 40), value = pick(-100, 100);
            const bool present = model.count(index) != 0;
            const bool above = model.empty() || index > model.rbegin()->first;
            std::map<int, int> next;
            if (kind <= 3) {
                list.Put(index, value);
                model[index] += value;
            } else if (kind == 4) {
                list.Add(value);
                model[model.empty() ? 1 : model.rbegin()->first + 1] = value;
            } else if (kind == 5) {
                EXPECT_EQ(RaisedMessage([&] { list.RemoveNode(index); }),
                          present ? kOk : Code4("RemoveNode"));
                for (auto [k, v] : model)
                    if (k != index) next[k < index ? k : k - 1] = v;
                if (present) model.swap(next);
            } else if (kind == 6) {
                EXPECT_EQ(RaisedMessage([&] { list.Insert(index, value); }), above ? kNoNode : kOk);
                for (auto [k, v] : model) next[k < index ? k : k + 1] = v;
                if (present) model.swap(next);
                if (!above) model[index] = value;
            } else {
                const TUSNode<int>* node = nullptr;
                EXPECT_EQ(RaisedMessage([&] { node = list.IndexAddress(index); }),
                          above ? kNoNode : kOk);
                if (present) {
                    ASSERT_TRUE(node);
                    EXPECT_EQ(node->data, model[index]);
                    EXPECT_EQ(list.Get(index), model[index]);
                } else if (!above) {
                    EXPECT_EQ(node, nullptr);
                    EXPECT_EQ(RaisedMessage([&] { list.Get(index); }), Code4("Get"));
                }
            }
            ASSERT_EQ(Entries(list),
                      (std::vector<std::pair<int, int>>(model.begin(), model.end())));
        }
        TUnivSet<int> copy(list);
        EXPECT_EQ(Entries(copy), Entries(list));
    }
}

}  // namespace
