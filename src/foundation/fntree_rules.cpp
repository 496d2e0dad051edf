// Expression trees: constant arithmetic and the local simplification rules of
// the four arithmetic operators.
#include <cmath>
#include <limits>

#include "foundation/errors.h"
#include "foundation/fntree.h"

namespace {

constexpr double IntLimit = 2147483647.0;  // |n| <= 2^31 - 1 is an integer constant

bool IsInt(const TFnNode* n)
{
    return n->type == fnInt;
}
bool IsReal(const TFnNode* n)
{
    return n->type == fnReal;
}
bool IsConst(const TFnNode* n)
{
    return IsInt(n) || IsReal(n);
}
bool IsIntOf(const TFnNode* n, int k)
{
    return IsInt(n) && n->intValue == k;
}
bool IsOne(const TFnNode* n)
{
    return IsIntOf(n, 1) || (IsReal(n) && n->realValue == 1.0);
}
double ConstOf(const TFnNode* n)
{
    return IsInt(n) ? n->intValue : n->realValue;
}

// The node takes over its operand `which` (type, constants, operands); the other operand is
// deleted.
void Become(TFnNode* node, std::unique_ptr<TFnNode> TFnNode::*which)
{
    std::unique_ptr<TFnNode> u = std::move(node->*which);
    MoveTree(u.get(), node);
}

// The node becomes the constant held by `source` (one of its operands); both operands are deleted.
void Fold(TFnNode* node, const TFnNode* source)
{
    TFnTree::SetValue(node, source);
    node->left.reset();
    node->right.reset();
}

void FoldInt(TFnNode* node, int n)
{
    TFnTree::SetInt(node, n);
    node->left.reset();
    node->right.reset();
}

void FoldQuotient(TFnNode* node, double a, double b)
{
    if (b == 0.0) ThrowErrorCode(-3, "OptimizeOperator/</>");
    node->type = fnReal;
    node->realValue = a / b;
    node->intValue = 0;
    node->left.reset();
    node->right.reset();
}

void FoldPower(TFnNode* node, double r)
{
    if (!std::isfinite(r)) ThrowErrorCode(-3, "OptimizeOperator/<^>");
    TFnTree::SetReal(node, r);
    node->left.reset();
    node->right.reset();
}

void CheckNode(TFnNode* node, int type, const char* nodeWhere, const char* typeWhere)
{
    if (!node) ThrowErrorCode(-5, nodeWhere);
    if (node->type != type) ThrowErrorCode(-5, typeWhere);
    if (!node->left || !node->right) ThrowErrorCode(-5, nodeWhere);
}

// The number is stored as an integer constant when it is integral and fits, else as a real one.
void StoreNumber(TFnNode* node, double r)
{
    TFnTree::SetReal(node, r);
}

}  // namespace

double IntegerPower(double a, long long n)
{
    unsigned long long e =
        n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
    long double base = a, result = 1.0L;
    while (e != 0) {
        if (e & 1U) result *= base;
        e >>= 1U;
        if (e != 0) base *= base;
    }
    if (n < 0) result = 1.0L / result;
    // Out of the double range: an infinity of the right sign, not a narrowing of an unrepresentable
    // value.
    if (std::fabs(result) > std::numeric_limits<double>::max())
        return result > 0.0L ? HUGE_VAL : -HUGE_VAL;
    return static_cast<double>(result);
}

void TFnTree::SetInt(TFnNode* node, int n)
{
    node->type = fnInt;
    node->intValue = n;
    node->realValue = 0.0;
}

void TFnTree::SetReal(TFnNode* node, double r)
{
    if (std::fabs(r) <= IntLimit && std::trunc(r) == r) {
        SetInt(node, static_cast<int>(r));
    } else {
        node->type = fnReal;
        node->realValue = r;
        node->intValue = 0;
    }
}

void TFnTree::SetValue(TFnNode* target, const TFnNode* source)
{
    if (IsInt(source))
        SetInt(target, source->intValue);
    else if (IsReal(source))
        SetReal(target, source->realValue);
    else
        ThrowErrorCode(-8, "TFnTree/SetValue(TFnNode*, TFnNode*): source - want 240 or 239 have " +
                               std::to_string(source->type));
}

void TFnTree::SetValue199(TFnNode* target, const TFnNode* source)
{
    if (IsInt(source))
        AddInt(target, source->intValue);
    else if (IsReal(source))
        AddReal(target, source->realValue);
    else
        ThrowErrorCode(-8,
                       "TFnTree/SetValue199(TFnNode*, TFnNode*): source - want 240 or 239 have " +
                           std::to_string(source->type));
}

void TFnTree::AddInt(TFnNode* node, int n)
{
    StoreNumber(node, ConstOf(node) + n);
}

void TFnTree::AddReal(TFnNode* node, double r)
{
    StoreNumber(node, ConstOf(node) + r);
}

void TFnTree::MulInt(TFnNode* node, int n)
{
    StoreNumber(node, ConstOf(node) * n);
}

void TFnTree::MulReal(TFnNode* node, double r)
{
    // An integer constant is told from a real one by a realValue of 0.
    const double v = node->realValue == 0.0 ? node->intValue : node->realValue;
    StoreNumber(node, v * r);
}

void TFnTree::OptimizeOperator199(TFnNode* node)
{
    CheckNode(node, fnSum, "TFnTree/OptimizeOperator199>>node",
              "TFnTree/OptimizeOperator199>>node->type");
    TFnNode* a = node->left.get();
    TFnNode* b = node->right.get();
    if (IsInt(a) && IsInt(b)) {
        AddInt(a, b->intValue);
        Fold(node, a);
    } else if (IsInt(a) && IsReal(b)) {
        AddReal(a, b->realValue);
        Fold(node, a);
    } else if (IsIntOf(a, 0)) {
        Become(node, &TFnNode::right);
    } else if (IsReal(a) && IsConst(b)) {
        AddReal(a, ConstOf(b));
        Fold(node, a);
    } else if (IsIntOf(b, 0)) {
        Become(node, &TFnNode::left);
    }
}

void TFnTree::OptimizeOperator197(TFnNode* node)
{
    if (!node) ThrowErrorCode(-5, "TFnTree/OptimizeOperator197>>node");
    if (node->type != fnProduct)
        ThrowErrorCode(-5, "TFnTree/OptimizeOperator197>>node->type " +
                               std::to_string(node->right ? node->right->type : -1) + " " +
                               std::to_string(node->left ? node->left->type : -1));
    CheckNode(node, fnProduct, "TFnTree/OptimizeOperator197>>node",
              "TFnTree/OptimizeOperator197>>node->type");
    TFnNode* a = node->left.get();
    TFnNode* b = node->right.get();
    if (IsIntOf(a, 0)) {
        FoldInt(node, 0);
    } else if (IsInt(a) && IsInt(b)) {
        MulInt(a, b->intValue);
        Fold(node, a);
    } else if (IsInt(a) && IsReal(b)) {
        MulReal(a, b->realValue);
        Fold(node, a);
    } else if (IsIntOf(a, 1)) {
        Become(node, &TFnNode::right);
    } else if (IsIntOf(b, 0)) {
        FoldInt(node, 0);
    } else if (IsReal(a) && IsConst(b)) {
        MulReal(a, ConstOf(b));
        Fold(node, a);
    } else if (IsReal(a) && a->realValue == 1.0) {
        Become(node, &TFnNode::right);
    } else if (IsOne(b)) {
        Become(node, &TFnNode::left);
    }
}

void TFnTree::OptimizeOperator196(TFnNode* node)
{
    CheckNode(node, fnQuotient, "TFnTree/OptimizeOperator196>>node",
              "TFnTree/OptimizeOperator196>>node->type");
    TFnNode* a = node->left.get();
    TFnNode* b = node->right.get();
    if (IsIntOf(a, 0)) {
        FoldInt(node, 0);
    } else if (IsInt(a) && IsConst(b)) {
        FoldQuotient(node, a->intValue, ConstOf(b));
    } else if (IsIntOf(b, 0)) {
        ThrowErrorCode(-3, "OptimizeOperator/</>");
    } else if (IsReal(a) && IsConst(b)) {
        FoldQuotient(node, a->realValue, ConstOf(b));
    } else if (IsOne(b)) {
        Become(node, &TFnNode::left);
    }
}

void TFnTree::OptimizeOperator195(TFnNode* node)
{
    CheckNode(node, fnPower, "TFnTree/OptimizeOperator195>>node",
              "TFnTree/OptimizeOperator195>>node->type");
    TFnNode* a = node->left.get();
    TFnNode* b = node->right.get();
    const char* where = "OptimizeOperator/<^>";
    const char* whereZero = "OptimizeOperator/<^> >> \"0^0\"";
    // A zero base: 0^0 is indefinite, 0 to a negative power a pole.
    if (IsConst(a) && ConstOf(a) == 0.0 && IsConst(b)) {
        if (ConstOf(b) == 0.0 && !(IsReal(a) && IsInt(b))) ThrowErrorCode(-4, whereZero);
        if (ConstOf(b) < 0.0) ThrowErrorCode(-3, where);
    }
    if (IsInt(a) && IsInt(b)) {
        FoldPower(node, IntegerPower(a->intValue, b->intValue));
    } else if (IsIntOf(a, 0)) {
        FoldInt(node, 0);
    } else if (IsInt(a) && IsReal(b)) {
        if (a->intValue < 0) ThrowErrorCode(-3, where);
        FoldPower(node, std::pow(static_cast<double>(a->intValue), b->realValue));
    } else if (IsIntOf(a, 1)) {
        FoldInt(node, 1);
    } else if (IsIntOf(b, 0)) {
        FoldInt(node, 1);
    } else if (IsReal(a) && IsInt(b)) {
        FoldPower(node, IntegerPower(a->realValue, b->intValue));
    } else if (IsReal(a) && IsReal(b)) {
        if (a->realValue < 0.0) ThrowErrorCode(-3, where);
        FoldPower(node, std::pow(a->realValue, b->realValue));
    } else if (IsReal(a) && a->realValue == 1.0) {
        FoldInt(node, 1);
    } else if (IsOne(b)) {
        Become(node, &TFnNode::left);
    }
}
