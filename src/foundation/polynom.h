// Sparse polynomials in one variable x with real coefficients.
#pragma once

#include <vector>

// One term c x^n of a polynomial.
struct TPlNode {
    int exponent = 0;
    double coefficient = 0.0;
};

// A polynomial held as its terms in strictly increasing order of exponent.
// A term never enters with coefficient 0, but a term whose coefficient has
// summed to 0 stays.
class TPolynom {
public:
    TPolynom() = default;
    // The single term coefficient x^exponent (empty when the coefficient is 0).
    TPolynom(int exponent, double coefficient);

    // Adds the term c x^n.
    void Add(int n, double c);
    // The term of exponent n, or null. The pointer lives until the next Add.
    const TPlNode* Find(int n) const;

    int Count() const { return static_cast<int>(terms_.size()); }
    // The terms from the lowest exponent to the highest.
    const std::vector<TPlNode>& Terms() const { return terms_; }

private:
    std::vector<TPlNode> terms_;
};

// p minus the constant c.
TPolynom operator-(const TPolynom& p, double c);

// The polynomial x.
inline const TPolynom UnitX(1, 1.0);
