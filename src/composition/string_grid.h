// A table of cell texts: the data behind an editable string grid of a window.
// Column and row 0 are the usual fixed header column and row.
#pragma once

#include <string>
#include <vector>

class StringGrid {
public:
    // Resizes to `cols` x `rows` with every cell empty.
    void Reset(int cols, int rows)
    {
        cols_ = cols > 0 ? cols : 0;
        rows_ = rows > 0 ? rows : 0;
        cells_.assign(static_cast<std::size_t>(cols_) * static_cast<std::size_t>(rows_),
                      std::string());
    }
    int ColCount() const { return cols_; }
    int RowCount() const { return rows_; }
    bool Has(int col, int row) const { return col >= 0 && row >= 0 && col < cols_ && row < rows_; }

    // The text of a cell; a cell outside the grid reads as empty and ignores writes.
    const std::string& Cell(int col, int row) const
    {
        static const std::string none;
        return Has(col, row) ? cells_[Index(col, row)] : none;
    }
    void SetCell(int col, int row, const std::string& text)
    {
        if (Has(col, row)) cells_[Index(col, row)] = text;
    }

private:
    std::size_t Index(int col, int row) const
    {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(cols_) +
               static_cast<std::size_t>(col);
    }
    int cols_ = 0;
    int rows_ = 0;
    std::vector<std::string> cells_;
};
