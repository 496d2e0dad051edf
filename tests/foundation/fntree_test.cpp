// Expression trees: construction, folding rules, comparisons, the evaluator
// and the error-function staircase of the initial profiles.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
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

TFnTree X() { return TFnTree(UnitX); }

// A binary node over two trees, with no folding.
TFnTree Node(int type, TFnTree a, TFnTree b)
{
    TFnTree t;
    t.root = TFnTree::NewNode(type, nullptr);
    t.root->left = std::move(a.root);
    t.root->right = std::move(b.root);
    t.root->left->parent = t.root.get();
    t.root->right->parent = t.root.get();
    return t;
}

void ExpectInt(const TFnTree& t, int n)
{
    ASSERT_TRUE(t.root);
    EXPECT_EQ(t.root->type, fnInt);
    EXPECT_EQ(t.root->intValue, n);
    EXPECT_EQ(t.root->realValue, 0.0);
    EXPECT_FALSE(t.root->left || t.root->right);
}

void ExpectReal(const TFnTree& t, double r)
{
    ASSERT_TRUE(t.root);
    EXPECT_EQ(t.root->type, fnReal);
    EXPECT_EQ(t.root->realValue, r);
    EXPECT_EQ(t.root->intValue, 0);
    EXPECT_FALSE(t.root->left || t.root->right);
}

// Checks that every operand points back to its parent.
void ExpectLinked(const TFnNode* node)
{
    for (const TFnNode* o : {node->left.get(), node->right.get()}) {
        if (!o) continue;
        EXPECT_EQ(o->parent, node);
        ExpectLinked(o);
    }
}

}  // namespace

TEST(FnTree, ConstantsAndPolynomials)
{
    ExpectInt(TFnTree(2.0), 2);
    ExpectReal(TFnTree(2.5), 2.5);
    ExpectReal(TFnTree(3e9), 3e9);
    ExpectReal(TFnTree(-2147483648.0), -2147483648.0);   // outside the integer range
    ExpectInt(TFnTree(-2147483647.0), -2147483647);

    ExpectInt(TFnTree(TPolynom()), 0);
    EXPECT_EQ(TFnTree(UnitX).root->type, fnX);
    TPolynom p(0, 1.0);
    p.Add(2, 3.0);
    TFnTree t(p);
    EXPECT_EQ(t.ToString(), "1 + 3 * x^2");
    EXPECT_EQ(t.root->left->type, fnInt);
    EXPECT_EQ(t.root->right->left->type, fnInt);
    EXPECT_EQ(t.root->right->right->right->type, fnInt);
    ExpectLinked(t.root.get());

    // Terms nested to the right, lowest exponent first; value against the polynomial.
    TPolynom q(0, -2.5);
    q.Add(1, 1.0);
    q.Add(3, 0.5);
    q.Add(-1, 2.0);
    TFnTree u(q);
    EXPECT_EQ(u.ToString(), "2 * x^(-1) + (-2.5) + x + 0.5 * x^3");
    EXPECT_DOUBLE_EQ(u.Value(2.0), 2.0 / 2.0 - 2.5 + 2.0 + 0.5 * 8.0);
}

TEST(FnTree, OperatorFoldingKeepsIntegerAndRealTypes)
{
    ExpectInt(TFnTree(2.0) + TFnTree(3.0), 5);
    ExpectReal(TFnTree(2.0) + TFnTree(0.5), 2.5);
    ExpectInt(TFnTree(0.5) + TFnTree(0.5), 1);
    ExpectReal(TFnTree(2e9) + TFnTree(2e9), 4e9);
    ExpectReal(TFnTree(46341.0) * TFnTree(46341.0), 46341.0 * 46341.0);
    ExpectReal(TFnTree(65536.0) * TFnTree(65536.0), 4294967296.0);
    ExpectInt(TFnTree(2.5) * TFnTree(4.0), 10);

    EXPECT_EQ((TFnTree(0.0) + X()).root->type, fnX);
    EXPECT_EQ((X() + TFnTree(0.0)).root->type, fnX);
    ExpectInt(TFnTree(0.0) * X(), 0);
    ExpectInt(X() * TFnTree(0.0), 0);
    EXPECT_EQ((TFnTree(1.0) * X()).root->type, fnX);
    EXPECT_EQ((X() * TFnTree(1.0)).root->type, fnX);

    ExpectReal(TFnTree(6.0) / TFnTree(3.0), 2.0);   // a folded quotient stays real
    ExpectInt(TFnTree(0.0) / TFnTree(0.0), 0);
    ExpectInt(TFnTree(0.0) / X(), 0);
    EXPECT_EQ((X() / TFnTree(1.0)).root->type, fnX);
    const std::string divZero = "(OptimizeOperator/</>): " + kPole;
    EXPECT_EQ(RaisedMessage([] { X() / TFnTree(0.0); }), divZero);
    EXPECT_EQ(RaisedMessage([] { TFnTree(2.0) / TFnTree(0.0); }), divZero);
    EXPECT_EQ(RaisedMessage([] { TFnTree(2.5) / TFnTree(0.0); }), divZero);

    // Folding inside a larger tree keeps the links and the rest intact.
    TFnTree s = (X() + TFnTree(2.0)) * TFnTree(1.0);
    EXPECT_EQ(s.ToString(), "x + 2");
    ExpectLinked(s.root.get());

    // Empty operands are refused.
    EXPECT_EQ(RaisedMessage([] { TFnTree() + X(); }), "(TFnTree::operator+): Unallocated variable to a pointer.");
    EXPECT_EQ(RaisedMessage([] { X() * TFnTree(); }), "(TFnTree::operator*): Unallocated variable to a pointer.");
    EXPECT_THROW(TFnTree() / X(), Exception);
    EXPECT_THROW(TFnTree::Erf(TFnTree()), Exception);
}

TEST(FnTree, PowerRule)
{
    auto fold = [](TFnTree a, TFnTree b) {
        TFnTree t = Node(fnPower, std::move(a), std::move(b));
        TFnTree::OptimizeOperator195(t.root.get());
        return t;
    };
    ExpectInt(fold(TFnTree(2.0), TFnTree(10.0)), 1024);
    ExpectReal(fold(TFnTree(2.0), TFnTree(-1.0)), 0.5);
    ExpectInt(fold(TFnTree(-3.0), TFnTree(3.0)), -27);
    ExpectReal(fold(TFnTree(2.0), TFnTree(0.5)), std::sqrt(2.0));
    ExpectReal(fold(TFnTree(1.5), TFnTree(-3.0)), 1.0 / 3.375);
    TFnTree big = fold(TFnTree(1.0000001), TFnTree(-2147483647.0));   // by squaring, not 2^31 products
    EXPECT_NEAR(big.root->realValue / std::pow(1.0000001, -2147483647.0), 1.0, 1e-8);
    ExpectInt(fold(TFnTree(1.5), TFnTree(-2147483647.0)), 0);          // underflows to 0
    ExpectInt(fold(X(), TFnTree(0.0)), 1);
    ExpectInt(fold(TFnTree(1.0), X()), 1);
    ExpectInt(fold(TFnTree(0.0), X()), 0);
    EXPECT_EQ(fold(X(), TFnTree(1.0)).root->type, fnX);
    EXPECT_EQ(RaisedMessage([&] { fold(TFnTree(0.0), TFnTree(0.0)); }), "(OptimizeOperator/<^> >> \"0^0\"): " + kRange);
    EXPECT_EQ(RaisedMessage([&] { fold(TFnTree(-2.0), TFnTree(0.5)); }), "(OptimizeOperator/<^>): " + kPole);
    EXPECT_EQ(RaisedMessage([&] { fold(TFnTree(0.0), TFnTree(-1.0)); }), "(OptimizeOperator/<^>): " + kPole);
    EXPECT_EQ(RaisedMessage([&] { fold(TFnTree(10.0), TFnTree(400.0)); }), "(OptimizeOperator/<^>): " + kPole);

    // Node checks of the rules.
    EXPECT_EQ(RaisedMessage([] { TFnTree::OptimizeOperator195(nullptr); }),
              "(TFnTree/OptimizeOperator195>>node): Incorrect structure of dynamic variable. Failture in the source-code");
    TFnTree sum = Node(fnSum, X(), TFnTree(2.0));
    EXPECT_EQ(RaisedMessage([&] { TFnTree::OptimizeOperator197(sum.root.get()); }),
              "(TFnTree/OptimizeOperator197>>node->type 240 255): Incorrect structure of dynamic variable. "
              "Failture in the source-code");
    EXPECT_EQ(RaisedMessage([&] { TFnTree::SetValue(sum.root.get(), sum.root->left.get()); }),
              "(TFnTree/SetValue(TFnNode*, TFnNode*): source - want 240 or 239 have 255): "
              "Incorrect type of a variable or a node.");
}

TEST(FnTree, CopyEqualAndCompare)
{
    TFnTree t = Parse("Sin(x)*2.5+Log(2, y)");
    GlobalParams.SetValue(2, 8.0);
    t.Value(1.0);
    GlobalParams.ClearValue(2);
    t.ToString();
    TFnTree c(t);
    EXPECT_TRUE(TFnTree::Equal(t.root.get(), c.root.get()));
    EXPECT_EQ(c.root->value, 0.0);   // copies take neither computed values nor texts
    EXPECT_TRUE(c.root->text.empty());
    ExpectLinked(c.root.get());
    c = c;   // self-assignment keeps the tree
    EXPECT_TRUE(TFnTree::Equal(t.root.get(), c.root.get()));
    TFnTree e;
    c = e;
    EXPECT_TRUE(c.Empty());
    EXPECT_TRUE(TFnTree(e).Empty());

    auto eq = [](const std::string& a, const std::string& b) {
        return TFnTree::Equal(Parse(a).root.get(), Parse(b).root.get());
    };
    EXPECT_TRUE(eq("x+2", "2+x"));
    EXPECT_TRUE(eq("x*y*z", "z*(x*y)"));
    EXPECT_FALSE(eq("x-2", "2-x"));
    EXPECT_FALSE(eq("x/2", "2/x"));
    EXPECT_FALSE(eq("x+2", "x+3"));
    EXPECT_TRUE(TFnTree::Equal(TFnTree(2.0).root.get(), Parse("2.0").root.get()));
    TFnTree realTwo;
    realTwo.root = TFnTree::NewNode(fnReal, nullptr);
    realTwo.root->realValue = 2.0;
    EXPECT_FALSE(TFnTree::Equal(TFnTree(2.0).root.get(), realTwo.root.get()));

    // Order: x after y after z after parameters after constants; parameters by index.
    std::vector<TFnTree> leaves;
    for (const char* s : {"x", "y", "z", "Param[5]", "Param[4]", "2", "2.5"}) leaves.push_back(Parse(s));
    auto after = [&](std::size_t a, std::size_t b) { return TFnTree::Compare(leaves[a].root.get(), leaves[b].root.get()); };
    EXPECT_TRUE(after(0, 1));
    EXPECT_TRUE(after(1, 2));
    EXPECT_TRUE(after(2, 3));
    EXPECT_TRUE(after(3, 4));
    EXPECT_TRUE(after(4, 5));
    EXPECT_TRUE(after(5, 6));   // an integer after a real: by type code
    EXPECT_FALSE(after(6, 5));
    for (std::size_t a = 0; a < leaves.size(); ++a) {
        EXPECT_FALSE(after(a, a));   // irreflexive
        for (std::size_t b = 0; b < leaves.size(); ++b) EXPECT_FALSE(after(a, b) && after(b, a));   // asymmetric
    }
    EXPECT_TRUE(TFnTree::Compare(Parse("Sin(y)").root.get(), Parse("Sin(z)").root.get()));
    EXPECT_FALSE(TFnTree::Compare(Parse("Sin(y)").root.get(), Parse("Sin(y)").root.get()));
}

TEST(FnTree, EvaluatorErrorsCarryExactTexts)
{
    struct Case {
        const char* text;
        double x;
        std::string message;
    };
    const std::string power = "(TFnTree/VisitVal>>operator^): ";
    const std::vector<Case> cases = {
        {"x/0", 1.0, "(TFnTree::VisitVal): " + kPole},
        {"1/(x-1)", 1.0, "(TFnTree::VisitVal): " + kPole},
        {"Exp(x)", 709.8, "(TFnTree::VisitValue/Exp): " + kPole},
        {"Ln(x)", 0.0, "(TFnTree::VisitValue/Ln): " + kPole},
        {"Ln(x)", -1.0, "(TFnTree::VisitValue/Ln): " + kRange},
        {"Tg(PI/2)", 0.0, "(TFnTree::VisitValue/Tg): " + kPole},
        {"Tg(-PI/2)", 0.0, "(TFnTree::VisitValue/Tg): " + kPole},
        {"Tg(x)", 7.5 * 3.141592653589793, "(TFnTree::VisitValue/Tg): " + kPole},
        {"Cotg(0)", 0.0, "(TFnTree::VisitValue/Cotg): " + kPole},
        {"Cotg(PI)", 0.0, "(TFnTree::VisitValue/Cotg): " + kPole},
        {"Arcsin(x)", 1.5, "(TFnTree::VisitValue/Arcsin): " + kRange},
        {"Arccos(x)", -1.0000001, "(TFnTree::VisitValue/Arccos): " + kRange},
        {"Cotgh(x)", 0.0, "(TFnTree::VisitValue/Cotgh): " + kPole},
        {"Argcosh(x)", 0.5, "(TFnTree::VisitValue/Argcosh): " + kRange},
        {"Argtgh(x)", 1.0, "(TFnTree::VisitValue/Argtgh): " + kPole},
        {"Argtgh(x)", -1.0, "(TFnTree::VisitValue/Argtgh): " + kPole},
        {"Argtgh(x)", 1.5, "(TFnTree::VisitValue/Argtgh): " + kRange},
        {"Argcotgh(x)", 0.5, "(TFnTree::VisitValue/Argcotgh): " + kRange},
        {"Argcotgh(x)", -1.0, "(TFnTree::VisitValue/Argcotgh): " + kPole},
        {"Log(1, 8)", 0.0, "(TFnTree::VisitValue/Log>>base): " + kRange},
        {"Log(-2, 8)", 0.0, "(TFnTree::VisitValue/Log>>base): " + kRange},
        {"Log(2, x)", 0.0, "(TFnTree::VisitValue/Log>>arg): " + kPole},
        {"Log(2, x)", -3.0, "(TFnTree::VisitValue/Log>>arg): " + kRange},
        {"0^0", 0.0, power + kRange},
        {"x^0", 0.0, power + kRange},
        {"0^(-1)", 0.0, power + kPole},
        {"x^(-2)", 0.0, power + kPole},
        {"x^(-0.5)", 0.0, power + kPole},
        {"(-2)^8", 0.0, power + kRange},
        {"(-8)^(1/3)", 0.0, power + kRange},
        {"x^2.5", -1.0, power + kRange},
        {"y", 0.0, "TParamSet::Value>>useVal: value of parameter or variable is not set"},
        {"Param[9]*x", 1.0, "(TParamSet::Value): " + kRange},
        // Overflow never yields an infinite value.
        {"Sinh(x)", 1000.0, "(TFnTree::VisitValue/Sinh): " + kPole},
        {"x*x", 1e200, "(TFnTree::VisitVal): " + kPole},
        {"x^7", 1e100, power + kPole},
        {"x^(-7)", 1e-100, power + kPole},
    };
    for (const Case& c : cases) {
        TFnTree t = Parse(c.text);
        EXPECT_EQ(RaisedMessage([&] { t.Value(c.x); }), c.message) << c.text << " at " << c.x;
        EXPECT_FALSE(GlobalParams.UseVal(1)) << "x left set by " << c.text;
    }
}

TEST(FnTree, EvaluatorValues)
{
    auto v = [](const std::string& text, double x) { return Parse(text).Value(x); };
    const double pi = 3.141592653589793;
    EXPECT_TRUE(std::isfinite(v("Exp(709.7)", 0)));
    EXPECT_EQ(v("Exp(-708.4)", 0), 0.0);
    EXPECT_GT(v("Exp(-708.3)", 0), 0.0);
    EXPECT_EQ(v("Sin(PI)", 0), 0.0);
    EXPECT_EQ(v("Sin(-PI)", 0), 0.0);
    EXPECT_EQ(v("Sin(x)", 3 * pi), 0.0);
    EXPECT_EQ(v("Sin(-PI/2)", 0), -1.0);
    EXPECT_NEAR(v("Sin(7)", 0), std::sin(7.0 - 2 * pi), 1e-11);
    EXPECT_NEAR(v("Sin(x)", -1e-10), -1e-10, 1e-25);   // small angles keep their accuracy
    EXPECT_EQ(v("Cos(PI/2)", 0), 0.0);
    EXPECT_EQ(v("Cos(-PI/2)", 0), 0.0);
    EXPECT_NEAR(v("Cos(x)", 100.0), std::cos(100.0), 1e-10);
    EXPECT_EQ(v("Cotg(PI/2)", 0), 0.0);
    EXPECT_NEAR(v("Tg(x)", 1.0), std::tan(1.0), 1e-15);
    EXPECT_NEAR(v("Tg(x)", -2.0), std::tan(-2.0), 1e-14);
    EXPECT_NEAR(v("Cotg(x)", -0.3), 1.0 / std::tan(-0.3), 1e-14);
    EXPECT_NEAR(v("Cotg(x)", 10.0), 1.0 / std::tan(10.0), 1e-10);
    EXPECT_NEAR(v("Arccotg(x)", 2.0), pi / 2 - std::atan(2.0), 1e-15);
    EXPECT_EQ(v("0^2", 0), 0.0);
    EXPECT_EQ(v("(-2)^3", 0), -8.0);
    EXPECT_EQ(v("(-2)^(-3)", 0), -0.125);
    EXPECT_DOUBLE_EQ(v("2^0.5", 0), std::sqrt(2.0));
    EXPECT_EQ(v("4^(-1)", 0), 0.25);
    EXPECT_DOUBLE_EQ(v("x^(-2147483647)", 1.0), 1.0);
    EXPECT_NEAR(v("x^(-2147483647)", 1.0000001) / std::pow(1.0000001, -2147483647.0), 1.0, 1e-8);
    EXPECT_DOUBLE_EQ(v("Log(2, 8)", 0), 3.0);
    EXPECT_DOUBLE_EQ(v("Argsinh(x)", -1e8), std::asinh(-1e8));
    EXPECT_DOUBLE_EQ(v("Argcosh(x)", 1e200), std::acosh(1e200));
    EXPECT_DOUBLE_EQ(v("Argtgh(x)", 0.5), std::atanh(0.5));
    EXPECT_DOUBLE_EQ(v("Argcotgh(x)", -3.0), 0.5 * std::log((-3.0 + 1) / (-3.0 - 1)));
    EXPECT_EQ(v("Sign(x)", -3.0), -1.0);
    EXPECT_EQ(v("Sign(x)", 0.0), 0.0);
    EXPECT_EQ(v("Erfc(x)", 0.5), 1.0 - Erf(0.5));
    EXPECT_EQ(v("2^3^2", 0), 64.0);   // powers associate to the left
    EXPECT_EQ(v("8/4/2", 0), 1.0);
    EXPECT_EQ(v("5-3-1", 0), 1.0);
    EXPECT_EQ(v("-x^2", 3.0), -9.0);

    // The protein builder's default formula.
    TFnTree mob = Parse("30.0*(x^(-1/3))*Abs(z)+2.0");
    GlobalParams.SetValue(1, 100.0);
    for (double z : {-2.0, 2.0, 0.0})
        EXPECT_NEAR(mob.Value(3, z), 30.0 * std::cbrt(0.01) * std::fabs(z) + 2.0, 1e-13);
    GlobalParams.ClearValue(1);
}

TEST(FnTree, EvaluationRestoresTheParameter)
{
    TFnTree t = Parse("Abs(z)");
    EXPECT_EQ(t.Value(3, 2.0), 2.0);
    EXPECT_FALSE(GlobalParams.UseVal(3));
    GlobalParams.SetValue(3, 5.0);
    EXPECT_EQ(t.Value(3, -4.0), 4.0);
    EXPECT_EQ(GlobalParams.Value(3), 5.0);

    TFnTree ln = Parse("Ln(z)");
    EXPECT_THROW(ln.Value(3, -1.0), Exception);
    EXPECT_EQ(GlobalParams.Value(3), 5.0);   // restored also after a raise
    GlobalParams.ClearValue(3);
    EXPECT_THROW(ln.Value(3, 0.0), Exception);
    EXPECT_FALSE(GlobalParams.UseVal(3));

    EXPECT_THROW(t.Value(99, 1.0), Exception);   // no such parameter: nothing set

    TFnTree empty;
    GlobalParams.SetValue(1, 7.0);
    EXPECT_EQ(empty.Value(3.0), 0.0);
    EXPECT_EQ(GlobalParams.Value(1), 7.0);
    GlobalParams.ClearValue(1);
}

TEST(FnTree, ErfStepTreeMatchesTheDirectFormula)
{
    std::mt19937 rng(20261206);
    std::uniform_real_distribution<double> conc(0.0, 50.0), ratio(0.1, 5.0);
    const int N = 400;
    for (int layout = 0; layout < 40; ++layout) {
        const int zones = 1 + layout % 6;
        std::vector<double> levels, ratios;
        for (int m = 0; m < zones; ++m) {
            levels.push_back(layout % 5 == 0 && m > 0 ? levels.back() : conc(rng));   // some steps of 0
            ratios.push_back(ratio(rng));
        }
        double total = 0.0;
        for (double r : ratios) total += r;
        std::vector<double> bounds;
        double cumulative = 0.0;
        for (int m = 0; m + 1 < zones; ++m) {
            cumulative += ratios[static_cast<std::size_t>(m)];
            bounds.push_back(N * cumulative / total);
        }
        const double w = layout % 3 == 0 ? 2.0 : 1.0 + 3.7 * (layout % 4);
        const TFnTree f = ErfStepTree(levels, bounds, w / 2.0);
        ExpectLinked(f.root.get());
        double scale = 0.0;
        for (double c : levels) scale = std::max(scale, std::fabs(c));
        for (int j = 0; j <= N; ++j) {
            double direct = levels[0];
            for (std::size_t m = 0; m < bounds.size(); ++m)
                direct += (1.0 + Erf((j - bounds[m]) / (w / 2.0))) * (levels[m + 1] - levels[m]) * 0.5;
            ASSERT_NEAR(f.Value(static_cast<double>(j)), direct, 1e-12 * std::max(scale, 1.0))
                << "layout " << layout << " node " << j;
        }
    }
    EXPECT_FALSE(GlobalParams.UseVal(1));

    // One zone is the constant; a step of 0 leaves no term behind.
    const double one[] = {3.5};
    ExpectReal(ErfStepTree(one, {}, 0.5), 3.5);
    const double flat[] = {2.0, 2.0};
    const double at[] = {10.0};
    ExpectInt(ErfStepTree(flat, at, 0.5), 2);
    // A step of 2 to 6 at node 25 is half-way there at node 25.
    const double levels[] = {2.0, 6.0};
    const double b25[] = {25.0};
    EXPECT_EQ(ErfStepTree(levels, b25, 0.5).Value(25.0), 4.0);
    EXPECT_THROW(ErfStepTree(levels, {}, 0.5), Exception);
    EXPECT_THROW(ErfStepTree(levels, b25, 0.0), Exception);
}
