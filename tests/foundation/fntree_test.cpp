// Expression trees: construction, folding rules, copies, the evaluator,
// the error-function step tree of the initial profiles, the parser and the
// printer with their round trip, and robustness against arbitrary text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <span>
#include <tuple>
#include <vector>

#include "foundation/errors.h"
#include "foundation/fntree.h"
#include "foundation/math_functions.h"
#include "support/raised_message.h"

namespace {

const std::string kPole = "INFINITE expression. Divided by ZERO or pole of the function.";
const std::string kRange =
    "Out of argument range in the called function.\nIncorrect range, indefinite expression or argument set up.";

TFnTree Parse(const std::string& text)
{
    TFnTree t;
    EXPECT_TRUE(t.FromText(text)) << text;
    return t;
}

TFnTree C(double v)
{
    return TFnTree(v);
}
TFnTree X()
{
    return TFnTree(UnitX);
}

// a ^ b folded by the power rule.
TFnTree Power(TFnTree a, TFnTree b)
{
    TFnTree t;
    t.root = TFnTree::NewNode(fnPower, nullptr);
    t.root->left = std::move(a.root);
    t.root->right = std::move(b.root);
    t.root->left->parent = t.root->right->parent = t.root.get();
    TFnTree::OptimizeOperator195(t.root.get());
    return t;
}

// The root is a leaf of this type holding v (integer or real constant; 0 else).
void ExpectLeaf(const TFnTree& t, int type, double v)
{
    ASSERT_TRUE(t.root);
    EXPECT_EQ(t.root->type, type);
    EXPECT_EQ(t.root->intValue, type == fnInt ? v : 0);
    EXPECT_EQ(t.root->realValue, type == fnReal ? v : 0);
    EXPECT_FALSE(t.root->left || t.root->right);
}

// Every operand points back to its parent.
void ExpectLinked(const TFnNode* node)
{
    for (const TFnNode* o : {node->left.get(), node->right.get()}) {
        if (!o) continue;
        EXPECT_EQ(o->parent, node);
        ExpectLinked(o);
    }
}

// The largest magnitude met anywhere in the last evaluation of the tree: the
// scale against which rounding differences of two equivalent trees are judged.
double Magnitude(const TFnNode* node)
{
    if (!node) return 0.0;
    return std::max(
        {std::fabs(node->value), Magnitude(node->left.get()), Magnitude(node->right.get())});
}

const double kPoints[][3] = {
    {0.7, -1.3, 2.1}, {1.9, 0.4, -0.6}, {-2.2, 3.1, 0.9}, {3.3, 0.25, -1.7}};  // x, y, z

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

// The same tree node by node, operands in the same slots; constants equal to
// the 15 significant digits they are printed with (an integral real may come
// back as an integer).
bool SameTree(const TFnNode* a, const TFnNode* b)
{
    if (!a || !b) return a == b;
    const bool ca = a->type == fnInt || a->type == fnReal,
               cb = b->type == fnInt || b->type == fnReal;
    if (ca || cb) {
        if (!(ca && cb)) return false;
        const double va = a->type == fnInt ? a->intValue : a->realValue;
        const double vb = b->type == fnInt ? b->intValue : b->realValue;
        return std::fabs(va - vb) <= 5e-15 * std::fabs(va);
    }
    // Parameters 1, 2 and 3 are the variables x, y and z and print as them.
    auto kind = [](const TFnNode* n) {
        return n->type == fnParam && n->intValue >= 1 && n->intValue <= 3 ? fnX + 1 - n->intValue
                                                                          : n->type;
    };
    if (kind(a) != kind(b) || (kind(a) == fnParam && a->intValue != b->intValue)) return false;
    return SameTree(a->left.get(), b->left.get()) && SameTree(a->right.get(), b->right.get());
}

// Prints t, parses the text again, expects the same tree and compares the
// values of both at the points where t evaluates; returns the number of points compared.
int ExpectRoundTrip(const TFnTree& t, const std::string& label)
{
    const std::string text = t.ToString();
    TFnTree back;
    EXPECT_TRUE(back.FromText(text)) << label << " printed as " << text;
    EXPECT_TRUE(SameTree(t.root.get(), back.root.get()))
        << label << " printed as " << text << " reads back as " << back.ToString();
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
// integer or 1/2 as exponent) and functions of one argument. Moderate reals
// only: no tiny or huge constants, whose cancellation against a variable
// leaves the unoptimised tree itself without a correct digit.
std::unique_ptr<TFnNode> RandomTree(std::mt19937& rng, int depth, TFnNode* parent,
                                    bool moderate = false)
{
    static const double allReals[] = {0.37,   -2.5,   1.25,       1e-3,
                                      2.5e-7, 1.5e20, 123456.789, -7.25e-12};
    const std::span<const double> reals(allReals, moderate ? 3 : std::size(allReals));
    static const int variables[] = {fnX, fnY, fnZ};
    static const int functions[] = {fnSin, fnCos, fnExp,  fnAbs,    fnArctg,
                                    fnErf, fnTgh, fnSinh, fnArccotg};
    auto node = TFnTree::NewNode(-1, parent);
    if (depth == 0 || rng() % 5 == 0) {
        const unsigned k = rng() % 6;
        if (k < 3)
            node->type = variables[k];
        else  // SetReal makes an integral value an integer node
            TFnTree::SetReal(node.get(), k < 5 ? static_cast<int>(rng() % 15) - 5.0
                                               : reals[rng() % reals.size()]);
        return node;
    }
    const unsigned kind = rng() % 8;
    node->type =
        kind < 5 ? fnPower + static_cast<int>(kind) : functions[rng() % std::size(functions)];
    node->left = RandomTree(rng, depth - 1, node.get(), moderate);
    if (node->type == fnPower) {
        node->right = TFnTree::NewNode(-1, node.get());
        TFnTree::SetReal(node->right.get(),
                         rng() % 3 == 0 ? 0.5 : static_cast<int>(rng() % 7) - 2.0);
    } else if (kind < 5) {
        node->right = RandomTree(rng, depth - 1, node.get(), moderate);
    }
    return node;
}

// Texts printed and read back, and optimised, by the tests below.
const char* const kCorpus[] = {"30.0*(x^(-1/3))*Abs(z)+2.0",
                               "x-(y-z)",
                               "(x-y)-z",
                               "x/(y*z)",
                               "(x*y)/z",
                               "x/y/z",
                               "2^3^2",
                               "x^y^0.5",
                               "-x^2",
                               "-(x+y)*z",
                               "Sin(x)^2+Cos(x)^2",
                               "Log(2, Abs(x)+1)",
                               "Exp(-x*x/2)/2.5066282746310002",
                               "Erf((x-0.37)/1e-3)",
                               "Erfc(y)",
                               "Tg(x/4)*Cotg(y+5)",
                               "Arcsin(x/10)+Arccos(y/10)+Arctg(z)+Arccotg(x)",
                               "Sinh(x)-Cosh(y)*Tgh(z)/Cotgh(x+10)",
                               "Argsinh(x)+Argcosh(Abs(y)+1)+Argtgh(z/3)+Argcotgh(x+10)",
                               "Sign(x)*Abs(y)",
                               "x*1e-5-y*2.5E+20",
                               "1.5e-300*x",
                               "123456789.123456*y",
                               "Param[1]*Param[3]",
                               "Ln(Abs(x))-Ln(2)",
                               "x^(-2)",
                               "(-2)^3*x",
                               "Sinx+Expx",
                               "PI*x/180",
                               "1,5*x",
                               "x*(y+z)-x*y-x*z",
                               "(x+1)*(x-1)-x*x",
                               "2*x*y/(4*y*x)",
                               "x^2*y^3/(x*y)^2",
                               "(x+y)^2-(y+x)^2",
                               "Sinh(Argsinh(x*y))+Cosh(Argcosh(Abs(z)+1))",
                               "Tgh(Argtgh(x/4))*Exp(Ln(y*y+1))",
                               "x/3+x/6-x/2",
                               "Param[1]*Param[3]+z*x",
                               "(-2)^3*x+8*x",
                               "1e-5*x+2.5E+20*y-2.5E+20*y",
                               "x*y*z/(z*y*x)+3",
                               "Abs(x-y)-Abs(y-x)+Sign(x)",
                               "x^(y+1)*x^(1-y)",
                               "(x^3)^(-2)*x^6",
                               "Erfc(x)+Erf(x)",
                               "1/(1/x)",
                               "x*x*x*x*x*x*x",
                               "Arctg(x)+Arccotg(x)",
                               "(x-1)/(x-1)+y"};

TEST(FnTree, ConstantsAndFoldingKeepIntegerAndRealTypes)
{
    const std::tuple<TFnTree, int, double> cases[] = {// tree, type of the leaf, its value
                                                      {C(3e9), fnReal, 3e9},
                                                      {C(-2147483648.0), fnReal, -2147483648.0},
                                                      {C(-2147483647.0), fnInt, -2147483647},
                                                      {C(2) + C(0.5), fnReal, 2.5},
                                                      {C(0.5) + C(0.5), fnInt, 1},
                                                      {C(2e9) + C(2e9), fnReal, 4e9},
                                                      {C(65536) * C(65536), fnReal, 4294967296.0},
                                                      {C(2.5) * C(4), fnInt, 10},
                                                      {X() * C(0), fnInt, 0},
                                                      {C(6) / C(3), fnReal, 2},
                                                      {C(0) / X(), fnInt, 0},
                                                      {Power(C(-3), C(3)), fnInt, -27},
                                                      {Power(C(1.5), C(-3)), fnReal, 1.0 / 3.375},
                                                      {Power(C(1.5), C(-2147483647.0)), fnInt, 0},
                                                      {Power(X(), C(0)), fnInt, 1},
                                                      {Power(C(0), X()), fnInt, 0}};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        ExpectLeaf(std::get<0>(cases[i]), std::get<1>(cases[i]), std::get<2>(cases[i]));
    }
    // A huge integer exponent by squaring, not 2^31 products.
    const TFnTree big = Power(C(1.0000001), C(-2147483647.0));
    EXPECT_NEAR(big.root->realValue / std::pow(1.0000001, -2147483647.0), 1.0, 1e-8);

    const std::string divZero = "(OptimizeOperator/</>): " + kPole,
                      pow = "(OptimizeOperator/<^>): " + kPole;
    const std::pair<std::function<void()>, std::string> raises[] = {
        {[] { X() / C(0); }, divZero},
        {[] { C(2) / C(0); }, divZero},
        {[] { C(2.5) / C(0); }, divZero},
        {[] { Power(C(0), C(0)); }, "(OptimizeOperator/<^> >> \"0^0\"): " + kRange},
        {[] { Power(C(-2), C(0.5)); }, pow},
        {[] { Power(C(0), C(-1)); }, pow},
        {[] { Power(C(10), C(400)); }, pow},
        {[] { X() * TFnTree(); }, "(TFnTree::operator*): Unallocated variable to a pointer."}};
    for (const auto& [call, message] : raises) EXPECT_EQ(RaisedMessage(call), message);

    // A polynomial: terms nested to the right, lowest exponent first.
    TPolynom q(0, -2.5);
    for (auto [e, c] : {std::pair{1, 1.0}, {3, 0.5}, {-1, 2.0}}) q.Add(e, c);
    EXPECT_EQ(TFnTree(q).ToString(), "2 * x^(-1) + ((-2.5) + (x + 0.5 * x^3))");
}

TEST(FnTree, CopiesAndEquality)
{
    const TFnTree t = Parse("Sin(x)*2.5+Log(2, y)"), c(t);
    EXPECT_TRUE(TFnTree::Equal(t.root.get(), c.root.get()) &&
                c.root->left.get() != t.root->left.get());
    ExpectLinked(c.root.get());
    auto eq = [](const TFnTree& a, const TFnTree& b) {
        return TFnTree::Equal(a.root.get(), b.root.get());
    };
    EXPECT_TRUE(eq(Parse("x+2"), Parse("2+x")) && eq(Parse("x*y*z"), Parse("z*(x*y)")));
    EXPECT_FALSE(eq(Parse("x-2"), Parse("2-x")) || eq(Parse("x+2"), Parse("x+3")));
    EXPECT_FALSE(eq(C(2), C(6) / C(3)));  // int 2 is not real 2.0
}

TEST(FnTree, EvaluatorErrorsCarryExactTexts)
{
    const std::string V = "TFnTree::VisitValue/", VV = "TFnTree::VisitVal",
                      P = "TFnTree/VisitVal>>operator^";
    const std::tuple<const char*, double, std::string, std::string> cases[] = {
        // text, x, where, code
        {"x/0", 1, VV, kPole},
        {"1/(x-1)", 1, VV, kPole},
        {"Exp(x)", 709.8, V + "Exp", kPole},
        {"Ln(x)", 0, V + "Ln", kPole},
        {"Ln(x)", -1, V + "Ln", kRange},
        {"Tg(PI/2)", 0, V + "Tg", kPole},
        {"Tg(-PI/2)", 0, V + "Tg", kPole},
        {"Tg(x)", 7.5 * M_PI, V + "Tg", kPole},
        {"Cotg(0)", 0, V + "Cotg", kPole},
        {"Cotg(PI)", 0, V + "Cotg", kPole},
        {"Arcsin(x)", 1.5, V + "Arcsin", kRange},
        {"Arccos(x)", -1.0000001, V + "Arccos", kRange},
        {"Cotgh(x)", 0, V + "Cotgh", kPole},
        {"Argcosh(x)", 0.5, V + "Argcosh", kRange},
        {"Argtgh(x)", 1, V + "Argtgh", kPole},
        {"Argtgh(x)", -1, V + "Argtgh", kPole},
        {"Argtgh(x)", 1.5, V + "Argtgh", kRange},
        {"Argcotgh(x)", 0.5, V + "Argcotgh", kRange},
        {"Argcotgh(x)", -1, V + "Argcotgh", kPole},
        {"Log(1, 8)", 0, V + "Log>>base", kRange},
        {"Log(-2, 8)", 0, V + "Log>>base", kRange},
        {"Log(2, x)", 0, V + "Log>>arg", kPole},
        {"Log(2, x)", -3, V + "Log>>arg", kRange},
        {"0^0", 0, P, kRange},
        {"x^0", 0, P, kRange},
        {"0^(-1)", 0, P, kPole},
        {"x^(-2)", 0, P, kPole},
        {"x^(-0.5)", 0, P, kPole},
        {"(-2)^8", 0, P, kRange},
        {"(-8)^(1/3)", 0, P, kRange},
        {"x^2.5", -1, P, kRange},
        {"y", 0, "", "TParamSet::Value>>useVal: value of parameter or variable is not set"},
        {"Param[9]*x", 1, "TParamSet::Value", kRange},
        // Overflow never yields an infinite value.
        {"Sinh(x)", 1000, V + "Sinh", kPole},
        {"x*x", 1e200, VV, kPole},
        {"x^7", 1e100, P, kPole},
        {"x^(-7)", 1e-100, P, kPole}};
    for (const auto& [text, x, where, code] : cases) {
        const TFnTree t = Parse(text);
        EXPECT_EQ(RaisedMessage([&] { t.Value(x); }),
                  where.empty() ? code : "(" + where + "): " + code)
            << text << " " << x;
        EXPECT_FALSE(GlobalParams.UseVal(1)) << "x left set by " << text;
    }
}

TEST(FnTree, EvaluatorValues)
{
    // The parameter is restored after an evaluation, also after a raise.
    const TFnTree ln = Parse("Ln(z)");
    GlobalParams.SetValue(3, 5.0);
    EXPECT_EQ(ln.Value(3, 1.0), 0.0);
    EXPECT_THROW(ln.Value(3, -1.0), Exception);
    EXPECT_EQ(GlobalParams.Value(3), 5.0);
    GlobalParams.ClearValue(3);
    EXPECT_THROW(ln.Value(3, 0.0), Exception);
    EXPECT_FALSE(GlobalParams.UseVal(3));

    const double pi = M_PI;
    const std::tuple<const char*, double, double, double> cases[] = {
        // text, x, value, tolerance
        {"Exp(709.7)", 0, std::exp(709.7), 1e294},
        {"Exp(-708.4)", 0, 0, 0},
        {"Sin(x)", 3 * pi, 0, 0},
        {"Sin(7)", 0, std::sin(7.0 - 2 * pi), 1e-11},
        {"Cos(-PI/2)", 0, 0, 0},
        {"Cotg(PI/2)", 0, 0, 0},
        {"Cotg(x)", 10, 1 / std::tan(10.0), 1e-10},
        {"Arccotg(x)", 2, pi / 2 - std::atan(2.0), 1e-15},
        {"(-2)^(-3)", 0, -0.125, 0},
        {"x^(-2147483647)", 1.0000001, std::pow(1.0000001, -2147483647.0), 1e-101},
        {"Log(2, 8)", 0, 3, 1e-15},
        {"Argcosh(x)", 1e200, std::acosh(1e200), 1e-12},
        {"Argcotgh(x)", -3, 0.5 * std::log(0.5), 1e-15},
        {"Sign(x)", 0, 0, 0},
        {"Erfc(x)", 0.5, std::erfc(0.5), 1e-7},
        {"2^3^2", 0, 64, 0},
        {"8/4/2", 0, 1, 0},
        {"5-3-1", 0, 1, 0},
        {"-x^2", 3, -9, 0}};  // left to right, the sign last
    for (auto [text, x, value, tolerance] : cases)
        EXPECT_NEAR(Parse(text).Value(x), value, tolerance) << text << " " << x;
}

TEST(FnTree, ErfStepTreeMatchesTheDirectFormula)
{
    std::mt19937 rng(20261206);
    std::uniform_real_distribution<double> conc(0.0, 50.0), ratio(0.1, 5.0);
    const int N = 400;
    for (int layout = 0; layout < 40; ++layout) {
        std::vector<double> levels, ratios, bounds;
        double total = 0.0, cumulative = 0.0;
        for (int m = 0; m <= layout % 6; ++m) {
            levels.push_back(layout % 5 == 0 && m > 0 ? levels.back()
                                                      : conc(rng));  // some steps of 0
            ratios.push_back(ratio(rng));
            total += ratios.back();
        }
        for (std::size_t m = 0; m + 1 < levels.size(); ++m)
            bounds.push_back(N * (cumulative += ratios[m]) / total);
        const double w = layout % 3 == 0 ? 2.0 : 1.0 + 3.7 * (layout % 4);
        const TFnTree f = ErfStepTree(levels, bounds, w / 2.0);
        ExpectLinked(f.root.get());
        for (int j = 0; j <= N; ++j) {
            double direct = levels[0];
            for (std::size_t m = 0; m < bounds.size(); ++m)
                direct +=
                    (1.0 + Erf((j - bounds[m]) / (w / 2.0))) * (levels[m + 1] - levels[m]) * 0.5;
            ASSERT_NEAR(f.Value(j), direct, 1e-12 * 50)
                << "layout " << layout << " node " << j;  // levels <= 50
        }
    }

    // A step of 0 leaves no term behind; no width is refused.
    const double flat[] = {2.0, 2.0}, at[] = {25.0};
    ExpectLeaf(ErfStepTree(flat, at, 0.5), fnInt, 2);
    EXPECT_THROW(ErfStepTree(flat, at, 0.0), Exception);
}

TEST(FnTreeParser, ParsesAndPrintsTheDocumentedTexts)
{
    const std::pair<const char*, const char*> printed[] = {
        {"30.0*(x^(-1/3))*Abs(z)+2.0", "30 * x^((-1) * (1 / 3)) * Abs(z) + 2"},
        {"S i n ( x )", "Sin(x)"},
        {"-x", "(-1) * x"},
        {"-2*x", "(-1) * (2 * x)"},
        {"-2", "(-2)"},
        {"x*(y/z)", "x * (y / z)"},
        {"x+(y-z)", "x + (y - z)"},
        {"(x)+(y)", "x + y"},
        {"x-(y-z)", "x - (y - z)"},
        {"(x-y)-z", "x - y - z"},
        {"x/(y*z)", "x / (y * z)"},
        {"(x*y)/z", "x * y / z"},
        {"(x+y)*(y-z)", "(x + y) * (y - z)"},
        {"(x+1)/(y^2)", "(x + 1) / (y^2)"},
        {"(x*y)^(z+1)", "(x * y)^(z + 1)"},
        {"Log(2,x)", "Log(2, x)"},
        {"Param[2]", "y"},
        {"param[2]", "y"},
        {"Param[2,7]", "y"},
        {"Param[77]*x", "Param[77] * x"}};  // no such entry: printed by index
    for (auto [text, print] : printed) EXPECT_EQ(Parse(text).ToString(), print) << text;
    EXPECT_EQ(TFnTree(-2.5).ToString() + TFnTree(1.0 / 3.0).ToString(), "(-2.5)0.333333333333333");

    // Same trees, constants of the same type: an integral value is an integer node.
    const std::pair<const char*, TFnTree> trees[] = {{"1.5e+3", TFnTree(1500.0)},
                                                     {"1,5", TFnTree(1.5)},
                                                     {"PI", TFnTree(M_PI)},
                                                     {"X()", TFnTree(UnitX)},
                                                     {"Expx", Parse("Exp(x)")}};
    for (const auto& [text, tree] : trees)
        EXPECT_TRUE(TFnTree::Equal(Parse(text).root.get(), tree.root.get())) << text;

    // Signed exponents inside larger expressions, as the printer writes them.
    const std::pair<const char*, double> values[] = {{"2*1e-5", 2e-5},
                                                     {"x-1e-3", 0.999},
                                                     {"x*1E-5-2.5e-3", 1e-5 - 2.5e-3},
                                                     {"Exp(x)-1", std::exp(1.0) - 1}};
    for (auto [text, value] : values) EXPECT_DOUBLE_EQ(Parse(text).Value(1.0), value) << text;
}

TEST(FnTreeParser, MalformedTextFailsToTheConstantZero)
{
    for (const char* text :
         {"",           "2*-3",  "x^-2",    "(x",     "x)",           ")",         "Log(8)",
          "Log(2,8,1)", "Log()", "Log(,2)", "exp(x)", "Param[]",      "()",        "1,234.5",
          "inf",        "nan",   "0x10",    "1e999",  "Param[1e300]", "Param[-2]", "Sin()",
          "x+",         "*x",    "x*/y",    "2(x)",   "Sin(x)(y)",    "(x))",      "Maxx",
          "1e",         "1e-",   "1e-x",    "\tx",    "x y"}) {
        TFnTree t = Parse("x");
        EXPECT_FALSE(t.FromText(text)) << text;
        EXPECT_TRUE(t.root && t.root->type == fnInt && t.Value(2.0) == 0.0) << text;
    }
    // Deep nesting and very long texts are refused, not followed to the bottom.
    EXPECT_FALSE(TFnTree().FromText(std::string(5000, '-') + "x"));
    EXPECT_FALSE(TFnTree().FromText(std::string(20000, '(') + "x" + std::string(20000, ')')));
    EXPECT_TRUE(TFnTree().FromText(std::string(100, '(') + "x" + std::string(100, ')')));
}

TEST(FnTreeParser, TextsAtTheLimitsPrintToTextsThatParseBack)
{
    // The deepest nesting that parses, in each form; the printed text must
    // parse again to the same tree, also where printing adds parentheses.
    auto nested = [](const std::string& open, const std::string& inner, const std::string& close,
                     int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += open;
        s += inner;
        for (int i = 0; i < n; ++i) s += close;
        return s;
    };
    auto chain = [](const std::string& head, const std::string& link, int n) {
        std::string s = head;
        for (int i = 0; i < n; ++i) s += link;
        return s;
    };
    const std::function<std::string(int)> forms[] = {
        [&](int n) { return nested("-(", "x", ")", n); },
        [&](int n) { return nested("Sin(", "-1", ")", n); },
        [&](int n) { return nested("Sin(", "(-2.5)", ")", n); },
        [&](int n) { return chain("x", "^2", n); },
        [&](int n) { return chain("x", "-1", n); },
        [&](int n) { return nested("x*(", "y", ")", n); },
        [&](int n) { return nested("2/(", "-y", ")", n); },
        [&](int n) { return nested("Log(2,", "-x", ")", n); },
        [&](int n) { return nested("(", "y", ")^2", n); },
        [&](int n) { return nested("Sin(", "x", ")", n) + "*" + nested("y*(", "z", ")", n); }};
    for (const auto& form : forms) {
        int deepest = 1, refused = 400;  // parses, is refused
        ASSERT_TRUE(TFnTree().FromText(form(deepest)) && !TFnTree().FromText(form(refused)))
            << form(3);
        while (refused - deepest > 1) {
            const int n = (deepest + refused) / 2;
            (TFnTree().FromText(form(n)) ? deepest : refused) = n;
        }
        ASSERT_TRUE(deepest > 100 && deepest < 400) << form(3) << " " << deepest;
        for (int n = deepest - 2; n <= deepest; ++n)
            ExpectRoundTrip(Parse(form(n)), form(3) + " nested " + std::to_string(n));
    }
    // A long text whose printed form, with blanks and parentheses, would be longer
    // than any text the parser reads is refused as a whole.
    const std::function<std::string(int)> balanced = [&](int d) {
        return d == 0 ? std::string("-x") : "(" + balanced(d - 1) + ")+(" + balanced(d - 1) + ")";
    };
    EXPECT_LT(balanced(10).size(), 8192U);
    EXPECT_FALSE(TFnTree().FromText(balanced(10)));
    ExpectRoundTrip(Parse(balanced(9)), "balanced sum of depth 9");
}

TEST(FnTreeParser, RoundTripOfACorpusAndOfRandomTrees)
{
    for (const char* text : kCorpus) EXPECT_GT(ExpectRoundTrip(Parse(text), text), 0) << text;

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

int NodeCount(const TFnNode* n)
{
    return n ? 1 + NodeCount(n->left.get()) + NodeCount(n->right.get()) : 0;
}

// OptimizeFlag set for the lifetime of the guard.
struct OptimizeFlagGuard {
    explicit OptimizeFlagGuard(std::uint8_t v) : saved(OptimizeFlag) { OptimizeFlag = v; }
    ~OptimizeFlagGuard() { OptimizeFlag = saved; }
    std::uint8_t saved;
};

// The optimised copy of t; false when the optimisation raises (a constant
// folded out of its domain).
bool Optimized(const TFnTree& t, TFnTree& out)
{
    out = t;
    return RaisedMessage([&] { out.Optimize(); }) == "(no error)";
}

// Optimises t and checks the value at random points against t, the size, and
// that a second optimisation changes nothing. Returns the points compared.
int ExpectOptimizedEqual(const TFnTree& t, std::mt19937& rng, const std::string& label)
{
    TFnTree o;
    if (!Optimized(t, o)) return 0;
    const std::string text = o.ToString();
    EXPECT_LE(NodeCount(o.root.get()), NodeCount(t.root.get()))
        << label << ": " << t.ToString() << " -> " << text;
    ExpectLinked(o.root.get());
    TFnTree twice;
    EXPECT_TRUE(Optimized(o, twice)) << label;
    EXPECT_EQ(twice.ToString(), text) << label;
    EXPECT_TRUE(TFnTree::Equal(twice.root.get(), o.root.get())) << label << " -> " << text;

    std::uniform_real_distribution<double> u(-3.0, 3.0);
    int compared = 0;
    for (int k = 0; k < 4; ++k) {
        const double p[3] = {u(rng), u(rng), u(rng)};
        const double a = Evaluate(t, p);
        if (std::isnan(a)) continue;
        const double scale = std::max(Magnitude(t.root.get()), 1.0);
        // The tree's own sensitivity to rounding: its change when the point
        // moves by a few units in the last place.
        double sensitivity = 0.0;
        for (const double f : {1.0 + 4e-16, 1.0 - 4e-16}) {
            const double q[3] = {p[0] * f, p[1] * f, p[2] * f};
            sensitivity = std::max(sensitivity, std::fabs(Evaluate(t, q) - a));
        }
        if (std::isnan(sensitivity)) continue;
        const double b = Evaluate(o, p);
        // An integral power of 8 or more of a negative base is refused by the
        // evaluator; merged exponents may reach it where the factors did not.
        if (std::isnan(b) && text.find('^') != std::string::npos) continue;
        EXPECT_NEAR(a, b, 1e-12 * scale + 1e3 * sensitivity)
            << label << " -> " << text << " at " << p[0] << ", " << p[1] << ", " << p[2];
        ++compared;
    }
    return compared;
}

TEST(FnTreeOptimizer, DocumentedSimplifications)
{
    OptimizeFlagGuard flag(1);
    const std::pair<const char*, const char*> cases[] = {{"x+x", "2 * x"},
                                                         {"2*x+3*x-5*x", "0"},
                                                         {"x*x", "x^2"},
                                                         {"x/x", "1"},
                                                         {"Exp(Ln(x))", "x"},
                                                         {"Sin(0)", "0"},
                                                         {"(x^2)^3", "x^6"},
                                                         {"x-x+y", "y"},
                                                         {"y*x*y/x", "y^2"},
                                                         {"2*x-5*x", "(-3) * x"},
                                                         {"1/x", "1 / x"},
                                                         {"x^(-2)/(y*z)", "x^(-2) / (y * z)"},
                                                         {"x/(y*y)", "x / (y^2)"},
                                                         {"6*x/3", "2 * x"},
                                                         {"x^y*x^z", "x^(y + z)"},
                                                         {"Ln(Exp(x+1))", "1 + x"},
                                                         {"Tg(Arctg(y))", "y"},
                                                         {"Cos(2-2)", "1"},
                                                         {"3+x-7", "x - 4"},
                                                         {"x^0.5*x^0.5", "x"},
                                                         {"-(x+y)", "(-1) * x - y"},
                                                         {"(x+1)*(x-1)", "x^2 - 1"},
                                                         {"(x+y)*(x-y)+y*y", "x^2"},
                                                         {"2*(x+y)", "2 * (x + y)"},
                                                         // Not an identity for every u: kept.
                                                         {"Arcsin(Sin(x))", "Arcsin(Sin(x))"},
                                                         {"(x^2)^0.5", "(x^2)^0.5"}};
    for (auto [text, optimized] : cases) EXPECT_EQ(Parse(text).ToString(), optimized) << text;
    EXPECT_EQ(Parse("2*x+3*x-5*x").root->type, fnInt);
    // Assignment optimises too; a fold outside the domain raises.
    TFnTree a;
    {
        OptimizeFlagGuard off(0);
        a = Parse("x*x*x");
    }
    TFnTree b;
    b = a;
    EXPECT_EQ(b.ToString(), "x^3");
    EXPECT_EQ(RaisedMessage([] { Parse("Ln(0)+x"); }), "(TFnTree::VisitValue/Ln): " + kPole);

    OptimizeFlagGuard off(0);  // the program's setting: the parsed structure stays
    EXPECT_EQ(Parse("x+x").ToString(), "x + x");
    b = a;
    EXPECT_EQ(b.ToString(), "x * x * x");
}

// The optimiser lets the windows process their messages at every step of a
// long optimisation (the pump the application installs), and only while it
// optimises; the installed pump is handed back when another replaces it.
TEST(FnTreeOptimizer, PumpsMessagesWhileItWorks)
{
    int calls = 0;
    MessagePump previous = SetMessagePump([&calls] { ++calls; });
    {
        OptimizeFlagGuard off(0);
        EXPECT_EQ(Parse("x+x").ToString(), "x + x");
        EXPECT_EQ(calls, 0);
    }
    OptimizeFlagGuard on(1);
    const std::pair<const char*, const char*> cases[] = {{"Sin(0)", "0"},
                                                         {"x+x", "2 * x"},
                                                         {"x*x", "x^2"},
                                                         {"(x^2)^3", "x^6"},
                                                         {"(x+1)*(x-1)", "x^2 - 1"}};
    int before = 0;
    for (auto [text, optimized] : cases) {
        EXPECT_EQ(Parse(text).ToString(), optimized) << text;
        EXPECT_GT(calls, before) << text;
        before = calls;
    }
    MessagePump mine = SetMessagePump(std::move(previous));
    ASSERT_TRUE(mine);
    mine();
    EXPECT_EQ(calls, before + 1);
    Parse("x*x*x");
    EXPECT_EQ(calls, before + 1);
}

TEST(FnTreeOptimizer, OptimizedTreesEvaluateLikeTheirInput)
{
    std::mt19937 rng(1812);
    int compared = 0;
    for (const char* text : kCorpus) compared += ExpectOptimizedEqual(Parse(text), rng, text);
    for (int i = 0; i < 6000 && !HasFailure(); ++i) {
        TFnTree t;
        t.root = RandomTree(rng, 1 + i % 7, nullptr, true);
        compared += ExpectOptimizedEqual(t, rng, "random tree " + std::to_string(i));
    }
    EXPECT_GT(compared, 10000);
}

}  // namespace
