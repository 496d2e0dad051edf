// Expression trees: parser and printer, their round trip, and robustness of
// the parser against arbitrary text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "foundation/errors.h"
#include "foundation/fntree.h"

namespace {

TFnTree Parse(const std::string& text)
{
    TFnTree t;
    EXPECT_TRUE(t.FromText(text)) << text;
    return t;
}

std::string Printed(const std::string& text) { return Parse(text).ToString(); }

// The largest magnitude met anywhere in the last evaluation of the tree: the
// scale against which rounding differences of two equivalent trees are judged.
double Magnitude(const TFnNode* node)
{
    if (!node) return 0.0;
    return std::max({std::fabs(node->value), Magnitude(node->left.get()), Magnitude(node->right.get())});
}

struct Point {
    double x, y, z;
};
const Point kPoints[] = {{0.7, -1.3, 2.1}, {1.9, 0.4, -0.6}, {-2.2, 3.1, 0.9}, {3.3, 0.25, -1.7}};

// Evaluates at p; false when the evaluation raises.
bool Evaluate(const TFnTree& t, const Point& p, double& value)
{
    GlobalParams.SetValue(2, p.y);
    GlobalParams.SetValue(3, p.z);
    bool ok = true;
    try {
        value = t.Value(p.x);
    } catch (const Exception&) {
        ok = false;
    }
    GlobalParams.ClearValue(2);
    GlobalParams.ClearValue(3);
    return ok;
}

// Prints t, parses the text again and compares the values of both trees at the
// points; returns the number of points compared.
int ExpectRoundTrip(const TFnTree& t, const std::string& label)
{
    const std::string text = t.ToString();
    TFnTree back;
    const bool parsed = back.FromText(text);
    EXPECT_TRUE(parsed) << label << " printed as " << text;
    int compared = 0;
    for (const Point& p : kPoints) {
        double a = 0.0, b = 0.0;
        if (!Evaluate(t, p, a)) continue;
        const double scale = Magnitude(t.root.get());
        if (!parsed) break;
        EXPECT_TRUE(Evaluate(back, p, b)) << label << " printed as " << text;
        EXPECT_NEAR(a, b, 1e-12 * std::max(scale, 1.0)) << label << " printed as " << text;
        ++compared;
    }
    return compared;
}

std::unique_ptr<TFnNode> Leaf(std::mt19937& rng, TFnNode* parent)
{
    auto node = TFnTree::NewNode(-1, parent);
    const double reals[] = {0.37, -2.5, 1e-3, 2.5e-7, 1.5e20, 123456.789, -7.25e-12};
    switch (rng() % 6) {
    case 0: node->type = fnX; break;
    case 1: node->type = fnY; break;
    case 2: node->type = fnZ; break;
    case 3:
    case 4: TFnTree::SetInt(node.get(), static_cast<int>(rng() % 15) - 5); break;
    default:
        node->type = fnReal;
        node->realValue = reals[rng() % std::size(reals)];
        break;
    }
    return node;
}

// A random tree of the given depth, built node by node (no folding).
std::unique_ptr<TFnNode> RandomTree(std::mt19937& rng, int depth, TFnNode* parent)
{
    if (depth == 0 || rng() % 5 == 0) return Leaf(rng, parent);
    const int functions[] = {fnSin, fnCos, fnExp, fnAbs, fnArctg, fnErf, fnTgh, fnSinh, fnArccotg};
    auto node = TFnTree::NewNode(-1, parent);
    const unsigned kind = rng() % 8;
    if (kind < 5) {
        node->type = fnPower + static_cast<int>(kind);   // 195 .. 199
        node->left = RandomTree(rng, depth - 1, node.get());
        if (node->type == fnPower) {
            node->right = TFnTree::NewNode(-1, node.get());
            if (rng() % 3 == 0)
                TFnTree::SetReal(node->right.get(), 0.5);
            else
                TFnTree::SetInt(node->right.get(), static_cast<int>(rng() % 7) - 2);
        } else {
            node->right = RandomTree(rng, depth - 1, node.get());
        }
    } else {
        node->type = functions[rng() % std::size(functions)];
        node->left = RandomTree(rng, depth - 1, node.get());
    }
    return node;
}

}  // namespace

TEST(FnTreeParser, DocumentedParses)
{
    TFnTree mob = Parse("30.0*(x^(-1/3))*Abs(z)+2.0");
    EXPECT_EQ(mob.ToString(), "30 * x^((-1) * 1 / 3) * Abs(z) + 2");
    EXPECT_EQ(mob.root->type, fnSum);
    EXPECT_EQ(mob.root->right->type, fnInt);
    EXPECT_EQ(mob.root->left->left->left->type, fnInt);

    auto isInt = [](const std::string& text, int n) {
        TFnTree t = Parse(text);
        return t.root->type == fnInt && t.root->intValue == n;
    };
    auto isReal = [](const std::string& text, double r) {
        TFnTree t = Parse(text);
        return t.root->type == fnReal && t.root->realValue == r;
    };
    EXPECT_TRUE(isInt("1.5e+3", 1500));
    EXPECT_TRUE(isReal("1,5", 1.5));
    EXPECT_TRUE(isReal("1.5", 1.5));
    EXPECT_TRUE(isReal("1e-5", 1e-5));
    EXPECT_TRUE(isReal("(1e-5)", 1e-5));
    EXPECT_TRUE(isReal("PI", 3.141592653589793));
    EXPECT_EQ(Parse("((x))").root->type, fnX);
    EXPECT_EQ(Parse("X()").root->type, fnX);
    EXPECT_EQ(Parse("(x)+(y)").root->type, fnSum);
    EXPECT_EQ(Parse("S i n ( x )").ToString(), "Sin(x)");
    EXPECT_TRUE(TFnTree::Equal(Parse("Expx").root.get(), Parse("Exp(x)").root.get()));
    TFnTree log = Parse("Log(2, 8)");
    EXPECT_EQ(log.root->type, fnLog);
    EXPECT_EQ(log.root->left->intValue, 2);
    EXPECT_EQ(log.root->right->intValue, 8);
    for (const char* p : {"Param[2]", "param[2]", "Param[2,7]", "Param[77]"}) {
        TFnTree t = Parse(p);
        EXPECT_EQ(t.root->type, fnParam) << p;
    }
    EXPECT_EQ(Parse("Param[77]").root->intValue, 77);
    EXPECT_EQ(Parse("-x").ToString(), "(-1) * x");
    EXPECT_EQ(Parse("-2*x").ToString(), "(-1) * 2 * x");

    // Signed exponents inside larger expressions, as the printer writes them.
    EXPECT_DOUBLE_EQ(Parse("2*1e-5").Value(0.0), 2e-5);
    EXPECT_DOUBLE_EQ(Parse("x-1e-3").Value(1.0), 0.999);
    EXPECT_DOUBLE_EQ(Parse("x*1.5E+20").Value(2.0), 3e20);
    EXPECT_DOUBLE_EQ(Parse("x*1E-5-2.5e-3").Value(100.0), 1e-3 - 2.5e-3);
    EXPECT_DOUBLE_EQ(Parse("-1e-5").Value(0.0), -1e-5);
    EXPECT_DOUBLE_EQ(Parse("2*(1e-5)").Value(0.0), 2e-5);
    EXPECT_DOUBLE_EQ(Parse("Exp(x)-1").Value(0.0), 0.0);       // 'p' is no mantissa
    EXPECT_DOUBLE_EQ(Parse("+x").Value(4.0), 4.0);             // a leading '+' changes nothing

    // A named parameter is found by name and shadows "PI".
    GlobalParams = TParamSet();
    const int k = GlobalParams.Add("k");
    const int pi = GlobalParams.Add("PI");
    EXPECT_EQ(Parse("k*x").root->left->intValue, k);
    EXPECT_EQ(Parse("PI").root->intValue, pi);
    EXPECT_EQ(Parse("k*x").ToString(), "k * x");
    GlobalParams = TParamSet();
}

TEST(FnTreeParser, MalformedTextFailsToTheConstantZero)
{
    const char* bad[] = {"",          "2*-3",      "x^-2",    "(x",      "x)",        ")",        "Log(8)",
                         "Log(2,8,1)", "Log()",    "Log(,2)", "exp(x)",  "Param[]",   "()",       "1,234.5",
                         "inf",       "nan",       "0x10",    "1e999",   "Param[1e300]", "Param[-2]", "Sin()",
                         "x+",        "*x",        "x*/y",    "2(x)",    "Sin(x)(y)", "(x))",     "Maxx",
                         "1e",        "1e-",       "1e-x",    "\tx",     "x y"};
    for (const char* text : bad) {
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

TEST(FnTreeParser, TextRoutines)
{
    EXPECT_EQ(FindAddSubSplit("a-b-c"), 4);
    EXPECT_EQ(FindAddSubSplit("(a-b)*c"), 0);
    EXPECT_EQ(FindAddSubSplit("a*(b+c)"), 0);
    EXPECT_EQ(FindAddSubSplit("a+"), -1);
    EXPECT_EQ(FindAddSubSplit("x)(y"), -1);
    EXPECT_EQ(FindAddSubSplit("-"), 0);
    EXPECT_EQ(FindAddSubSplit("-a"), 1);
    EXPECT_EQ(FindAddSubSplit("2*1e-5"), 0);
    EXPECT_EQ(FindAddSubSplit("a1e-5"), 4);
    EXPECT_EQ(FindMulDivSplit("a/b/c"), 4);
    EXPECT_EQ(FindPowerSplit("a^b^c"), 4);
    EXPECT_EQ(FindArgumentComma("2,8"), 2);
    EXPECT_EQ(FindArgumentComma("(1,2),3"), 6);
    EXPECT_EQ(FindArgumentComma("8"), 0);
    EXPECT_EQ(FindArgumentComma("1,2,3"), -1);
    EXPECT_EQ(FindArgumentComma(""), -1);
    EXPECT_EQ(FindArgumentComma(",2"), -1);
    std::string s = "((x))";
    StripOuterParentheses(s);
    EXPECT_EQ(s, "x");
    s = "(x)+(y)";
    StripOuterParentheses(s);
    EXPECT_EQ(s, "(x)+(y)");
    s = "()";
    StripOuterParentheses(s);
    EXPECT_EQ(s, "");
    s = " a\tb c ";
    StripSpaces(s);
    EXPECT_EQ(s, "a\tbc");
}

TEST(FnTreePrinter, Texts)
{
    EXPECT_EQ(TFnTree().ToString(), "Empty");
    EXPECT_EQ(Printed("x-(y-z)"), "x - (y - z)");
    EXPECT_EQ(Printed("(x-y)-z"), "x - y - z");
    EXPECT_EQ(Printed("x/(y*z)"), "x / (y * z)");
    EXPECT_EQ(Printed("(x*y)/z"), "x * y / z");
    EXPECT_EQ(Printed("(x+y)*(y-z)"), "(x + y) * (y - z)");
    EXPECT_EQ(Printed("(x+1)/(y^2)"), "(x + 1) / (y^2)");
    EXPECT_EQ(Printed("(x*y)^(z+1)"), "(x * y)^(z + 1)");
    EXPECT_EQ(Printed("Log(2,x)"), "Log(2, x)");
    EXPECT_EQ(TFnTree(-2.5).ToString(), "(-2.5)");
    EXPECT_EQ(TFnTree(-1.0).ToString(), "(-1)");
    EXPECT_EQ(TFnTree(0.1).ToString(), "0.1");
    EXPECT_EQ(TFnTree(1.0 / 3.0).ToString(), "0.333333333333333");
    EXPECT_EQ(Printed("Param[7]*x"), "Param[7] * x");   // no such entry: printed by index
    EXPECT_EQ(Printed("Param[2]"), "y");

    // The tree's texts are scratch: only the printed node keeps one.
    TFnTree t = Parse("Sin(x)+y");
    t.ToString();
    EXPECT_TRUE(t.root->left->text.empty());
    EXPECT_EQ(t.root->text, "Sin(x) + y");
}

TEST(FnTreeParser, RoundTripOfACorpus)
{
    const char* corpus[] = {
        "30.0*(x^(-1/3))*Abs(z)+2.0", "x-(y-z)", "(x-y)-z", "x/(y*z)", "(x*y)/z", "x/y/z", "2^3^2", "x^y^0.5",
        "-x^2", "-(x+y)*z", "Sin(x)^2+Cos(x)^2", "Log(2, Abs(x)+1)", "Exp(-x*x/2)/2.5066282746310002",
        "Erf((x-0.37)/1e-3)", "Erfc(y)", "Tg(x/4)*Cotg(y+5)", "Arcsin(x/10)+Arccos(y/10)+Arctg(z)+Arccotg(x)",
        "Sinh(x)-Cosh(y)*Tgh(z)/Cotgh(x+10)", "Argsinh(x)+Argcosh(Abs(y)+1)+Argtgh(z/3)+Argcotgh(x+10)",
        "Sign(x)*Abs(y)", "x*1e-5-y*2.5E+20", "1.5e-300*x", "123456789.123456*y", "Param[1]*Param[3]",
        "Ln(Abs(x))-Ln(2)", "x^(-2)", "(-2)^3*x", "Sinx+Expx", "PI*x/180", "1,5*x"};
    for (const char* text : corpus) EXPECT_GT(ExpectRoundTrip(Parse(text), text), 0) << text;
}

TEST(FnTreeParser, RoundTripOfRandomTrees)
{
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
        std::string text;
        const std::size_t length = rng() % 41;
        for (std::size_t k = 0; k < length; ++k) text += alphabet[rng() % alphabet.size()];
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
