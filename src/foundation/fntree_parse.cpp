// Expression trees: the infix parser. At every level it strips blanks and
// enclosing parentheses, splits the text at the operator that binds least
// (the rightmost one, so equal operators associate to the left) and parses the
// pieces; what cannot be split is a variable, a parameter, "PI", a function
// call or a number.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "foundation/errors.h"
#include "foundation/fntree.h"
#include "foundation/numtext.h"

namespace {

// Longer texts and deeper nesting are refused, so that parsing stays fast and
// the recursion shallow.
constexpr std::size_t MaxFormulaLength = 8192;
constexpr int MaxNesting = 256;

thread_local int nesting = 0;

struct NestingGuard {
    NestingGuard() { ++nesting; }
    ~NestingGuard() { --nesting; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Whether the '+' or '-' at 0-based position i is the sign of a decimal
// exponent ("1e-5", "2.5E+3") rather than an operator: it follows an 'e' or 'E'
// that ends a plain mantissa (digits with at most one decimal separator), the
// mantissa stands at the start of the text or after an operator or '(', and a
// digit follows.
bool IsExponentSign(const std::string& text, std::size_t i)
{
    if (i < 2 || i + 1 >= text.size()) return false;
    if (text[i - 1] != 'e' && text[i - 1] != 'E') return false;
    if (!IsDigit(text[i + 1])) return false;
    std::size_t j = i - 1;  // one past the mantissa's last character
    int digits = 0, separators = 0;
    while (j > 0) {
        const char c = text[j - 1];
        if (IsDigit(c))
            ++digits;
        else if (c == '.' || c == ',')
            ++separators;
        else
            break;
        --j;
    }
    if (digits == 0 || separators > 1) return false;
    if (j == 0) return true;
    const char before = text[j - 1];
    return before == '+' || before == '-' || before == '*' || before == '/' || before == '^' ||
           before == '(';
}

// The rightmost operator of `ops` outside parentheses (1-based), 0 for none, -1 when malformed.
int FindSplit(const std::string& text, const char* ops, bool skipExponentSigns)
{
    const std::size_t n = text.size();
    if (n <= 1) return 0;
    const char last = text[n - 1];
    if (last == '(' || last == '-' || last == '+' || last == '*' || last == '/' || last == '^')
        return -1;
    int depth = last == ')' ? 1 : 0;
    for (std::size_t k = n - 1; k-- > 0;) {
        const char c = text[k];
        if (depth == 0 &&
            std::char_traits<char>::find(ops, std::char_traits<char>::length(ops), c) &&
            !(skipExponentSigns && IsExponentSign(text, k)))
            return static_cast<int>(k + 1);
        if (c == ')')
            ++depth;
        else if (c == '(')
            --depth;
        if (depth < 0) return -1;
    }
    return 0;
}

bool ReadNumber(const std::string& text, TFnNode* node)
{
    double v = 0.0;
    if (!ReadDouble(text, v)) return false;
    TFnTree::SetReal(node, v);
    return true;
}

// Makes `type` a binary operator node over the pieces before and after the 1-based position p.
bool ReadBinary(const std::string& text, int p, int type, TFnNode* node)
{
    node->type = type;
    node->left = TFnTree::NewNode(-1, node);
    node->right = TFnTree::NewNode(-1, node);
    const auto pos = static_cast<std::size_t>(p);
    if (!TFnTree::ReadAS(text.substr(0, pos - 1), node->left.get())) return false;
    return TFnTree::ReadAS(text.substr(pos), node->right.get());
}

}  // namespace

void StripSpaces(std::string& text)
{
    std::erase(text, ' ');
}

void StripOuterParentheses(std::string& text)
{
    while (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
        int depth = 1;
        for (std::size_t i = 1; i + 1 < text.size(); ++i) {
            if (text[i] == ')')
                --depth;
            else if (text[i] == '(')
                ++depth;
            if (depth < 1) return;
        }
        text = text.substr(1, text.size() - 2);
    }
}

int FindAddSubSplit(const std::string& text)
{
    return FindSplit(text, "+-", true);
}

int FindMulDivSplit(const std::string& text)
{
    return FindSplit(text, "*/", false);
}

int FindPowerSplit(const std::string& text)
{
    return FindSplit(text, "^", false);
}

int FindArgumentComma(const std::string& text)
{
    const std::size_t n = text.size();
    if (n == 0) return -1;
    if (text[0] == ')' || text[0] == ',') return -1;
    int depth = text[0] == '(' ? 1 : 0;
    int commas = 0, position = 0;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const char c = text[i];
        if (c == ',' && depth == 0) {
            ++commas;
            position = static_cast<int>(i + 1);
        }
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        if (depth < 0) return -1;
    }
    if (text[n - 1] == '(')
        ++depth;
    else if (text[n - 1] == ')')
        --depth;
    if (depth < 1 && commas < 2) return commas == 1 ? position : 0;
    return -1;
}

int TFnTree::ParamIndex(const std::string& name)
{
    for (int i = 4; i <= GlobalParams.Count(); ++i)
        if (GlobalParams.Find(i)->name == name) return i;
    const std::size_t n = name.size();
    if (n < 8) return 0;
    if ((name.compare(0, 5, "Param") == 0 || name.compare(0, 5, "param") == 0) && name[5] == '[' &&
        name[n - 1] == ']') {
        double v = 0.0;
        if (!ReadDouble(name.substr(6, n - 7), v)) return 0;
        v = std::trunc(v);
        if (!(v >= 1.0 && v <= 2147483647.0)) return 0;  // not an index of any entry
        return static_cast<int>(v);
    }
    return 0;
}

bool TFnTree::ReadAS(std::string text, TFnNode* node)
{
    if (!node) ThrowErrorCode(-9, "ReadAS>>node == NULL");
    NestingGuard guard;
    if (nesting > MaxNesting) return false;
    if (text.empty()) return false;
    StripSpaces(text);
    StripOuterParentheses(text);
    if (text.empty()) return false;

    int p = FindAddSubSplit(text);
    if (p < 0) return false;
    if (p == 1) {
        if (text[0] == '+') return ReadAS(text.substr(1), node);  // a leading '+' changes nothing
        // A signed number is the negative constant, as the printer writes it: "(-2.5)".
        if (ReadNumber(text, node)) return true;
        node->type = fnProduct;
        node->left = NewNode(-1, node);
        SetInt(node->left.get(), -1);
        node->right = NewNode(-1, node);
        return ReadAS(text.substr(1), node->right.get());
    }
    if (p > 1) {
        const char before = text[static_cast<std::size_t>(p) - 2];
        if ((before == 'e' || before == 'E') && ReadNumber(text, node)) return true;
        return ReadBinary(
            text, p, text[static_cast<std::size_t>(p) - 1] == '+' ? fnSum : fnDifference, node);
    }

    p = FindMulDivSplit(text);
    if (p < 0) return false;
    if (p > 1)
        return ReadBinary(
            text, p, text[static_cast<std::size_t>(p) - 1] == '*' ? fnProduct : fnQuotient, node);

    p = FindPowerSplit(text);
    if (p < 0) return false;
    if (p > 1) return ReadBinary(text, p, fnPower, node);

    if (text == "x" || text == "X" || text == "x()" || text == "X()") {
        node->type = fnX;
        return true;
    }
    if (text == "y" || text == "Y" || text == "y()" || text == "Y()") {
        node->type = fnY;
        return true;
    }
    if (text == "z" || text == "Z" || text == "z()" || text == "Z()") {
        node->type = fnZ;
        return true;
    }
    if (const int k = ParamIndex(text); k > 0) {
        node->type = fnParam;
        node->intValue = k;
        node->realValue = 0.0;
        return true;
    }
    if (text == "PI") {
        node->type = fnReal;
        node->realValue = 3.141592653589793;
        node->intValue = 0;
        return true;
    }

    // Function call: Name(argument), or Namex for Name(x).
    std::string name, argument;
    bool call = false;
    if (text.back() == ')') {
        const std::size_t open = text.find('(');
        if (open == std::string::npos) return false;  // a ')' that nothing opened
        name = text.substr(0, open);
        argument = text.substr(open + 1, text.size() - open - 2);
        call = true;
    } else if (text.back() == 'x' || text.back() == 'X') {
        name = text.substr(0, text.size() - 1);
        argument = text.substr(text.size() - 1);
        call = true;
    }
    if (!call) return ReadNumber(text, node);

    StripOuterParentheses(argument);
    for (std::size_t i = 0; i < 60 && !FunctionNames[i].empty(); ++i) {
        if (name == FunctionNames[i]) {
            node->type = static_cast<int>(i);
            node->left = NewNode(-1, node);
            return ReadAS(argument, node->left.get());
        }
    }
    for (std::size_t i = 60; i < FunctionNames.size() && !FunctionNames[i].empty(); ++i) {
        if (name == FunctionNames[i]) {
            node->type = static_cast<int>(i);
            const int c = FindArgumentComma(argument);
            if (c <= 0) return false;
            node->left = NewNode(-1, node);
            node->right = NewNode(-1, node);
            const auto pos = static_cast<std::size_t>(c);
            if (!ReadAS(argument.substr(0, pos - 1), node->left.get())) return false;
            return ReadAS(argument.substr(pos), node->right.get());
        }
    }
    return false;
}

bool TFnTree::FromText(const std::string& text)
{
    root = NewNode(-1, nullptr);
    bool ok = false;
    // The limit counts the characters that are read (spaces are dropped).
    const auto spaces = static_cast<std::size_t>(std::count(text.begin(), text.end(), ' '));
    if (text.size() - spaces <= MaxFormulaLength) ok = ReadAS(text, root.get());
    // The tree's printed text must parse again: it is held to the same length.
    if (ok) ok = ToString().size() <= MaxFormulaLength;
    if (!ok) {
        root = NewNode(-1, nullptr);
        SetInt(root.get(), 0);
        return false;
    }
    if (OptimizeFlag == 1) Optimize();
    return true;
}
