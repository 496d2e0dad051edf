// TMatrix: a dense matrix of doubles with rows and columns numbered from 1.
//
// Elements are m[i][j], 1 <= i <= n(), 1 <= j <= m(); column 0 and row 0 exist,
// are zero at construction and are not used. Copies are deep. Assignment from a
// matrix of another size follows the target's `mode`: 0 resizes and warns, 1
// resizes silently, 2 refuses (code -7); the target then takes the source's mode.
#pragma once

#include <cstddef>
#include <vector>

class TMatrix {
public:
    // An s by s matrix of zeros in mode 1; s below 1 raises code -6.
    explicit TMatrix(int s);
    TMatrix(const TMatrix& source) = default;
    TMatrix& operator=(const TMatrix& source);
    ~TMatrix() = default;

    int n() const { return n_; }
    int m() const { return m_; }

    // Row i (columns 0..m()).
    double* operator[](int i)
    {
        return data_.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(m_ + 1);
    }
    const double* operator[](int i) const
    {
        return data_.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(m_ + 1);
    }

    // 0 resize and warn, 1 resize silently, 2 refuse a resizing assignment.
    int mode = 1;

private:
    int n_ = 0;
    int m_ = 0;
    std::vector<double> data_;  // (n + 1) x (m + 1), row-major
};
