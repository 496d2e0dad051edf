// Expression trees: the optimiser. Brings a tree into a simplified canonical
// form: folds constants, cancels a function applied to its inverse, flattens
// chains of sums and of products, merges equal terms (adding coefficients) and
// equal factors (adding exponents), orders them, multiplies out products of
// sums where that makes the tree smaller, and rebuilds the chains.
//
// Rewrites are kept to those that hold wherever the original tree can be
// evaluated, and the rebuilt chains use differences and quotients, so that an
// optimised tree is never larger than its input and optimising it again
// changes nothing.
#include <algorithm>
#include <cmath>
#include <vector>

#include "foundation/errors.h"
#include "foundation/fntree.h"

namespace {

using NodePtr = std::unique_ptr<TFnNode>;

bool IsConst(const TFnNode* n)
{
    return n && (n->type == fnInt || n->type == fnReal);
}
bool IsAddSub(const TFnNode* n)
{
    return n && (n->type == fnSum || n->type == fnDifference);
}
bool IsMulDiv(const TFnNode* n)
{
    return n && (n->type == fnProduct || n->type == fnQuotient);
}
double ConstOf(const TFnNode* n)
{
    return n->type == fnInt ? n->intValue : n->realValue;
}

NodePtr Constant(double v)
{
    NodePtr n = TFnTree::NewNode(-1, nullptr);
    TFnTree::SetReal(n.get(), v);
    return n;
}

NodePtr CopyOf(const TFnNode* source)
{
    NodePtr n = TFnTree::NewNode(-1, nullptr);
    CopyTree(source, n.get());
    return n;
}

int NodeCount(const TFnNode* n)
{
    return n ? 1 + NodeCount(n->left.get()) + NodeCount(n->right.get()) : 0;
}

NodePtr Make(int type, NodePtr left, NodePtr right = nullptr)
{
    NodePtr n = TFnTree::NewNode(type, nullptr);
    n->left = std::move(left);
    n->right = std::move(right);
    if (n->left) n->left->parent = n.get();
    if (n->right) n->right->parent = n.get();
    return n;
}

// The node takes the content of `content` (type, constants, operands).
void Replace(TFnNode* node, NodePtr content)
{
    MoveTree(content.get(), node);
}

// c := -c for a constant node.
void Negate(TFnNode* c)
{
    TFnTree::MulInt(c, -1);
}

// Enters node with the constant `value` into a set kept in descending order:
// an equal node gets the value added; otherwise the entry goes before the
// first entry that it orders after, or at the end.
void Enter(std::vector<TFnSetNode>& set, NodePtr node, NodePtr value,
           NodePtr exponentNode = nullptr)
{
    auto it = set.begin();
    for (; it != set.end(); ++it) {
        if (TFnTree::Equal(it->node.get(), node.get())) {
            TFnTree::SetValue199(it->value.get(), value.get());
            if (exponentNode) {
                it->exponentNode = it->exponentNode ? Make(fnSum, std::move(it->exponentNode),
                                                           std::move(exponentNode))
                                                    : std::move(exponentNode);
            }
            return;
        }
        if (TFnTree::Compare(node.get(), it->node.get())) break;
    }
    set.insert(it, TFnSetNode{std::move(value), std::move(node), std::move(exponentNode)});
}

// Joins the nodes into a chain of `type` nested to the right; null for none.
NodePtr Chain(int type, std::vector<NodePtr> items)
{
    NodePtr result;
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        result = result ? Make(type, std::move(*it), std::move(result)) : std::move(*it);
    return result;
}

// f(g(u)) = u for every u where g(u) can be evaluated. The reverse pairs
// (Arcsin(Sin(u)), Arccos(Cos(u)), Arctg(Tg(u)), Arccotg(Cotg(u)),
// Argcosh(Cosh(u))) hold only on part of that range and are not cancelled.
bool CancelsInverse(int outer, int inner)
{
    switch (outer) {
    case fnExp: return inner == fnLn;
    case fnLn: return inner == fnExp;
    case fnSin: return inner == fnArcsin;
    case fnCos: return inner == fnArccos;
    case fnTg: return inner == fnArctg;
    case fnCotg: return inner == fnArccotg;
    case fnSinh: return inner == fnArgsinh;
    case fnArgsinh: return inner == fnSinh;
    case fnCosh: return inner == fnArgcosh;
    case fnTgh: return inner == fnArgtgh;
    case fnArgtgh: return inner == fnTgh;
    case fnCotgh: return inner == fnArgcotgh;
    case fnArgcotgh: return inner == fnCotgh;
    default: return false;
    }
}

// The operands of a chain of sums and differences (sums true) or of products
// and quotients, each optimised, with -1 for a subtracted term or a divisor.
void CollectChain(NodePtr node, int sign, std::vector<std::pair<NodePtr, int>>& out, bool sums)
{
    const auto inChain = sums ? IsAddSub : IsMulDiv;
    if (!inChain(node.get())) TFnTree::Optimize(node.get());
    if (inChain(node.get())) {
        const int rightSign = node->type == (sums ? fnDifference : fnQuotient) ? -sign : sign;
        NodePtr l = std::move(node->left), r = std::move(node->right);
        CollectChain(std::move(l), sign, out, sums);
        CollectChain(std::move(r), rightSign, out, sums);
        return;
    }
    // (a · b / c) ^ (-1) is a^(-1) · b^(-1) · c.
    if (!sums && node->type == fnPower && IsMulDiv(node->left.get()) &&
        node->right->type == fnInt && node->right->intValue == -1) {
        CollectChain(std::move(node->left), -sign, out, sums);
        return;
    }
    out.emplace_back(std::move(node), sign);
}

// The node's operator and operands as a separate chain; the node keeps none.
NodePtr TakeChain(TFnNode* node)
{
    NodePtr chain = Make(node->type, std::move(node->left), std::move(node->right));
    return chain;
}

void CollectSumOperands(NodePtr node, int sign, std::vector<std::pair<NodePtr, int>>& out)
{
    CollectChain(std::move(node), sign, out, true);
}

void CollectProductOperands(NodePtr node, int sign, std::vector<std::pair<NodePtr, int>>& out)
{
    CollectChain(std::move(node), sign, out, false);
}

// c · t written as t when c is 1.
NodePtr ScaledTerm(NodePtr c, NodePtr t)
{
    if (ConstOf(c.get()) == 1.0) return t;
    return Make(fnProduct, std::move(c), std::move(t));
}

// The canonical sum of a constant and a term set: the positive terms (constant
// first) minus the negated negative ones; a single negative part keeps its sign.
NodePtr BuildSum(NodePtr constant, std::vector<TFnSetNode>& set)
{
    std::vector<NodePtr> plus, minus;
    const double k = ConstOf(constant.get());
    if (k > 0.0)
        plus.push_back(std::move(constant));
    else if (k < 0.0) {
        Negate(constant.get());
        minus.push_back(std::move(constant));
    }
    for (TFnSetNode& e : set) {
        if (ConstOf(e.value.get()) > 0.0) {
            plus.push_back(ScaledTerm(std::move(e.value), std::move(e.node)));
        } else {
            Negate(e.value.get());
            minus.push_back(ScaledTerm(std::move(e.value), std::move(e.node)));
        }
    }
    if (plus.empty() && minus.empty()) return Constant(0.0);
    if (plus.empty()) {
        // -(m1 + m2 + ...) as (-1) · m1 - (m2 + ...), the first part carrying the sign.
        // The part that carries the sign at no cost: a constant or a part with a coefficient.
        auto pick = std::find_if(minus.begin(), minus.end(), [](const NodePtr& m) {
            return IsConst(m.get()) || (IsMulDiv(m.get()) && IsConst(m->left.get()));
        });
        if (pick == minus.end()) pick = minus.begin();
        NodePtr head = Make(fnProduct, Constant(-1.0), std::move(*pick));
        minus.erase(pick);
        TFnTree::CollectTerms(head.get());
        if (minus.empty()) return head;
        return Make(fnDifference, std::move(head), Chain(fnSum, std::move(minus)));
    }
    NodePtr p = Chain(fnSum, std::move(plus));
    if (minus.empty()) return p;
    return Make(fnDifference, std::move(p), Chain(fnSum, std::move(minus)));
}

// base ^ e for a factor entry: base when e is 1, else a power node.
NodePtr PowerOf(NodePtr base, NodePtr exponent)
{
    const bool numeric = IsConst(exponent.get());
    if (numeric && ConstOf(exponent.get()) == 1.0) return base;
    NodePtr p = Make(fnPower, std::move(base), std::move(exponent));
    if (numeric) TFnTree::OptimizeOperator195(p.get());  // u ^ 0 is 1
    return p;
}

}  // namespace

void TFnTree::Optimize()
{
    for (int pass = 0; pass < 4 && root; ++pass) {
        const TFnTree before(*this);
        Optimize(root.get());
        if (Equal(before.root.get(), root.get())) break;
    }
}

void TFnTree::Optimize(TFnNode* node)
{
    ProcessPendingMessages();
    if (!node) return;
    const int type = node->type;
    if (type == fnSum || type == fnDifference) {
        OptimizePass(node);
    } else if (type == fnProduct || type == fnQuotient) {
        CollectTerms(node);
    } else if (type == fnPower) {
        OptimizePowerChain(node);
    } else if (type >= 60 && type < 100) {
        Optimize(node->left.get());
        Optimize(node->right.get());
    } else if (type >= 0 && type < 60 && node->left) {
        Optimize(node->left.get());
        TFnNode* u = node->left.get();
        if (CancelsInverse(type, u->type) && u->left) {
            NodePtr inner = std::move(u->left);
            Replace(node, std::move(inner));
        } else if (IsConst(u)) {
            VisitValue(node);
            const double v = node->value;
            node->left.reset();
            SetReal(node, v);
        }
    }
}

void TFnTree::OptimizePass(TFnNode* node)
{
    ProcessPendingMessages();
    std::vector<std::pair<NodePtr, int>> operands;
    CollectSumOperands(TakeChain(node), 1, operands);

    NodePtr constant = Constant(0.0);
    std::vector<TFnSetNode> set;
    for (auto& [term, sign] : operands) OptimizeHiSort(std::move(term), sign, constant.get(), set);
    std::erase_if(set, [](const TFnSetNode& e) { return ConstOf(e.value.get()) == 0.0; });
    Replace(node, BuildSum(std::move(constant), set));
}

void TFnTree::OptimizeHiSort(std::unique_ptr<TFnNode> term, int sign, TFnNode* constant,
                             std::vector<TFnSetNode>& set)
{
    if (IsConst(term.get())) {
        if (sign < 0) Negate(term.get());
        SetValue199(constant, term.get());
        return;
    }
    const int type = term->type;
    const bool known = (type >= 0 && type < 100) || type == fnPower || type == fnProduct ||
                       type == fnQuotient || type == fnParam || type == fnX || type == fnY ||
                       type == fnZ;
    if (!known) {
        ShowMessage(" TFnTree/OptimizeHiSort");
        ThrowErrorCode(-5, "TFnTree/OptimizeHiSort>>node->type");
    }
    NodePtr coefficient = Constant(1.0);
    if (type == fnProduct && IsConst(term->left.get())) {
        SetValue(coefficient.get(), term->left.get());
        NodePtr rest = std::move(term->right);
        term = std::move(rest);
        term->parent = nullptr;
    }
    if (sign < 0) Negate(coefficient.get());
    if (IsAddSub(term.get()) && std::fabs(ConstOf(coefficient.get())) == 1.0) {
        // (-1) · (a + b) enters as -a - b.
        std::vector<std::pair<NodePtr, int>> parts;
        CollectSumOperands(std::move(term), ConstOf(coefficient.get()) > 0.0 ? 1 : -1, parts);
        for (auto& [part, s] : parts) OptimizeHiSort(std::move(part), s, constant, set);
        return;
    }
    Enter(set, std::move(term), std::move(coefficient));
}

void TFnTree::CollectTerms(TFnNode* node)
{
    ProcessPendingMessages();
    std::vector<std::pair<NodePtr, int>> operands;
    CollectProductOperands(TakeChain(node), 1, operands);

    NodePtr constant = Constant(1.0);
    std::vector<TFnSetNode> set;
    for (auto& [factor, sign] : operands)
        OptimizeMeSort(std::move(factor), sign, constant.get(), set);
    // Exponents with a non-constant part are summed and simplified now; one that
    // folds to a constant becomes numeric, and a constant base with it is folded.
    for (TFnSetNode& e : set) {
        if (!e.exponentNode) continue;
        NodePtr sum = ConstOf(e.value.get()) == 0.0
                          ? std::move(e.exponentNode)
                          : Make(fnSum, std::move(e.value), std::move(e.exponentNode));
        NodePtr holder =
            Make(fnSum, std::move(sum), Constant(0.0));  // a chain the sum pass takes whole
        Optimize(holder.get());
        if (!IsConst(holder.get())) {
            e.value = Constant(0.0);
            e.exponentNode = std::move(holder);
            continue;
        }
        e.value = std::move(holder);
        if (IsConst(e.node.get())) {
            NodePtr p = Make(fnPower, std::move(e.node), std::move(e.value));
            OptimizeOperator195(p.get());
            SetReal(constant.get(), ConstOf(constant.get()) * ConstOf(p.get()));
            e.value = Constant(0.0);
        }
    }
    std::erase_if(
        set, [](const TFnSetNode& e) { return !e.exponentNode && ConstOf(e.value.get()) == 0.0; });

    // A merged exponent of 1 or -1 leaves a product as a factor: collect again.
    const bool again = std::any_of(set.begin(), set.end(), [](const TFnSetNode& e) {
        return IsMulDiv(e.node.get()) && !e.exponentNode &&
               std::fabs(ConstOf(e.value.get())) == 1.0;
    });
    Replace(node, BuildProduct(std::move(constant), set));
    if (again && IsMulDiv(node)) {
        CollectTerms(node);
        return;
    }
    if (!IsMulDiv(node)) return;
    // Products of sums multiplied out, unless that leaves a larger tree.
    NodePtr expanded = ExpandProducts(node);
    if (expanded && NodeCount(expanded.get()) <= NodeCount(node))
        Replace(node, std::move(expanded));
}

std::unique_ptr<TFnNode> TFnTree::ExpandProducts(const TFnNode* node)
{
    // The factors of the (already simplified) product; the sums among the
    // factors (not the divisors) are multiplied out.
    std::vector<std::pair<NodePtr, int>> factors;
    CollectProductOperands(CopyOf(node), 1, factors);
    std::vector<std::vector<std::pair<NodePtr, int>>> sums;
    std::vector<NodePtr> others;
    std::size_t count = 1;
    for (auto& [f, sign] : factors) {
        if (sign > 0 && IsAddSub(f.get())) {
            sums.emplace_back();
            CollectSumOperands(std::move(f), 1, sums.back());
            count *= sums.back().size();
        } else {
            others.push_back(sign > 0 ? std::move(f) : Make(fnPower, std::move(f), Constant(-1.0)));
        }
    }
    constexpr std::size_t MaxExpandedTerms = 64;
    if (sums.empty() || count > MaxExpandedTerms) return nullptr;
    // Every choice of one term from each sum gives one product.
    std::vector<NodePtr> terms;
    std::vector<std::size_t> pick(sums.size(), 0);
    for (std::size_t n = 0; n < count; ++n) {
        int sign = 1;
        std::vector<NodePtr> parts;
        for (const NodePtr& o : others) parts.push_back(CopyOf(o.get()));
        for (std::size_t k = 0; k < sums.size(); ++k) {
            const auto& [term, s] = sums[k][pick[k]];
            sign *= s;
            parts.push_back(CopyOf(term.get()));
        }
        if (sign < 0) parts.push_back(Constant(-1.0));
        terms.push_back(Chain(fnProduct, std::move(parts)));
        for (std::size_t k = 0; k < sums.size() && ++pick[k] == sums[k].size(); ++k) pick[k] = 0;
    }
    NodePtr sum = Make(fnSum, Chain(fnSum, std::move(terms)), Constant(0.0));
    OptimizePass(sum.get());
    return sum;
}

void TFnTree::OptimizeMeSort(std::unique_ptr<TFnNode> factor, int sign, TFnNode* constant,
                             std::vector<TFnSetNode>& set)
{
    const int type = factor->type;
    if (IsConst(factor.get())) {
        if (sign > 0) {
            if (type == fnInt)
                MulInt(constant, factor->intValue);
            else
                MulReal(constant, factor->realValue);
        } else {
            if (ConstOf(factor.get()) == 0.0) ThrowErrorCode(-3, "OptimizeOperator/</>");
            const double v = (constant->type == fnInt ? constant->intValue : constant->realValue) /
                             ConstOf(factor.get());
            SetReal(constant, v);
        }
        return;
    }
    if (type == fnProduct) ShowMessage("node == 197 in OptimizeMeSort");
    const bool base = (type >= 0 && type < 100) || type == fnSum || type == fnDifference ||
                      type == fnParam || type == fnX || type == fnY || type == fnZ;
    if (type == fnPower) {
        NodePtr u = std::move(factor->left), v = std::move(factor->right);
        u->parent = v->parent = nullptr;
        if (IsConst(v.get())) {
            if (sign < 0) Negate(v.get());
            Enter(set, std::move(u), std::move(v));
        } else {
            if (sign < 0) v = Make(fnProduct, Constant(-1.0), std::move(v));
            Enter(set, std::move(u), Constant(0.0), std::move(v));
        }
        return;
    }
    if (!base) {
        ShowMessage(std::to_string(type) + " TFnTree/OptimizeMeSort");
        ThrowErrorCode(-5, "TFnTree/OptimizeMeSort>>node->type");
    }
    Enter(set, std::move(factor), Constant(sign));
}

std::unique_ptr<TFnNode> TFnTree::BuildPowerFactor(TFnSetNode& entry)
{
    NodePtr exponent = entry.exponentNode ? std::move(entry.exponentNode) : std::move(entry.value);
    return PowerOf(std::move(entry.node), std::move(exponent));
}

std::unique_ptr<TFnNode> TFnTree::BuildProduct(std::unique_ptr<TFnNode> constant,
                                               std::vector<TFnSetNode>& set)
{
    const double c = ConstOf(constant.get());
    if (c == 0.0) return Constant(0.0);
    const bool anyNumerator = std::any_of(set.begin(), set.end(), [](const TFnSetNode& e) {
        return e.exponentNode || ConstOf(e.value.get()) > 0.0;
    });
    // Factors with a negative exponent form a divisor. With nothing else above
    // the divisor, the first of them with an exponent other than -1 keeps its
    // negative exponent and stands above the others (one node less than 1 / d).
    const TFnSetNode* kept = nullptr;
    if (!anyNumerator && c == 1.0) {
        for (const TFnSetNode& e : set)
            if (!e.exponentNode && ConstOf(e.value.get()) != -1.0) {
                kept = &e;
                break;
            }
    }
    std::vector<NodePtr> numerator, denominator;
    for (TFnSetNode& e : set) {
        if (&e != kept && !e.exponentNode && ConstOf(e.value.get()) < 0.0) {
            Negate(e.value.get());
            denominator.push_back(BuildPowerFactor(e));
        } else {
            numerator.push_back(BuildPowerFactor(e));
        }
    }
    NodePtr num = Chain(fnProduct, std::move(numerator));
    NodePtr den = Chain(fnProduct, std::move(denominator));
    if (den) {
        // c / d, c · (n / d), or n / d.
        if (!num) return Make(fnQuotient, std::move(constant), std::move(den));
        NodePtr q = Make(fnQuotient, std::move(num), std::move(den));
        return c == 1.0 ? std::move(q) : Make(fnProduct, std::move(constant), std::move(q));
    }
    if (!num) return constant;
    return c == 1.0 ? std::move(num) : Make(fnProduct, std::move(constant), std::move(num));
}

void TFnTree::OptimizePowerChain(TFnNode* node)
{
    ProcessPendingMessages();
    Optimize(node->left.get());
    Optimize(node->right.get());
    // (a · b / c) ^ (-1) is c / (a · b).
    if (IsMulDiv(node->left.get()) && node->right->type == fnInt && node->right->intValue == -1) {
        Replace(node, Make(fnQuotient, Constant(1.0), std::move(node->left)));
        CollectTerms(node);
        return;
    }
    // (a ^ b) ^ c is a ^ (b · c) for an integral c, wherever a ^ b can be evaluated.
    TFnNode* inner = node->left.get();
    TFnNode* c = node->right.get();
    if (inner->type == fnPower && c->type == fnInt) {
        NodePtr a = std::move(inner->left), b = std::move(inner->right);
        NodePtr cc = std::move(node->right);
        NodePtr e = Make(fnProduct, std::move(b), std::move(cc));
        Optimize(e.get());
        Replace(node, Make(fnPower, std::move(a), std::move(e)));
        OptimizePowerChain(node);
        return;
    }
    OptimizeOperator195(node);
}
