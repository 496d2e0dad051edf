#include "tools/chart_export.h"

#include <algorithm>
#include <filesystem>

#include "engine/step/run_series.h"
#include "files/chart_lines.h"
#include "files/profile_export.h"
#include "foundation/numtext.h"

namespace fs = std::filesystem;

std::string BmpCaption(const std::string& viewName)
{
    return "Save " + viewName + " to BMP";
}

bool BmpListMatches(int listCount, int compInitCount)
{
    return listCount == compInitCount + 2;
}

bool BmpListFitsRun(int listCount, int compInitCount, bool detector)
{
    if (detector) return BmpListMatches(listCount - 3, compInitCount);
    return BmpListMatches(listCount - 2, compInitCount) ||
           BmpListMatches(listCount - 11, compInitCount);
}

std::string BitmapFileName(const std::string& bmpDir, const std::string& typed,
                           const std::string& itemText)
{
    std::string name = itemText;
    for (char& c : name)
        if (c == '/' || c == '\0') c = '_';
    return (fs::path(ResolveExportDir(bmpDir, typed)) / (name + ".bmp")).string();
}

std::string BmpDoneMessage(const std::string& bmpDir, const std::string& typed)
{
    return "BMP files successfully saved! \nDIR: " + ResolveExportDir(bmpDir, typed);
}

std::string ClipboardText(const ChartLine& line, char decimalSeparator)
{
    std::string text;
    for (int i = 0; i < line.Count(); ++i) {
        if (i > 0) text += '\n';
        text += FloatToStr(line.X(i), decimalSeparator) + '\t' +
                FloatToStr(line.Y(i), decimalSeparator);
    }
    return text;
}

namespace {

template <class F>
void ForEachDetectorSeries(RunSeries& s, F f)
{
    for (ChartSeries* p : {&s.DET_pH, &s.DET_conductivity, &s.DET_volt, &s.DET_CDen, &s.DET_T})
        f(*p);
    for (std::size_t k = 1; k < s.srDetComp.size(); ++k) f(s.srDetComp[k]);
}

// Removes points [from, to) of a series, clipped to its size.
void Erase(ChartSeries& s, int from, int to)
{
    auto cut = [&](std::vector<double>& v) {
        const int n = static_cast<int>(v.size());
        const int a = std::clamp(from, 0, n), b = std::clamp(to, a, n);
        v.erase(v.begin() + a, v.begin() + b);
    };
    cut(s.x);
    cut(s.y);
}

}  // namespace

int DetectorSamples(const RunSeries& s)
{
    return s.DET_pH.Count();
}

bool SkipToPoint(RunSeries& s, int k)
{
    const int n = DetectorSamples(s);
    if (k < 0 || k > n) return false;
    ForEachDetectorSeries(s, [&](ChartSeries& c) { Erase(c, 0, std::min(k + 1, n)); });
    return true;
}

bool SkipFromPoint(RunSeries& s, int k)
{
    const int n = DetectorSamples(s);
    if (k < 0 || k > n) return false;
    ForEachDetectorSeries(s, [&](ChartSeries& c) { Erase(c, k, c.Count()); });
    return true;
}
