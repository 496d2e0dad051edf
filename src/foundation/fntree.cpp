// Expression trees: globals, construction, copying, operators and comparisons.
#include "foundation/fntree.h"

#include "foundation/errors.h"
#include "foundation/messages.h"

namespace {

std::array<std::string, 100> MakeFunctionNames()
{
    std::array<std::string, 100> names;
    const char* oneOperand[] = {"Exp",    "Ln",     "Sin",     "Cos",     "Tg",     "Cotg",
                                "Arcsin", "Arccos", "Arctg",   "Arccotg", "Sinh",   "Cosh",
                                "Tgh",    "Cotgh",  "Argsinh", "Argcosh", "Argtgh", "Argcotgh",
                                "Sign",   "Abs",    "Erf",     "Erfc"};
    for (std::size_t i = 0; i < std::size(oneOperand); ++i) names[i] = oneOperand[i];
    names[fnLog] = "Log";
    return names;
}

// Puts a binary operator of `type` over the roots of a and b, which are left empty.
TFnTree Join(int type, TFnTree& a, TFnTree& b, const char* where)
{
    if (!a.root || !b.root) ThrowErrorCode(-9, where);
    TFnTree result;
    result.root = TFnTree::NewNode(type, nullptr);
    result.root->left = std::move(a.root);
    result.root->right = std::move(b.root);
    result.root->left->parent = result.root.get();
    result.root->right->parent = result.root.get();
    return result;
}

}  // namespace

const std::array<std::string, 100> FunctionNames = MakeFunctionNames();

std::uint8_t OptimizeFlag = 0;

std::unique_ptr<TFnNode> TFnTree::NewNode(int type, TFnNode* parent)
{
    auto node = std::make_unique<TFnNode>();
    node->type = type;
    node->parent = parent;
    return node;
}

TFnTree::TFnTree(double c)
{
    root = NewNode(-1, nullptr);
    SetReal(root.get(), c);
}

TFnTree::TFnTree(const TPolynom& p)
{
    root = NewNode(-1, nullptr);
    const auto& terms = p.Terms();
    if (terms.empty()) {
        SetInt(root.get(), 0);
        return;
    }
    // Terms from the lowest exponent, joined as t1 + (t2 + (... + tk)).
    TFnNode* slot = root.get();
    for (std::size_t i = 0; i < terms.size(); ++i) {
        TFnNode* term = slot;
        if (i + 1 < terms.size()) {
            slot->type = fnSum;
            slot->left = NewNode(-1, slot);
            slot->right = NewNode(-1, slot);
            term = slot->left.get();
            slot = slot->right.get();
        }
        const int n = terms[i].exponent;
        const double c = terms[i].coefficient;
        TFnNode* power = term;  // where x or x^n goes
        if (c == 1.0) {
            if (n == 0) {
                SetInt(term, 1);
                continue;
            }
        } else {
            if (n == 0) {
                SetReal(term, c);
                continue;
            }
            term->type = fnProduct;
            term->left = NewNode(-1, term);
            SetReal(term->left.get(), c);
            term->right = NewNode(-1, term);
            power = term->right.get();
        }
        if (n == 1) {
            power->type = fnX;
        } else {
            power->type = fnPower;
            power->left = NewNode(fnX, power);
            power->right = NewNode(-1, power);
            SetInt(power->right.get(), n);
        }
    }
}

TFnTree::TFnTree(const TFnTree& other)
{
    if (other.root) {
        root = NewNode(-1, nullptr);
        CopyTree(other.root.get(), root.get());
    }
}

TFnTree& TFnTree::operator=(const TFnTree& other)
{
    if (this == &other) return *this;
    TFnTree copy(other);
    root = std::move(copy.root);
    if (OptimizeFlag == 1) Optimize();
    return *this;
}

TFnTree operator+(TFnTree a, TFnTree b)
{
    TFnTree result = Join(fnSum, a, b, kWhereTreePlus);
    TFnTree::OptimizeOperator199(result.root.get());
    return result;
}

TFnTree operator*(TFnTree a, TFnTree b)
{
    TFnTree result = Join(fnProduct, a, b, kWhereTreeMul);
    TFnTree::OptimizeOperator197(result.root.get());
    return result;
}

TFnTree operator/(TFnTree a, TFnTree b)
{
    TFnTree result = Join(fnQuotient, a, b, kWhereTreeDiv);
    TFnTree::OptimizeOperator196(result.root.get());
    return result;
}

TFnTree TFnTree::Erf(TFnTree a)
{
    if (!a.root) ThrowErrorCode(-9, kWhereTreeErf);
    TFnTree result;
    result.root = NewNode(fnErf, nullptr);
    result.root->left = std::move(a.root);
    result.root->left->parent = result.root.get();
    return result;
}

void CopyTree(const TFnNode* source, TFnNode* target)
{
    if (!target) ThrowErrorCode(-5, "CopyTree>>target");
    if (!source) ThrowErrorCode(-9, kWhereCopyTreeSource);
    target->left.reset();
    target->right.reset();
    target->type = source->type;
    target->intValue = source->intValue;
    target->realValue = source->realValue;
    if (source->left) {
        target->left = TFnTree::NewNode(-1, target);
        CopyTree(source->left.get(), target->left.get());
    }
    if (source->right) {
        target->right = TFnTree::NewNode(-1, target);
        CopyTree(source->right.get(), target->right.get());
    }
}

void MoveTree(TFnNode* source, TFnNode* target)
{
    if (!target) ThrowErrorCode(-5, "MoveTree>>target");
    if (!source || source == target) return;
    // The source may hang below the target: take its operands before the
    // target's own operands (and with them possibly the source) are deleted.
    std::unique_ptr<TFnNode> left = std::move(source->left);
    std::unique_ptr<TFnNode> right = std::move(source->right);
    const int type = source->type;
    const int intValue = source->intValue;
    const double realValue = source->realValue;
    target->left.reset();
    target->right.reset();
    target->type = type;
    target->intValue = intValue;
    target->realValue = realValue;
    target->left = std::move(left);
    target->right = std::move(right);
    if (target->left) target->left->parent = target;
    if (target->right) target->right->parent = target;
}

bool TFnTree::Equal(const TFnNode* a, const TFnNode* b)
{
    if (!a || !b) return a == b;
    if (a->type != b->type) return false;
    if (a->type == fnParam || a->type == fnInt) {
        if (a->intValue != b->intValue) return false;
    } else if (a->type == fnReal) {
        if (a->realValue != b->realValue) return false;
    }
    if (a->type == fnSum || a->type == fnProduct) {
        const bool aBoth = a->left && a->right, bBoth = b->left && b->right;
        if (aBoth && bBoth)
            return (Equal(a->left.get(), b->right.get()) && Equal(a->right.get(), b->left.get())) ||
                   (Equal(a->left.get(), b->left.get()) && Equal(a->right.get(), b->right.get()));
        const int aCount = (a->left ? 1 : 0) + (a->right ? 1 : 0);
        const int bCount = (b->left ? 1 : 0) + (b->right ? 1 : 0);
        if (aCount == 0 && bCount == 0) return true;
        if (aCount == 1 && bCount == 1) {
            const TFnNode* ao = a->left ? a->left.get() : a->right.get();
            const TFnNode* bo = b->left ? b->left.get() : b->right.get();
            return Equal(ao, bo);
        }
        return false;
    }
    return Equal(a->left.get(), b->left.get()) && Equal(a->right.get(), b->right.get());
}

bool TFnTree::Compare(const TFnNode* a, const TFnNode* b)
{
    if (!a || !b) return !a && b;  // a missing node orders after a present one
    if (a->type != b->type) return a->type > b->type;
    if (a->type == fnParam) return a->intValue > b->intValue;
    if (a->type == fnInt || a->type == fnReal) return false;
    // Left slot.
    if (!a->left && b->left) return true;
    if (a->left && !b->left) return false;
    if (a->left) {
        if (Compare(a->left.get(), b->left.get())) return true;
        if (!Equal(a->left.get(), b->left.get())) return false;
    }
    // Right slot.
    if (!a->right && b->right) return true;
    if (a->right && !b->right) return false;
    if (a->right) return Compare(a->right.get(), b->right.get());
    return false;
}

TFnTree ErfStepTree(std::span<const double> levels, std::span<const double> boundaries,
                    double scale)
{
    if (levels.empty() || boundaries.size() + 1 != levels.size())
        ThrowErrorCode(-6, kWhereErfStepTree);
    TFnTree f(levels[0]);
    for (std::size_t m = 0; m < boundaries.size(); ++m) {
        TFnTree step = TFnTree::Erf(TFnTree(UnitX - boundaries[m]) / TFnTree(scale));
        step = TFnTree(1.0) + step;
        step = step * TFnTree((levels[m + 1] - levels[m]) * 0.5);
        f = f + step;
    }
    return f;
}
