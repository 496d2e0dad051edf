// Expression trees: the evaluator.
#include <cmath>

#include "foundation/errors.h"
#include "foundation/fntree.h"
#include "foundation/math_functions.h"
#include "foundation/numtext.h"

namespace {

constexpr double Pi = 3.141592653589793;
constexpr long double PiL = Pi;  // the double pi, carried in extended precision
constexpr long double TwoPiL = 2.0L * PiL;
constexpr long double HalfPiL = 0.5L * PiL;
constexpr long double ThreeHalfPiL = 1.5L * PiL;

constexpr const char* kWherePower = "TFnTree/VisitVal>>operator^";

std::string FunctionWhere(int type)
{
    return std::string("TFnTree::VisitValue/") + FunctionNames[static_cast<std::size_t>(type)];
}

// Where a non-finite result of a node of this type is reported.
std::string ResultWhere(int type)
{
    if (type >= 0 && type < 60) return FunctionWhere(type);
    if (type == fnLog) return "TFnTree::VisitValue/Log>>arg";
    if (type == fnPower) return kWherePower;
    if (type >= fnQuotient && type <= fnSum) return "TFnTree::VisitVal";
    return "TFnTree::VisitValue";
}

double Power(double a, double b)
{
    if (a == 0.0 && b == 0.0) ThrowErrorCode(-4, kWherePower);
    if (a == 0.0) {
        if (b < 0.0) ThrowErrorCode(-3, kWherePower);  // pole of 0 to a negative power
        return 0.0;
    }
    // An integral exponent below 8 (within the int range) takes any sign of the base.
    if (b < 8.0 && b >= -2147483647.0 && std::trunc(b) == b)
        return IntegerPower(a, static_cast<long long>(b));
    if (a < 0.0) ThrowErrorCode(-4, kWherePower);
    return std::pow(a, b);
}

// Angle reduced over 2 pi for Sin and Cos. A reduced negative angle is raised by 2 pi.
long double ReduceTwoPi(double a)
{
    long double t = a;
    if (std::fabs(t) >= TwoPiL) {
        t = static_cast<long double>(FracD(static_cast<double>(t / TwoPiL))) * TwoPiL;
        if (t < 0.0L) t += TwoPiL;
    }
    return t;
}

// Angle reduced over pi for Tg and Cotg.
long double ReducePi(double a, bool& reduced)
{
    long double t = a;
    reduced = std::fabs(t) >= PiL;
    if (reduced) t = static_cast<long double>(FracD(static_cast<double>(t / PiL))) * PiL;
    return t;
}

double Function(int type, double a)
{
    switch (type) {
    case fnExp:
        if (a > 709.778424) ThrowErrorCode(-3, FunctionWhere(type));
        if (a < -708.394207) return 0.0;
        return std::exp(a);
    case fnLn:
        if (a == 0.0) ThrowErrorCode(-3, FunctionWhere(type));
        if (a < 0.0) ThrowErrorCode(-4, FunctionWhere(type));
        return std::log(a);
    case fnSin: {
        const long double t = ReduceTwoPi(a);
        if (t == PiL || t == -PiL) return 0.0;
        return static_cast<double>(std::sin(t));
    }
    case fnCos: {
        const long double t = ReduceTwoPi(a);
        if (t == HalfPiL || t == ThreeHalfPiL || t == -HalfPiL || t == -ThreeHalfPiL) return 0.0;
        return static_cast<double>(std::cos(t));
    }
    case fnTg: {
        bool reduced = false;
        long double t = ReducePi(a, reduced);
        if (t <= -HalfPiL)
            t += PiL;
        else if (t > HalfPiL)
            t -= PiL;
        if (t == HalfPiL) ThrowErrorCode(-3, FunctionWhere(type));
        return static_cast<double>(std::tan(t));
    }
    case fnCotg: {
        bool reduced = false;
        long double t = ReducePi(a, reduced);
        if (reduced && t < 0.0L) t += PiL;
        if (t == HalfPiL || t == -HalfPiL) return 0.0;
        if (t == 0.0L) ThrowErrorCode(-3, FunctionWhere(type));
        return static_cast<double>(1.0L / std::tan(t));
    }
    case fnArcsin:
        if (a < -1.0 || a > 1.0) ThrowErrorCode(-4, FunctionWhere(type));
        return std::asin(a);
    case fnArccos:
        if (a < -1.0 || a > 1.0) ThrowErrorCode(-4, FunctionWhere(type));
        return std::acos(a);
    case fnArctg: return std::atan(a);
    case fnArccotg: return Pi / 2.0 - std::atan(a);
    case fnSinh: return std::sinh(a);
    case fnCosh: return std::cosh(a);
    case fnTgh: return std::tanh(a);
    case fnCotgh:
        if (a == 0.0) ThrowErrorCode(-3, FunctionWhere(type));
        return 1.0 / std::tanh(a);
    case fnArgsinh: return std::asinh(a);
    case fnArgcosh:
        if (a < 1.0) ThrowErrorCode(-4, FunctionWhere(type));
        return std::acosh(a);
    case fnArgtgh:
        if (a < -1.0 || a > 1.0) ThrowErrorCode(-4, FunctionWhere(type));
        if (a == -1.0 || a == 1.0) ThrowErrorCode(-3, FunctionWhere(type));
        return std::atanh(a);
    case fnArgcotgh:
        if (std::fabs(a) < 1.0) ThrowErrorCode(-4, FunctionWhere(type));
        if (a == -1.0 || a == 1.0) ThrowErrorCode(-3, FunctionWhere(type));
        return std::atanh(1.0 / a);
    case fnSign: return a > 0.0 ? 1.0 : (a < 0.0 ? -1.0 : 0.0);
    case fnAbs: return std::fabs(a);
    case fnErf: return ::Erf(a);
    case fnErfc: return 1.0 - ::Erf(a);
    default: ThrowErrorCode(-5, "TFnTree::VisitValue");
    }
}

double NodeValue(const TFnNode* node)
{
    const int type = node->type;
    auto operand = [&](const std::unique_ptr<TFnNode>& o) {
        if (!o) ThrowErrorCode(-5, "TFnTree::VisitValue");
        return o->value;
    };
    switch (type) {
    case fnX: return GlobalParams.Value(1);
    case fnY: return GlobalParams.Value(2);
    case fnZ: return GlobalParams.Value(3);
    case fnInt: return node->intValue;
    case fnReal: return node->realValue;
    case fnParam: return GlobalParams.Value(node->intValue);
    case fnSum: return operand(node->left) + operand(node->right);
    case fnDifference: return operand(node->left) - operand(node->right);
    case fnProduct: return operand(node->left) * operand(node->right);
    case fnQuotient: {
        const double a = operand(node->left), b = operand(node->right);
        if (b == 0.0) ThrowErrorCode(-3, "TFnTree::VisitVal");
        return a / b;
    }
    case fnPower: return Power(operand(node->left), operand(node->right));
    case fnLog: {
        const double a = operand(node->left), b = operand(node->right);
        if (a <= 0.0 || a == 1.0) ThrowErrorCode(-4, "TFnTree::VisitValue/Log>>base");
        if (b == 0.0) ThrowErrorCode(-3, "TFnTree::VisitValue/Log>>arg");
        if (b < 0.0) ThrowErrorCode(-4, "TFnTree::VisitValue/Log>>arg");
        return std::log(b) / std::log(a);
    }
    default:
        if (type >= 0 && type <= fnErfc) return Function(type, operand(node->left));
        ThrowErrorCode(-5, "TFnTree::VisitValue");
    }
}

// Sets a parameter for the life of the guard and puts back its former state.
class ParamGuard {
public:
    ParamGuard(int index, double v) : index_(index)
    {
        wasSet_ = GlobalParams.UseVal(index);
        old_ = wasSet_ ? GlobalParams.Value(index) : 0.0;
        GlobalParams.SetValue(index, v);
    }
    ~ParamGuard()
    {
        GlobalParams.SetValue(index_, old_);
        if (!wasSet_) GlobalParams.ClearValue(index_);
    }
    ParamGuard(const ParamGuard&) = delete;
    ParamGuard& operator=(const ParamGuard&) = delete;

private:
    int index_;
    bool wasSet_ = false;
    double old_ = 0.0;
};

}  // namespace

void TFnTree::VisitValue(const TFnNode* node)
{
    if (!node) ThrowErrorCode(-5, "TFnTree::VisitValue");
    if (node->left) VisitValue(node->left.get());
    if (node->right) VisitValue(node->right.get());
    const double r = NodeValue(node);
    // A value that is not finite (an overflow or an infinite input) never flows on.
    if (!std::isfinite(r)) ThrowErrorCode(-3, ResultWhere(node->type));
    node->value = r;
}

double TFnTree::Eval(const TFnNode* root, int index, double v)
{
    if (!root) return 0.0;
    ParamGuard guard(index, v);
    VisitValue(root);
    return root->value;
}

double TFnTree::Value(double x) const
{
    return Eval(root.get(), 1, x);
}

double TFnTree::Value(int index, double v) const
{
    return Eval(root.get(), index, v);
}
