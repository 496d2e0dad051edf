// Expression trees: real-valued expressions of x, y, z and named parameters,
// held as trees of nodes with at most two operands. Built from constants,
// polynomials and the arithmetic operators (which fold constants as they go),
// parsed from infix text, evaluated and printed back as infix text.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "foundation/paramset.h"
#include "foundation/polynom.h"

// Node type codes. 0..59 are the one-operand functions, 60..99 the
// two-operand functions.
enum FnNodeTypes : int {
    fnExp = 0,
    fnLn = 1,
    fnSin = 2,
    fnCos = 3,
    fnTg = 4,
    fnCotg = 5,
    fnArcsin = 6,
    fnArccos = 7,
    fnArctg = 8,
    fnArccotg = 9,
    fnSinh = 10,
    fnCosh = 11,
    fnTgh = 12,
    fnCotgh = 13,
    fnArgsinh = 14,
    fnArgcosh = 15,
    fnArgtgh = 16,
    fnArgcotgh = 17,
    fnSign = 18,
    fnAbs = 19,
    fnErf = 20,
    fnErfc = 21,
    fnLog = 60,     // left = base, right = argument
    fnPower = 195,  // left ^ right
    fnQuotient = 196,
    fnProduct = 197,
    fnDifference = 198,
    fnSum = 199,
    fnReal = 239,   // realValue
    fnInt = 240,    // intValue
    fnParam = 249,  // intValue = index in GlobalParams
    fnZ = 253,
    fnY = 254,
    fnX = 255,
};

struct TFnNode {
    int type = -1;               // -1: not yet given a type
    double realValue = 0.0;      // constant of a real-constant node
    int intValue = 0;            // constant of an integer node, index of a parameter node
    mutable std::string text;    // scratch text of the printer
    mutable double value = 0.0;  // result of the last evaluation
    std::unique_ptr<TFnNode> left;
    std::unique_ptr<TFnNode> right;
    TFnNode* parent = nullptr;  // not owned; null at a root
};

// Function names by type code: 0..21 and 60 ("Log"); every other entry is empty.
extern const std::array<std::string, 100> FunctionNames;

// 0 at program start; nothing in the program changes it.
extern std::uint8_t OptimizeFlag;

// One entry of a term set (coefficient * node) or of a factor set
// (node ^ (value + exponentNode)) of the optimiser.
struct TFnSetNode {
    std::unique_ptr<TFnNode> value;         // constant: coefficient or numeric exponent
    std::unique_ptr<TFnNode> node;          // the term or the base
    std::unique_ptr<TFnNode> exponentNode;  // a non-constant exponent; null when only numeric
};

class TFnTree {
public:
    std::unique_ptr<TFnNode> root;  // null: the empty tree

    TFnTree() = default;
    // A constant: an integer node when c is integral and |c| <= 2147483647, else a real node.
    explicit TFnTree(double c);
    // The sum of the terms of p, nested to the right; the integer 0 for an empty p.
    explicit TFnTree(const TPolynom& p);
    TFnTree(const TFnTree& other);
    TFnTree(TFnTree&& other) noexcept = default;
    ~TFnTree() = default;
    TFnTree& operator=(const TFnTree& other);
    TFnTree& operator=(TFnTree&& other) noexcept = default;

    // New trees a + b, a * b, a / b with the operator's folding rules applied to
    // the new node. Both operands must be non-empty.
    friend TFnTree operator+(TFnTree a, TFnTree b);
    friend TFnTree operator*(TFnTree a, TFnTree b);
    friend TFnTree operator/(TFnTree a, TFnTree b);
    // Erf(a).
    static TFnTree Erf(TFnTree a);

    bool Empty() const { return !root; }

    // Evaluation. Value(x) sets x (parameter 1) for the evaluation; Value(index, v)
    // sets parameter `index` of GlobalParams. The parameter is restored afterwards,
    // also when the evaluation raises. An empty tree gives 0.
    double Value(double x) const;
    double Value(int index, double v) const;
    static double Eval(const TFnNode* root, int index, double v);
    // Evaluates the operands, then the node; stores the result in `value`.
    static void VisitValue(const TFnNode* node);

    // Infix text ("Empty" for an empty tree).
    std::string ToString() const { return ToString(root.get()); }
    static std::string ToString(const TFnNode* node);
    // Builds the text of the subtree into node->text.
    static void BuildText(const TFnNode* node);

    // Replaces the tree by the parsed text; on failure the tree becomes the
    // integer constant 0 and the result is false.
    bool FromText(const std::string& text);
    static bool ReadAS(std::string text, TFnNode* node);
    // Index of a parameter (from 4 on) named `name`, or the k of "Param[k]"; 0 for none.
    static int ParamIndex(const std::string& name);

    // A node of that type whose parent is `parent` (not linked into the parent).
    static std::unique_ptr<TFnNode> NewNode(int type, TFnNode* parent);
    // Structural equality; sums and products match with either operand order.
    static bool Equal(const TFnNode* a, const TFnNode* b);
    // Strict order: true when a orders after b.
    static bool Compare(const TFnNode* a, const TFnNode* b);

    // Constants and the local simplification rules.
    static void SetInt(TFnNode* node, int n);
    static void SetReal(TFnNode* node, double r);
    static void SetValue(TFnNode* target, const TFnNode* source);
    static void SetValue199(TFnNode* target, const TFnNode* source);
    static void AddInt(TFnNode* node, int n);
    static void AddReal(TFnNode* node, double r);
    static void MulInt(TFnNode* node, int n);
    static void MulReal(TFnNode* node, double r);
    static void OptimizeOperator199(TFnNode* node);
    static void OptimizeOperator197(TFnNode* node);
    static void OptimizeOperator196(TFnNode* node);
    static void OptimizeOperator195(TFnNode* node);

    // The optimiser: simplifies the subtree in place into a canonical form
    // (constants folded, inverse functions cancelled, equal terms and factors
    // merged and ordered). Domain errors of folded constants raise.
    // The whole tree, repeated until a pass changes nothing (a few passes at most).
    void Optimize();
    static void Optimize(TFnNode* node);
    // A chain of sums and differences whose top is the node.
    static void OptimizePass(TFnNode* node);
    // Enters one term (with sign +1 or -1) into the constant and the term set.
    static void OptimizeHiSort(std::unique_ptr<TFnNode> term, int sign, TFnNode* constant,
                               std::vector<TFnSetNode>& set);
    // A chain of products and quotients whose top is the node.
    static void CollectTerms(TFnNode* node);
    // Enters one factor (+1) or divisor (-1) into the constant and the factor set.
    static void OptimizeMeSort(std::unique_ptr<TFnNode> factor, int sign, TFnNode* constant,
                               std::vector<TFnSetNode>& set);
    // The product (already simplified) with its sums multiplied out and the
    // result simplified; null when it has no sum factor or too many terms would result.
    static std::unique_ptr<TFnNode> ExpandProducts(const TFnNode* node);
    // The power node of a factor entry (its base alone for an exponent 1).
    static std::unique_ptr<TFnNode> BuildPowerFactor(TFnSetNode& entry);
    // The canonical product of a constant and a factor set.
    static std::unique_ptr<TFnNode> BuildProduct(std::unique_ptr<TFnNode> constant,
                                                 std::vector<TFnSetNode>& set);
    // A power node and nested powers.
    static void OptimizePowerChain(TFnNode* node);
};

// Deep copy of the source subtree into target (type, constants and operands;
// the target keeps its text, value and parent).
void CopyTree(const TFnNode* source, TFnNode* target);
// Moves the source's type, constants and operands into target; the source keeps no operands.
void MoveTree(TFnNode* source, TFnNode* target);

// Text routines of the parser. Positions are 1-based; 0 means none, -1 malformed.
void StripSpaces(std::string& text);
void StripOuterParentheses(std::string& text);
int FindAddSubSplit(const std::string& text);
int FindMulDivSplit(const std::string& text);
int FindPowerSplit(const std::string& text);
int FindArgumentComma(const std::string& text);

// a^n by repeated squaring (at most about 2 log2|n| products), accumulated in
// extended precision; a negative n gives the reciprocal.
double IntegerPower(double a, long long n);

// The smoothed staircase of the initial profiles,
//   levels[0] + sum over m of (1 + Erf((x - boundaries[m]) / scale)) * (levels[m+1] - levels[m]) *
//   0.5,
// built from constant trees, the polynomial x - boundaries[m] and the tree
// operators, in that order, so that its constants fold like any operator-built
// tree. `boundaries` holds one entry less than `levels`.
TFnTree ErfStepTree(std::span<const double> levels, std::span<const double> boundaries,
                    double scale);
