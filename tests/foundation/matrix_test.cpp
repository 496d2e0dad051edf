#include "foundation/matrix.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "foundation/errors.h"
#include "support/raised_message.h"

namespace {

void Fill(TMatrix& a, double base)
{
    for (int i = 0; i <= a.n(); ++i)
        for (int j = 0; j <= a.m(); ++j) a[i][j] = base + 10 * i + j;
}

TEST(Matrix, ConstructionAndAssignmentModes)
{
    TMatrix one(1);
    EXPECT_EQ(one.n(), 1);
    EXPECT_EQ(one.m(), 1);
    EXPECT_EQ(one[1][1], 0);
    EXPECT_EQ(one.mode, 1);
    TMatrix four(4);
    for (int i = 0; i <= 4; ++i)
        for (int j = 0; j <= 4; ++j) EXPECT_EQ(four[i][j], 0);
    EXPECT_EQ(RaisedMessage([] { TMatrix bad(0); }), "(TMatrix::TMatrix(int)): " + ErrorCodeText(-6));
    EXPECT_EQ(RaisedMessage([] { TMatrix bad(-3); }), "(TMatrix::TMatrix(int)): " + ErrorCodeText(-6));

    RecordingMessageSink sink;
    TMatrix three(3);
    Fill(three, 100);
    three.mode = 0;

    TMatrix target(2);
    target = three;   // mode 1: resized silently, every element (column 0 too) copied
    EXPECT_EQ(target.n(), 3);
    EXPECT_EQ(target.m(), 3);
    EXPECT_EQ(target.mode, 0);
    for (int i = 1; i <= 3; ++i)
        for (int j = 0; j <= 3; ++j) EXPECT_EQ(target[i][j], 100 + 10 * i + j);
    EXPECT_TRUE(sink.warnings.empty());

    TMatrix warned(2);
    warned.mode = 0;
    three.mode = 1;
    warned = three;
    EXPECT_EQ(warned.n(), 3);
    EXPECT_EQ(warned.mode, 1);
    ASSERT_EQ(sink.warnings.size(), 1u);
    EXPECT_EQ(sink.warnings[0], "ASSINGMENT OPERATION CHANGED TARGET MATRIX DIMENSIONS");

    TMatrix refused(2);
    Fill(refused, 5);
    refused.mode = 2;
    EXPECT_EQ(RaisedMessage([&] { refused = three; }), "(TMatrix::operator=): " + ErrorCodeText(-7));
    EXPECT_EQ(refused.n(), 2);
    EXPECT_EQ(refused.mode, 2);
    EXPECT_EQ(refused[2][2], 5 + 22);

    // Equal sizes: elements 1..n, 1..m copied, the mode taken, never a message.
    sink.Clear();
    TMatrix a(3), b(3);
    Fill(a, 1);
    a.mode = 2;
    b.mode = 0;
    b = a;
    EXPECT_EQ(b.mode, 2);
    EXPECT_EQ(b[3][2], 1 + 32);
    EXPECT_EQ(b[2][0], 0);   // column 0 is not part of an equal-size copy
    TMatrix& alias = b;
    b = alias;
    EXPECT_EQ(b[3][2], 1 + 32);
    EXPECT_TRUE(sink.warnings.empty());
}

TEST(Matrix, CopiesAreIndependent)
{
    TMatrix a(3);
    Fill(a, 0);
    TMatrix b(a);
    b[2][3] = -1;
    EXPECT_EQ(a[2][3], 23);
    std::vector<TMatrix> held(3, a);   // an array of matrices, as a record holds them
    held[1][1][1] = 99;
    EXPECT_EQ(held[0][1][1], 11);
    EXPECT_EQ(a[1][1], 11);
    TMatrix moved = std::move(b);
    EXPECT_EQ(moved[2][3], -1);
    EXPECT_EQ(moved.n(), 3);
}

}  // namespace
