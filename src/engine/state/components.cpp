#include "engine/state/components.h"

#include "foundation/errors.h"

namespace {

// Copies rows 1..rows of a charge-form table as they stand (row widths kept,
// missing rows stay missing); an absent table stays absent.
TComponents::RowTable CopyRows(const TComponents::RowTable& src, int rows)
{
    TComponents::RowTable out;
    if (src.empty()) return out;
    if (rows < 1) rows = 1;
    out.resize(static_cast<std::size_t>(rows) + 1);
    for (int r = 1; r <= rows && static_cast<std::size_t>(r) < src.size(); ++r) out[r] = src[r];
    return out;
}

double RowValue(const TComponents::RowTable& t, int row, int pos)
{
    if (row < 0 || static_cast<std::size_t>(row) >= t.size()) return 0.0;
    const auto& r = t[row];
    if (pos < 0 || static_cast<std::size_t>(pos) >= r.size()) return 0.0;
    return r[pos];
}

}  // namespace

TComponents::TComponents(const TComponents& o)
    : gradient(o.gradient),
      gradPKa(o.gradPKa),
      gradU(o.gradU),
      zones(o.zones),
      mode(o.mode),
      name(o.name),
      minCharge(o.minCharge),
      maxCharge(o.maxCharge),
      colour(o.colour),
      c(o.c),
      cInj(o.cInj),
      type(o.type),
      uMicA(o.uMicA),
      pKMicA(o.pKMicA),
      tableCount(o.tableCount)
{
    c_grad = o.c_grad;
    ratio = o.ratio;
    pKa = CopyRows(o.pKa, o.PKaRows());
    u = CopyRows(o.u, o.URows());
    table = o.table;
}

TComponents::~TComponents()
{
    try {
        Clear();
    } catch (...) {
        // A warning box that fails must not escape a destructor.
    }
}

TComponents& TComponents::operator=(const TComponents& o)
{
    TComponents tmp(o);  // taken first, so self-assignment is harmless
    FreeArrays();
    mode = tmp.mode;
    name = tmp.name;
    c = tmp.c;
    cInj = tmp.cInj;
    colour = tmp.colour;
    minCharge = tmp.minCharge;
    maxCharge = tmp.maxCharge;
    type = tmp.type;
    zones = tmp.zones;
    gradient = tmp.gradient;
    gradPKa = tmp.gradPKa;
    gradU = tmp.gradU;
    uMicA = tmp.uMicA;
    pKMicA = tmp.pKMicA;
    tableCount = tmp.tableCount;
    c_grad = std::move(tmp.c_grad);
    ratio = std::move(tmp.ratio);
    pKa = std::move(tmp.pKa);
    u = std::move(tmp.u);
    table = std::move(tmp.table);
    tmp.c_grad.clear();
    tmp.ratio.clear();
    tmp.pKa.clear();
    tmp.u.clear();
    tmp.table.clear();
    return *this;
}

void TComponents::Clear()
{
    name.clear();
    c = 0.0;
    cInj = 0.0;
    colour = 0;
    minCharge = 0;
    maxCharge = 0;
    FreeArrays();
    zones = 0;
    gradient = false;
    gradPKa = false;
    gradU = false;
    uMicA = 40.0;
    pKMicA = 30.0;
    tableCount = 0;
}

void TComponents::FreeArrays()
{
    if (!c_grad.empty()) {
        if (!gradient) {
            ShowWarning("TComponents::~TComponents(): c_grad != NULL even gradient == false");
            return;
        }
        c_grad.clear();
        c_grad.shrink_to_fit();
    }
    if (!ratio.empty()) {
        if (!gradient) {
            ShowWarning("TComponents::~TComponents(): ratio != NULL even gradient == false");
            return;
        }
        ratio.clear();
        ratio.shrink_to_fit();
    }
    auto freeRows = [this](RowTable& t, bool perSegment, const char* what) {
        if (t.empty()) return;
        if (!perSegment) {
            if (t.size() < 2 || t[1].empty())
                ShowWarning(std::string("TComponents::~TComponents(): ") + what +
                            "[1] not allocated");
        } else {
            for (int r = 1; r <= zones; ++r) {
                if (static_cast<std::size_t>(r) >= t.size() || t[r].empty())
                    ShowWarning(std::string("TComponents::~TComponents(): ") + what + "[" +
                                std::to_string(r) + "] not allocated");
            }
        }
        t.clear();
        t.shrink_to_fit();
    };
    freeRows(pKa, gradient && gradPKa, "pKa");
    freeRows(u, gradient && gradU, "u");
    table.clear();
    table.shrink_to_fit();
}

int TComponents::ModeFromFlags() const
{
    if (!gradient) return 1;
    if (gradPKa && gradU) return 5;
    if (gradPKa) return 4;
    if (gradU) return 3;
    return 2;
}

void TComponents::AllocChargeRows()
{
    const std::size_t width = static_cast<std::size_t>(FormCount() > 0 ? FormCount() : 1);
    auto alloc = [width](RowTable& t, int rows) {
        if (rows < 1) rows = 1;
        t.assign(static_cast<std::size_t>(rows) + 1, Row());
        for (int r = 1; r <= rows; ++r) t[r].assign(width, 0.0);
    };
    alloc(pKa, PKaRows());
    alloc(u, URows());
}

void TComponents::AllocSegments()
{
    const std::size_t n = static_cast<std::size_t>(zones > 0 ? zones : 0) + 1;
    c_grad.assign(n, 0.0);
    ratio.assign(n, 0.0);
}

void TComponents::AllocTable(int count)
{
    if (count < 0) count = 0;
    tableCount = count;
    table.assign(static_cast<std::size_t>(count) + 1, 0.0);
}

double TComponents::PKaOf(int row, int charge) const
{
    return RowValue(pKa, row, charge - minCharge);
}
double TComponents::UOf(int row, int charge) const
{
    return RowValue(u, row, charge - minCharge);
}

TComponents TComponents::Uniform(const std::string& name, int minCharge, int maxCharge,
                                 const std::vector<double>& pKa, const std::vector<double>& u,
                                 int type, double c, double cInj, int colour)
{
    TComponents rec;
    rec.name = name;
    rec.minCharge = minCharge;
    rec.maxCharge = maxCharge;
    rec.type = static_cast<std::uint8_t>(type);
    rec.c = c;
    rec.cInj = cInj;
    rec.colour = colour;
    rec.AllocChargeRows();
    for (int k = 0; k < rec.FormCount(); ++k) {
        const auto uk = static_cast<std::size_t>(k);
        if (uk < pKa.size()) rec.pKa[1][k] = pKa[uk];
        if (uk < u.size()) rec.u[1][k] = u[uk];
    }
    rec.mode = rec.ModeFromFlags();
    return rec;
}
