#include "files/profile_export.h"

#include <filesystem>

#include "engine/state/run_state.h"
#include "files/chart_lines.h"
#include "foundation/binio.h"
#include "foundation/numtext.h"

namespace fs = std::filesystem;

std::string ExportFileName(const std::string& prefix, int index, const std::string& itemText)
{
    std::string text = itemText;
    for (char& c : text)
        if (c == '/' || c == '\\' || c == '\0') c = '_';
    return prefix + (index >= 0 && index < 10 ? "0" : "") + std::to_string(index) + " " + text +
           ".csv";
}

std::string ExportLine(double x, double y, char separator, char xDecimal, char yDecimal)
{
    std::string line = ShortestFloatText(x, xDecimal);
    line += separator;
    line += ShortestFloatText(y, yDecimal);
    line += "\r\n";
    return line;
}

std::string ExportText(const ChartLine& line, char separator, char xDecimal, char yDecimal)
{
    std::string text;
    for (int i = 0; i < line.Count(); ++i)
        text += ExportLine(line.X(i), line.Y(i), separator, xDecimal, yDecimal);
    return text;
}

std::string ResolveExportDir(const std::string& profileDir, const std::string& typed)
{
    const fs::path t(typed);
    return t.is_absolute() ? t.string() : (fs::path(profileDir) / t).string();
}

std::string ExportDirExistsQuestion(const std::string& typed)
{
    return "Directory " + typed + " already exists!\nContinue?";
}

std::string ExportDoneMessage(const std::string& profileDir, const std::string& typed)
{
    return "CSV files are successfully saved! \nDIR: " + ResolveExportDir(profileDir, typed);
}

namespace {

// Writes one file; false when it cannot be created.
bool WriteCurve(const std::string& path, const ChartSeries* series, const RunState& st,
                char separator, char xDecimal, char yDecimal)
{
    const std::string text =
        series ? ExportText(ChartLine(st, *series), separator, xDecimal, yDecimal) : "";
    return SaveFileAtomically(path, [&](BinWriter& out) {
        out.Bytes(text.data(), static_cast<std::int64_t>(text.size()));
    });
}

}  // namespace

ExportOutcome ExportAllProfiles(const RunState& st, const std::string& dir, char separator,
                                char decimalSeparator, bool regFnShown)
{
    ExportOutcome out;
    if (!st.Initialised || st.NComp == 0) return out;
    const RunSeries& s = st.Series;
    auto write = [&](const std::string& name, const ChartSeries* series, char xDec, char yDec) {
        const std::string path = (fs::path(dir) / name).string();
        if (!WriteCurve(path, series, st, separator, xDec, yDec)) {
            out.ok = false;
            out.failedFile = path;
            return false;
        }
        ++out.filesWritten;
        return true;
    };
    // An item without a series gets an empty file and ends its list.
    for (int i = 0; i < static_cast<int>(s.clbGraph.size()); ++i) {
        const ChartSeries* series = ProfileItemSeries(st, i);
        if (!write(ExportFileName("sim", i, s.clbGraph[i].text), series, decimalSeparator, '.'))
            return out;
        if (!series) break;
    }
    for (int i = 0; i < static_cast<int>(s.clbDet.size()); ++i) {
        const ChartSeries* series = DetectorItemSeries(st, i);
        if (!write(ExportFileName("det", i, s.clbDet[i].text), series, '.', '.')) return out;
        if (!series) break;
    }
    if (regFnShown)
        for (int i = 1; i <= 6; ++i)
            if (!write("REG FN " + std::to_string(i) + ".csv", &s.sr_reg[i], decimalSeparator, '.'))
                return out;
    return out;
}
