#include <gtest/gtest.h>


#include "foundation/errors.h"
#include "foundation/paramset.h"
#include "foundation/polynom.h"
#include "support/raised_message.h"

namespace {

const std::string kRange =
    "Out of argument range in the called function.\nIncorrect range, indefinite expression or argument set up.";

}  // namespace

TEST(Polynom, TermsStaySortedAndSummed)
{
    TPolynom p;
    p.Add(2, 1.0);
    p.Add(2, -1.0);
    ASSERT_EQ(p.Count(), 1);   // a term that sums to 0 stays
    EXPECT_EQ(p.Find(2)->coefficient, 0.0);

    TPolynom q;
    q.Add(3, 3.0);
    q.Add(1, 1.0);
    q.Add(-2, 5.0);
    q.Add(2, 2.0);
    q.Add(0, 0.0);   // no term enters with coefficient 0
    ASSERT_EQ(q.Count(), 4);
    const int order[] = {-2, 1, 2, 3};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(q.Terms()[static_cast<std::size_t>(i)].exponent, order[i]);
    EXPECT_EQ(q.Find(0), nullptr);

    TPolynom empty(0, 0.0);
    EXPECT_EQ(empty.Count(), 0);
    EXPECT_EQ(empty.Find(0), nullptr);
}

TEST(Polynom, MinusConstant)
{
    const TPolynom p = UnitX - 2.5;
    ASSERT_EQ(p.Count(), 2);
    EXPECT_EQ(p.Terms()[0].exponent, 0);
    EXPECT_EQ(p.Terms()[0].coefficient, -2.5);
    EXPECT_EQ(p.Terms()[1].exponent, 1);
    EXPECT_EQ(p.Terms()[1].coefficient, 1.0);

    TPolynom q(1, 1.0);
    q.Add(0, 4.0);
    const TPolynom r = q - 1.0;
    ASSERT_EQ(r.Count(), 2);
    EXPECT_EQ(r.Find(0)->coefficient, 3.0);
    EXPECT_EQ((UnitX - 0.0).Count(), 1);
    EXPECT_EQ(UnitX.Count(), 1);   // the operand is not changed
}

TEST(ParamSet, EntriesValuesAndErrors)
{
    TParamSet s;
    EXPECT_EQ(s.Count(), 3);
    EXPECT_EQ(s.Name(1), "x");
    EXPECT_EQ(s.Name(2), "y");
    EXPECT_EQ(s.Name(3), "z");
    EXPECT_FALSE(s.UseVal(2));
    EXPECT_EQ(RaisedMessage([&] { s.Value(1); }),
              "TParamSet::Value>>useVal: value of parameter or variable is not set");
    EXPECT_EQ(s.Find(4), nullptr);
    EXPECT_EQ(s.Find(0), nullptr);

    EXPECT_EQ(s.Add("k"), 4);
    EXPECT_EQ(s.Add("k"), 5);   // names may repeat
    EXPECT_EQ(s.Name(5), "k");
    EXPECT_FALSE(s.UseVal(5));

    s.SetValue(1, 2.5);
    EXPECT_TRUE(s.UseVal(1));
    EXPECT_EQ(s.Value(1), 2.5);
    s.ClearValue(1);
    EXPECT_FALSE(s.UseVal(1));
    EXPECT_EQ(s.Find(1)->value, 2.5);   // kept, but counts as absent
    EXPECT_THROW(s.Value(1), Exception);

    EXPECT_EQ(RaisedMessage([&] { s.SetValue(9, 1.0); }), "(TParamSet::SetValue): " + kRange);
    EXPECT_EQ(RaisedMessage([&] { s.ClearValue(0); }), "(TParamSet::ClearValue): " + kRange);
    EXPECT_EQ(RaisedMessage([&] { s.Value(-1); }), "(TParamSet::Value): " + kRange);
    EXPECT_EQ(RaisedMessage([&] { s.UseVal(6); }), "(TParamSet::UseVal): " + kRange);
    EXPECT_EQ(RaisedMessage([&] { s.Name(9); }), "TParamSet::Name: Out of range");

    // Copies are independent.
    TParamSet copy = s;
    copy.SetValue(2, 7.0);
    EXPECT_FALSE(s.UseVal(2));
}
