// Expression trees: parser and printer, their round trip, and robustness of
// the parser against arbitrary text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "foundation/errors.h"
#include "foundation/fntree.h"
#include "support/raised_message.h"

namespace {

TFnTree Parse(const std::string& text)
{
    TFnTree t;
    EXPECT_TRUE(t.FromText(text)) << text;
    return t;
}

// The largest magnitude met anywhere in the last evaluation of the tree: the
// scale against which rounding differences of two equivalent trees are judged.
double Magnitude(const TFnNode* node)
{
    if (!node) return 0.0;
    return std::max({std::fabs(node->value), Magnitude(node->left.get()), Magnitude(node->right.get())});
}

const double kPoints[][3] = {{0.7, -1.3, 2.1}, {1.9, 0.4, -0.6}, {-2.2, 3.1, 0.9}, {3.3, 0.25, -1.7}};   // x, y, z

// The value at p, NaN when the evaluation raises.
double Evaluate(const TFnTree& t, const double (&p)[3])
{
    GlobalParams.SetValue(2, p[1]);
    GlobalParams.SetValue(3, p[2]);
    double value = std::nan("");
    RaisedMessage([&] { value = t.Value(p[0]); });
    GlobalParams.ClearValue(2);
    GlobalParams.ClearValue(3);
    return value;
}

// Prints t, parses the text again and compares the values of both trees at the
// points where t evaluates; returns the number of points compared.
int ExpectRoundTrip(const TFnTree& t, const std::string& label)
{
    const std::string text = t.ToString();
    TFnTree back;
    EXPECT_TRUE(back.FromText(text)) << label << " printed as " << text;
    int compared = 0;
    for (const auto& p : kPoints) {
        const double a = Evaluate(t, p);
        if (std::isnan(a)) continue;
        const double scale = std::max(Magnitude(t.root.get()), 1.0);
        EXPECT_NEAR(a, Evaluate(back, p), 1e-12 * scale) << label << " printed as " << text;
        ++compared;
    }
    return compared;
}

// A random tree of the given depth, built node by node (no folding): leaves x,
// y, z, small integers and reals; the binary operators (powers with a small
// integer or 1/2 as exponent) and functions of one argument.
std::unique_ptr<TFnNode> RandomTree(std::mt19937& rng, int depth, TFnNode* parent)
{
    static const double reals[] = {0.37, -2.5, 1e-3, 2.5e-7, 1.5e20, 123456.789, -7.25e-12};
    static const int variables[] = {fnX, fnY, fnZ};
    static const int functions[] = {fnSin, fnCos, fnExp, fnAbs, fnArctg, fnErf, fnTgh, fnSinh, fnArccotg};
    auto node = TFnTree::NewNode(-1, parent);
    if (depth == 0 || rng() % 5 == 0) {
        const unsigned k = rng() % 6;
        if (k < 3)
            node->type = variables[k];
        else if (k < 5)
            TFnTree::SetInt(node.get(), static_cast<int>(rng() % 15) - 5);
        else
            TFnTree::SetReal(node.get(), reals[rng() % std::size(reals)]);
        return node;
    }
    const unsigned kind = rng() % 8;
    node->type = kind < 5 ? fnPower + static_cast<int>(kind) : functions[rng() % std::size(functions)];
    node->left = RandomTree(rng, depth - 1, node.get());
    if (node->type == fnPower) {
        node->right = TFnTree::NewNode(-1, node.get());
        if (rng() % 3 == 0)
            TFnTree::SetReal(node->right.get(), 0.5);
        else
            TFnTree::SetInt(node->right.get(), static_cast<int>(rng() % 7) - 2);
    } else if (kind < 5) {
        node->right = RandomTree(rng, depth - 1, node.get());
    }
    return node;
}

TEST(FnTreeParser, ParsesAndPrintsTheDocumentedTexts)
{
    const std::pair<const char*, const char*> printed[] = {
        {"30.0*(x^(-1/3))*Abs(z)+2.0", "30 * x^((-1) * 1 / 3) * Abs(z) + 2"}, {"S i n ( x )", "Sin(x)"},
        {"-x", "(-1) * x"}, {"-2*x", "(-1) * 2 * x"}, {"(x)+(y)", "x + y"}, {"x-(y-z)", "x - (y - z)"},
        {"(x-y)-z", "x - y - z"}, {"x/(y*z)", "x / (y * z)"}, {"(x*y)/z", "x * y / z"},
        {"(x+y)*(y-z)", "(x + y) * (y - z)"}, {"(x+1)/(y^2)", "(x + 1) / (y^2)"}, {"(x*y)^(z+1)", "(x * y)^(z + 1)"},
        {"Log(2,x)", "Log(2, x)"}, {"Param[2]", "y"}, {"param[2]", "y"}, {"Param[2,7]", "y"},
        {"Param[77]*x", "Param[77] * x"}};   // no such entry: printed by index
    for (auto [text, print] : printed) EXPECT_EQ(Parse(text).ToString(), print) << text;
    EXPECT_EQ(TFnTree().ToString(), "Empty");
    EXPECT_EQ(TFnTree(-2.5).ToString() + TFnTree(-1.0).ToString(), "(-2.5)(-1)");
    EXPECT_EQ(TFnTree(0.1).ToString() + " " + TFnTree(1.0 / 3.0).ToString(), "0.1 0.333333333333333");

    // Same trees, constants of the same type: an integral value is an integer node.
    const std::pair<const char*, TFnTree> trees[] = {
        {"1.5e+3", TFnTree(1500.0)}, {"30.0", TFnTree(30.0)}, {"1,5", TFnTree(1.5)}, {"1e-5", TFnTree(1e-5)},
        {"(1e-5)", TFnTree(1e-5)}, {"PI", TFnTree(M_PI)}, {"((x))", TFnTree(UnitX)}, {"X()", TFnTree(UnitX)},
        {"Expx", Parse("Exp(x)")}};
    for (const auto& [text, tree] : trees) EXPECT_TRUE(TFnTree::Equal(Parse(text).root.get(), tree.root.get())) << text;

    // Signed exponents inside larger expressions, as the printer writes them.
    const std::pair<const char*, double> values[] = {
        {"2*1e-5", 2e-5}, {"x-1e-3", 0.999}, {"x*1.5E+20", 1.5e20}, {"x*1E-5-2.5e-3", 1e-5 - 2.5e-3},
        {"-1e-5", -1e-5}, {"2*(1e-5)", 2e-5}, {"Exp(x)-1", std::exp(1.0) - 1}, {"+x", 1}};   // 'p' is no mantissa
    for (auto [text, value] : values) EXPECT_DOUBLE_EQ(Parse(text).Value(1.0), value) << text;

    // A named parameter is found by name and shadows "PI".
    GlobalParams = TParamSet();
    const int k = GlobalParams.Add("k"), pi = GlobalParams.Add("PI");
    EXPECT_EQ(Parse("k*x").root->left->intValue, k);
    EXPECT_EQ(Parse("PI").root->intValue, pi);
    EXPECT_EQ(Parse("k*x").ToString(), "k * x");
    GlobalParams = TParamSet();
}

TEST(FnTreeParser, MalformedTextFailsToTheConstantZero)
{
    for (const char* text : {"", "2*-3", "x^-2", "(x", "x)", ")", "Log(8)", "Log(2,8,1)", "Log()", "Log(,2)", "exp(x)",
                             "Param[]", "()", "1,234.5", "inf", "nan", "0x10", "1e999", "Param[1e300]", "Param[-2]",
                             "Sin()", "x+", "*x", "x*/y", "2(x)", "Sin(x)(y)", "(x))", "Maxx", "1e", "1e-", "1e-x",
                             "\tx", "x y"}) {
        TFnTree t = Parse("x");
        EXPECT_FALSE(t.FromText(text)) << text;
        ASSERT_TRUE(t.root) << text;
        EXPECT_EQ(t.root->type, fnInt) << text;
        EXPECT_EQ(t.Value(2.0), 0.0) << text;
        EXPECT_EQ(t.ToString(), "0") << text;
    }
    // Deep nesting and very long texts are refused, not followed to the bottom.
    EXPECT_FALSE(TFnTree().FromText(std::string(5000, '-') + "x"));
    EXPECT_FALSE(TFnTree().FromText(std::string(20000, '(') + "x" + std::string(20000, ')')));
    EXPECT_TRUE(TFnTree().FromText(std::string(100, '(') + "x" + std::string(100, ')')));
    EXPECT_THROW(TFnTree::ReadAS("x", nullptr), Exception);
}

TEST(FnTreeParser, RoundTripOfACorpusAndOfRandomTrees)
{
    for (const char* text :
         {"30.0*(x^(-1/3))*Abs(z)+2.0", "x-(y-z)", "(x-y)-z", "x/(y*z)", "(x*y)/z", "x/y/z", "2^3^2", "x^y^0.5", "-x^2",
          "-(x+y)*z", "Sin(x)^2+Cos(x)^2", "Log(2, Abs(x)+1)", "Exp(-x*x/2)/2.5066282746310002", "Erf((x-0.37)/1e-3)",
          "Erfc(y)", "Tg(x/4)*Cotg(y+5)", "Arcsin(x/10)+Arccos(y/10)+Arctg(z)+Arccotg(x)",
          "Sinh(x)-Cosh(y)*Tgh(z)/Cotgh(x+10)", "Argsinh(x)+Argcosh(Abs(y)+1)+Argtgh(z/3)+Argcotgh(x+10)",
          "Sign(x)*Abs(y)", "x*1e-5-y*2.5E+20", "1.5e-300*x", "123456789.123456*y", "Param[1]*Param[3]",
          "Ln(Abs(x))-Ln(2)", "x^(-2)", "(-2)^3*x", "Sinx+Expx", "PI*x/180", "1,5*x"})
        EXPECT_GT(ExpectRoundTrip(Parse(text), text), 0) << text;

    std::mt19937 rng(424242);
    int compared = 0;
    for (int i = 0; i < 3000 && !HasFailure(); ++i) {
        TFnTree t;
        t.root = RandomTree(rng, 1 + i % 6, nullptr);
        compared += ExpectRoundTrip(t, "random tree " + std::to_string(i));
    }
    EXPECT_GT(compared, 6000);
}

TEST(FnTreeParser, ArbitraryTextNeverBreaksTheParser)
{
    const std::string alphabet = "xyz()+-*/^,.eE0123456789 SinLogAbsParam[]";
    std::mt19937 rng(7);
    int parsed = 0, compared = 0;
    for (int i = 0; i < 100000 && !HasFailure(); ++i) {
        std::string text(rng() % 41, ' ');
        for (char& c : text) c = alphabet[rng() % alphabet.size()];
        TFnTree t;
        const bool ok = t.FromText(text);
        ASSERT_TRUE(t.root) << text;
        if (!ok) {
            EXPECT_EQ(t.ToString(), "0") << text;
            continue;
        }
        ++parsed;
        compared += ExpectRoundTrip(t, text);
    }
    EXPECT_GT(parsed, 1000);
    EXPECT_GT(compared, 1000);
}

}  // namespace
