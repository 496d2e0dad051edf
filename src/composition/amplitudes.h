// The settings of the amplitudes window ("Aplitudes"): four numbers with their
// limits, the header of its table and its cursor rule.
#pragma once

#include <string>

struct AmplitudeSettings {
    int Digits = 5;         // 1..18
    double Zero = 1e-10;    // >= 0
    double ApplyInj = 1.0;  // >= -1
    double Uniform = 0.5;   // never changed by its edit

    // The edit texts as shown.
    std::string DigitsText() const;
    std::string ZeroText() const;
    std::string ApplyInjText() const;
    std::string UniformText() const;

    // Commits of the edits; unreadable text keeps the stored value.
    void EditDigits(const std::string& text);
    void EditZero(const std::string& text);
    void EditApplyInj(const std::string& text);
    void EditUniform(const std::string& text);
};

// Header cells of the table's row 0, columns 0..2.
inline constexpr const char* kAmpHeaders[3] = {"Name ", "c(BGE) ", "c(inj) "};

// Grid cursor after a click: column 2, and a row below rowCount - 4 (with at
// least five rows) moves up to rowCount - 4. Returns the new row.
int AmplitudeClickRow(int row, int rowCount);
inline constexpr int kAmpClickColumn = 2;
