// The record of one constituent: charge forms with their pK values and limiting
// mobilities, its initial distribution along the capillary, chart colour and
// micelle-binding constants.
//
// Owned arrays keep the classic index bases:
//   - charge-form rows (`pKa[row]`, `u[row]`): maxCharge - minCharge + 1 doubles,
//     position k = charge - minCharge (the neutral position exists, never read);
//     rows 1..zones when the values vary per segment, else row 1 only; row 0 is an
//     empty placeholder. An empty row is a row that was never allocated.
//   - `c_grad`, `ratio`: zones + 1 doubles, values at 1..zones (only with gradient).
//   - `table`: tableCount + 1 doubles, value k belongs to node k - 1.
// An empty outer vector stands for an array that does not exist.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Largest charge magnitude and segment count of a constituent: what the
// constituent editor, the protein builder and the ampholines wizard make, and
// what the composition and database readers take (checked before anything is
// allocated for the charge forms). Large proteins carry a few hundred acidic
// or basic groups (serum albumin about 120, immunoglobulins about 200).
inline constexpr int kMaxChargeMagnitude = 500;
inline constexpr int kMaxZones = 1000;

class TComponents {
public:
    using Row = std::vector<double>;
    using RowTable = std::vector<Row>;

    bool gradient = false;  // laid out in segments along the capillary
    bool gradPKa = false;   // with gradient: pK values per segment
    bool gradU = false;     // with gradient: mobilities per segment
    int zones = 0;          // number of segments
    int mode = 0;           // segmentation mode 0..5
    std::string name;
    int minCharge = 0;           // <= 0
    int maxCharge = 0;           // >= 0
    int colour = 0;              // chart colour (0x00BBGGRR)
    double c = 0.0;              // mM, outside the injection zone
    double cInj = 0.0;           // mM, in the injection zone
    std::uint8_t type = 0;       // 0 Analyte, 1 BGE, 2 Leading, 3 Terminating
    RowTable pKa;                // [row][charge - minCharge]
    RowTable u;                  // [row][charge - minCharge], 1e-9 m2/(V.s)
    std::vector<double> c_grad;  // [1..zones], mM
    std::vector<double> ratio;   // [1..zones]
    double uMicA = 40.0;         // 1e-9 m2/(V.s)
    double pKMicA = 30.0;        // >= 30 means no binding
    std::vector<double> table;   // [1..tableCount], value k for node k-1
    int tableCount = 0;

    TComponents() = default;
    TComponents(const TComponents& other);
    TComponents(TComponents&& other) noexcept = default;
    ~TComponents();
    TComponents& operator=(const TComponents& other);
    TComponents& operator=(TComponents&& other) noexcept = default;

    // Back to the empty record; `mode` and `type` keep their values.
    void Clear();
    // Releases pKa, u, c_grad, ratio and table, warning about inconsistent shapes.
    void FreeArrays();

    // Number of charge positions of a row (maxCharge - minCharge + 1).
    int FormCount() const { return maxCharge - minCharge + 1; }
    // Rows that pKa / u hold under the current flags (zones or 1).
    int PKaRows() const { return gradient && gradPKa ? zones : 1; }
    int URows() const { return gradient && gradU ? zones : 1; }
    // Mode that follows from the three flags (1..5).
    int ModeFromFlags() const;

    // Helpers for producers: allocate arrays in the layout above, zero-filled.
    void AllocChargeRows();      // pKa and u for the current flags, zones and charges
    void AllocSegments();        // c_grad and ratio for the current zones
    void AllocTable(int count);  // table with `count` values; sets tableCount

    // Reading helpers tolerant of missing rows and positions (0 when absent).
    double PKaOf(int row, int charge) const;
    double UOf(int row, int charge) const;

    // A one-segment record with the charges minCharge..maxCharge; pKa and u
    // (1e-9 m2/(V.s)) list the charge positions from minCharge up, the neutral
    // one included (its entries are not used); missing entries stay 0.
    static TComponents Uniform(const std::string& name, int minCharge, int maxCharge,
                               const std::vector<double>& pKa, const std::vector<double>& u,
                               int type, double c, double cInj, int colour = 0);
};
