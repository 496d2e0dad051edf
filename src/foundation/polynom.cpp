#include "foundation/polynom.h"

#include <algorithm>

TPolynom::TPolynom(int exponent, double coefficient)
{
    Add(exponent, coefficient);
}

void TPolynom::Add(int n, double c)
{
    if (c == 0.0) return;
    auto it = std::lower_bound(terms_.begin(), terms_.end(), n,
                               [](const TPlNode& t, int e) { return t.exponent < e; });
    if (it != terms_.end() && it->exponent == n)
        it->coefficient += c;
    else
        terms_.insert(it, TPlNode{n, c});
}

const TPlNode* TPolynom::Find(int n) const
{
    auto it = std::lower_bound(terms_.begin(), terms_.end(), n,
                               [](const TPlNode& t, int e) { return t.exponent < e; });
    return (it != terms_.end() && it->exponent == n) ? &*it : nullptr;
}

TPolynom operator-(const TPolynom& p, double c)
{
    TPolynom result(p);
    result.Add(0, -c);
    return result;
}
