#include "foundation/matrix.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/errors.h"
#include "support/raised_message.h"
#include "support/recording_sink.h"

namespace {

// A matrix of size n whose element [i][j] is base + 10 i + j.
TMatrix Filled(int n, double base, int mode)
{
    TMatrix a(n);
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) a[i][j] = base + 10 * i + j;
    a.mode = mode;
    return a;
}

TEST(Matrix, ConstructionAssignmentModesAndCopies)
{
    EXPECT_EQ(RaisedMessage([] { TMatrix bad(0); }),
              "(TMatrix::TMatrix(int)): " + ErrorCodeText(-6));

    RecordingMessageSink sink;
    const TMatrix three0 = Filled(3, 100, 0), three1 = Filled(3, 100, 1);
    TMatrix resized(2);  // mode 1: resized silently, every element (column 0 too) copied
    resized = three0;
    EXPECT_EQ(resized.m() + resized.mode, 3);
    for (int i = 1; i <= 3; ++i)
        for (int j = 0; j <= 3; ++j) EXPECT_EQ(resized[i][j], 100 + 10 * i + j);
    EXPECT_TRUE(sink.warnings.empty());
    TMatrix warned(2);  // mode 0: resized with one warning
    warned.mode = 0;
    warned = three1;
    EXPECT_EQ(warned.n() + warned.mode, 4);
    EXPECT_EQ(sink.warnings,
              std::vector<std::string>{"ASSINGMENT OPERATION CHANGED TARGET MATRIX DIMENSIONS"});
    TMatrix refused = Filled(2, 5, 2);  // mode 2: refused, left as it was
    EXPECT_EQ(RaisedMessage([&] { refused = three1; }),
              "(TMatrix::operator=): " + ErrorCodeText(-7));
    EXPECT_EQ(refused.n() + refused.mode + refused[2][2], 2 + 2 + 5 + 22);

    // Equal sizes: elements 1..n, 1..m copied, the mode taken, never a message.
    sink.Clear();
    TMatrix b(3);
    b.mode = 0;
    const TMatrix source = Filled(3, 1, 2);
    b = source;
    EXPECT_EQ(b.mode, 2);
    EXPECT_EQ(b[3][2], 1 + 32);
    EXPECT_EQ(b[2][0], 0);  // column 0 is not part of an equal-size copy
    EXPECT_TRUE(sink.warnings.empty());

    // Copies are deep, also inside a container, as records hold them.
    std::vector<TMatrix> held(2, b);
    held[1][2][3] = -1;
    EXPECT_EQ(held[0][2][3], 1 + 23);
    EXPECT_EQ(b[2][3], 1 + 23);
}

}  // namespace
