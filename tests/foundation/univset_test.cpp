#include "foundation/univset.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/raised_message.h"

namespace {

const std::string kNoNode = "IndexAddress(int): Node doesn't exist!";

template <class T>
std::vector<int> Indices(const TUnivSet<T>& list)
{
    std::vector<int> out;
    for (auto* n = list.Head(); n; n = n->next) out.push_back(n->index);
    return out;
}

template <class T>
std::vector<T> Values(const TUnivSet<T>& list)
{
    std::vector<T> out;
    for (auto* n = list.Head(); n; n = n->next) out.push_back(n->data);
    return out;
}

// Checks the structural invariants: strictly increasing indices, count equal to
// the number of nodes, tail the last node.
template <class T>
void ExpectConsistent(const TUnivSet<T>& list)
{
    int nodes = 0;
    const TUSNode<T>* last = nullptr;
    for (auto* n = list.Head(); n; n = n->next) {
        if (last) {
            EXPECT_LT(last->index, n->index);
        }
        last = n;
        ++nodes;
    }
    EXPECT_EQ(nodes, list.Count());
    EXPECT_EQ(last, list.Tail());
}

std::string Code4(const std::string& where) { return "(" + where + "): " + ErrorCodeText(-4); }

TEST(UnivSet, AddAndPutKeepKeysAndOrder)
{
    TUnivSet<std::string> list;
    list.Add("a");
    EXPECT_EQ(Indices(list), std::vector<int>{1});

    TUnivSet<std::string> keyed;
    keyed.Put(5, "x");
    keyed.Add("y");
    EXPECT_EQ(Indices(keyed), (std::vector<int>{5, 6}));

    // Below the head prepends without renumbering; between links in place.
    TUnivSet<std::string> gaps;
    gaps.Put(2, "b");
    gaps.Put(3, "c");
    gaps.Put(1, "a");
    gaps.Put(9, "z");
    gaps.Put(6, "f");
    EXPECT_EQ(Indices(gaps), (std::vector<int>{1, 2, 3, 6, 9}));
    EXPECT_EQ(Values(gaps), (std::vector<std::string>{"a", "b", "c", "f", "z"}));
    // Non-int elements are replaced on an existing index (head, middle, tail).
    gaps.Put(1, "A");
    gaps.Put(3, "C");
    gaps.Put(9, "Z");
    EXPECT_EQ(Values(gaps), (std::vector<std::string>{"A", "b", "C", "f", "Z"}));
    ExpectConsistent(gaps);

    // An int list accumulates on an existing index.
    TUnivSet<int> ints;
    ints.Put(3, 10);
    ints.Put(3, 5);
    EXPECT_EQ(ints[3], 15);
    ints.Put(1, 1);
    ints.Put(7, 7);
    ints.Put(3, -2);
    ints.Put(7, 1);
    ints.Put(1, 1);
    EXPECT_EQ(Values(ints), (std::vector<int>{2, 13, 8}));
}

TEST(UnivSet, InsertAndRemoveRenumber)
{
    TUnivSet<std::string> list;
    for (const char* s : {"a", "b", "c", "d"}) list.Add(s);
    list.Insert(2, "x");
    EXPECT_EQ(list.Count(), 5);
    EXPECT_EQ(Indices(list), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(Values(list), (std::vector<std::string>{"a", "x", "b", "c", "d"}));
    EXPECT_EQ(list.Tail()->index, 5);
    EXPECT_EQ(list.Tail()->data, "d");
    // Insert at the tail moves the tail up.
    list.Insert(5, "y");
    EXPECT_EQ(Values(list), (std::vector<std::string>{"a", "x", "b", "c", "y", "d"}));
    EXPECT_EQ(list.Tail()->index, 6);
    ExpectConsistent(list);
    EXPECT_EQ(RaisedMessage([&] { list.Insert(9, "q"); }), kNoNode);

    TUnivSet<std::string> gaps;
    gaps.Put(1, "a");
    gaps.Put(2, "b");
    gaps.Put(5, "e");
    gaps.Insert(3, "c");
    EXPECT_EQ(Indices(gaps), (std::vector<int>{1, 2, 3, 5}));
    TUnivSet<std::string> empty;
    EXPECT_EQ(RaisedMessage([&] { empty.Insert(1, "a"); }), kNoNode);

    TUnivSet<std::string> r;
    for (const char* s : {"a", "b", "c", "d"}) r.Add(s);
    r.RemoveNode(2);
    EXPECT_EQ(Indices(r), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(Values(r), (std::vector<std::string>{"a", "c", "d"}));
    r.RemoveNode(3);
    EXPECT_EQ(r.Tail()->data, "c");
    EXPECT_EQ(RaisedMessage([&] { r.RemoveNode(7); }), Code4("template TUnivSet::RemoveNode"));
    r.RemoveNode(1);
    EXPECT_EQ(r.Head()->data, "c");
    EXPECT_EQ(r.Head()->index, 1);
    r.RemoveNode(1);
    EXPECT_EQ(r.Count(), 0);
    EXPECT_EQ(r.Head(), nullptr);
    EXPECT_EQ(r.Tail(), nullptr);
    r.Add("new");
    EXPECT_EQ(Indices(r), std::vector<int>{1});
}

TEST(UnivSet, LookupsRaiseForBadIndices)
{
    TUnivSet<int> list;
    EXPECT_EQ(RaisedMessage([&] { list[1]; }), kNoNode);
    EXPECT_EQ(RaisedMessage([&] { list.Get(1); }), kNoNode);
    list.Put(1, 10);
    list.Put(2, 20);
    list.Put(5, 50);
    EXPECT_EQ(list.IndexAddress(3), nullptr);
    EXPECT_EQ(list.IndexAddress(5), list.Tail());
    EXPECT_EQ(list.IndexAddress(2)->data, 20);
    EXPECT_EQ(RaisedMessage([&] { list.IndexAddress(6); }), kNoNode);
    EXPECT_EQ(RaisedMessage([&] { list[3]; }), Code4("template TUnivSet::operator[]"));
    EXPECT_EQ(RaisedMessage([&] { list.Get(3); }), Code4("template TUnivSet::Get"));
    EXPECT_EQ(list.IndexAddress(0), nullptr);   // below the head: a larger index met first

    TUSNode<int>* pred = nullptr;
    EXPECT_EQ(list.FindNode(5, pred), list.Tail());
    EXPECT_EQ(pred->index, 2);
    EXPECT_EQ(list.FindNode(1, pred), list.Head());
    EXPECT_EQ(pred, nullptr);
    EXPECT_EQ(list.FindNode(4, pred), nullptr);
    EXPECT_EQ(pred->index, 2);
    EXPECT_EQ(list.FindNode(9, pred), nullptr);
    EXPECT_EQ(pred->index, 5);
    EXPECT_EQ(list.FindNode(0, pred), nullptr);
    EXPECT_EQ(pred, nullptr);

    list[2] = 21;
    EXPECT_EQ(list.Get(2), 21);
}

TEST(UnivSet, CopiesAreDeepAndKeepIndices)
{
    TUnivSet<std::string> a;
    a.Put(2, "two");
    a.Put(4, "four");
    a.Put(7, "seven");
    TUnivSet<std::string> b(a);
    EXPECT_EQ(Indices(b), (std::vector<int>{2, 4, 7}));
    b[4] = "changed";
    EXPECT_EQ(a[4], "four");

    TUnivSet<std::string> c;
    c.Add("old");
    c = a;
    EXPECT_EQ(Indices(c), (std::vector<int>{2, 4, 7}));
    EXPECT_EQ(Values(c), Values(a));

    // Assigning a list to itself keeps its contents.
    TUnivSet<std::string>& alias = c;
    c = alias;
    EXPECT_EQ(Values(c), (std::vector<std::string>{"two", "four", "seven"}));
    ExpectConsistent(c);

    // A text table: lists of lines, each a list of fields.
    TUnivSet<TUnivSetAS> table;
    TUnivSetAS line;
    line.Add("H");
    line.Add("1");
    table.Add(line);
    line[2] = "2";
    table.Add(line);
    TUnivSet<TUnivSetAS> tableCopy(table);
    table[1][1] = "X";
    EXPECT_EQ(tableCopy[1][1], "H");
    EXPECT_EQ(tableCopy[1][2], "1");
    EXPECT_EQ(tableCopy[2][2], "2");
    table.Empty();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_EQ(tableCopy.Count(), 2);
}

// Random operations checked against std::map as a model of Put and lookups, and
// against a vector of (index, value) for the renumbering operations.
TEST(UnivSet, AgreesWithMapModelOnRandomOperations)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 40; ++round) {
        TUnivSet<int> list;
        std::map<int, int> model;
        for (int op = 0; op < 400; ++op) {
            const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
            const int index = std::uniform_int_distribution<int>(-5, 40)(rng);
            const int value = std::uniform_int_distribution<int>(-100, 100)(rng);
            if (kind <= 3) {
                list.Put(index, value);
                model[index] += value;
            } else if (kind == 4) {
                list.Add(value);
                model[model.empty() ? 1 : model.rbegin()->first + 1] = value;
            } else if (kind == 5) {
                // Remove: later indices move down by one.
                const bool present = model.count(index) != 0;
                std::string raised = RaisedMessage([&] { list.RemoveNode(index); });
                if (!present) {
                    EXPECT_EQ(raised, Code4("template TUnivSet::RemoveNode"));
                } else {
                    std::map<int, int> next;
                    for (auto [k, v] : model)
                        if (k < index)
                            next[k] = v;
                        else if (k > index)
                            next[k - 1] = v;
                    model.swap(next);
                }
            } else if (kind == 6) {
                // Insert: an existing index shifts it and later ones up; a gap is filled.
                const bool above = model.empty() || index > model.rbegin()->first;
                std::string raised = RaisedMessage([&] { list.Insert(index, value); });
                if (above) {
                    EXPECT_EQ(raised, kNoNode);
                } else if (model.count(index)) {
                    std::map<int, int> next;
                    for (auto [k, v] : model) next[k < index ? k : k + 1] = v;
                    next[index] = value;
                    model.swap(next);
                } else {
                    model[index] = value;   // a gap or below the head: keyed insert
                }
            } else {
                // Reads.
                if (model.count(index)) {
                    EXPECT_EQ(list[index], model[index]);
                    EXPECT_EQ(list.Get(index), model[index]);
                } else {
                    std::string raised = RaisedMessage([&] { list.Get(index); });
                    const bool outside = model.empty() || index > model.rbegin()->first;
                    EXPECT_EQ(raised, outside ? kNoNode : Code4("template TUnivSet::Get"));
                }
            }
            ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
        }
        std::vector<int> keys, values;
        for (auto [k, v] : model) {
            keys.push_back(k);
            values.push_back(v);
        }
        EXPECT_EQ(Indices(list), keys);
        EXPECT_EQ(Values(list), values);
        ExpectConsistent(list);
        TUnivSet<int> copy(list);
        EXPECT_EQ(Indices(copy), keys);
        EXPECT_EQ(Values(copy), values);
    }
}

TEST(UnivSet, PutNeverWarnsOnConsistentLists)
{
    RecordingMessageSink sink;
    TUnivSet<std::string> list;
    for (int i : {10, 2, 30, 4, 20, 1, 25, 3}) list.Put(i, std::to_string(i));
    EXPECT_EQ(Indices(list), (std::vector<int>{1, 2, 3, 4, 10, 20, 25, 30}));
    list.Empty();
    list.Empty();
    EXPECT_TRUE(sink.warnings.empty());
}

}  // namespace
