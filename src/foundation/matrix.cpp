#include "foundation/matrix.h"

#include "foundation/errors.h"

TMatrix::TMatrix(int s)
{
    if (s < 1) ThrowErrorCode(-6, "TMatrix::TMatrix(int)");
    n_ = m_ = s;
    data_.assign(static_cast<std::size_t>(s + 1) * static_cast<std::size_t>(s + 1), 0.0);
}

TMatrix& TMatrix::operator=(const TMatrix& source)
{
    if (this == &source) return *this;
    if (n_ == source.n_ && m_ == source.m_) {
        mode = source.mode;
        for (int i = 1; i <= n_; ++i)
            for (int j = 1; j <= m_; ++j) (*this)[i][j] = source[i][j];
        return *this;
    }
    if (mode == 2) ThrowErrorCode(-7, "TMatrix::operator=");
    data_ = source.data_;
    n_ = source.n_;
    m_ = source.m_;
    if (mode == 0) ShowWarning("ASSINGMENT OPERATION CHANGED TARGET MATRIX DIMENSIONS");
    mode = source.mode;
    return *this;
}
