// Expression trees: the infix printer, in the notation the parser reads, with
// parentheses only where precedence needs them. The text is built bottom-up in
// the nodes' own text fields.
#include "foundation/fntree.h"
#include "foundation/numtext.h"

namespace {

bool IsAddSub(const TFnNode* n)
{
    return n && (n->type == fnSum || n->type == fnDifference);
}
bool IsMulDiv(const TFnNode* n)
{
    return n && (n->type == fnProduct || n->type == fnQuotient);
}
bool IsOperator(const TFnNode* n)
{
    return n && n->type >= fnPower && n->type <= fnSum;
}

std::string Wrap(const std::string& s, bool parenthesise)
{
    return parenthesise ? "(" + s + ")" : s;
}

std::string ParamText(int k)
{
    const TParamSetNode* entry = GlobalParams.Find(k);
    if (entry && !entry->name.empty()) return entry->name;
    return "Param[" + std::to_string(k) + "]";  // reads back as the same parameter
}

}  // namespace

void TFnTree::BuildText(const TFnNode* node)
{
    if (!node) return;
    const TFnNode* l = node->left.get();
    const TFnNode* r = node->right.get();
    if (l) BuildText(l);
    if (r) BuildText(r);
    const std::string L = l ? l->text : std::string();
    const std::string R = r ? r->text : std::string();
    const int type = node->type;
    if (type >= 0 && type < 60) {
        node->text = FunctionNames[static_cast<std::size_t>(type)] + "(" + L + ")";
    } else if (type >= 60 && type < 100) {
        node->text = FunctionNames[static_cast<std::size_t>(type)] + "(" + L + ", " + R + ")";
    } else {
        switch (type) {
        case fnX: node->text = "x"; break;
        case fnY: node->text = "y"; break;
        case fnZ: node->text = "z"; break;
        case fnParam: node->text = ParamText(node->intValue); break;
        case fnInt: node->text = Wrap(std::to_string(node->intValue), node->intValue < 0); break;
        case fnReal:
            node->text = Wrap(FloatToStr(node->realValue, '.'), node->realValue < 0.0);
            break;
        // A right operand of the same precedence is enclosed, so that the text
        // parses back to the same tree (the parser associates to the left).
        case fnSum: node->text = L + " + " + Wrap(R, IsAddSub(r)); break;
        case fnDifference: node->text = L + " - " + Wrap(R, IsAddSub(r)); break;
        case fnProduct:
            node->text = Wrap(L, IsAddSub(l)) + " * " + Wrap(R, IsAddSub(r) || IsMulDiv(r));
            break;
        case fnQuotient: node->text = Wrap(L, IsAddSub(l)) + " / " + Wrap(R, IsOperator(r)); break;
        case fnPower: node->text = Wrap(L, IsOperator(l)) + "^" + Wrap(R, IsOperator(r)); break;
        default: break;  // the node's text stays as it is
        }
    }
    if (l) l->text.clear();
    if (r) r->text.clear();
}

std::string TFnTree::ToString(const TFnNode* node)
{
    if (!node) return "Empty";
    BuildText(node);
    return node->text;
}
