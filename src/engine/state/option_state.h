// Display and program options of the options window and the main window that
// the run state does not hold elsewhere: chart colours, line width, click
// tolerance, the text-export separator, the radio groups of the options window
// (held as their codes), the start-up file and the stored window positions.
// Read by the chart, the exports, the settings file and the older options file.
#pragma once

#include <cstdint>
#include <string>

// Codes of the options window's radio groups, as the settings file stores them
// (0: no button of the group checked).
enum ZeroPointCode : int {
    kZeroInjSite = 1,
    kZeroLeft = 2,
    kZeroCenter = 3,
    kZeroRight = 4,
    kZeroAnotherPos = 5
};
enum XAxisCode : int { kXAxisM = 1, kXAxisMM = 2 };
enum SnaExtentCode : int { kSnaComplete = 1, kSnaStandard = 2 };

// Windows whose position the settings file may store, in the file's order.
enum StoredWindow : int {
    kWinMain,
    kWinRunSetup,
    kWinOption,
    kWinPsqPlayer,
    kWinConstituent,
    kWinMicellar,
    kWinDistribution,
    kStoredWindows
};

struct WindowPlace {
    std::int32_t Left = 0, Top = 0, Height = 0, Width = 0;
    bool Known = false;  // a place was read (or taken from the window)
};

struct OptionState {
    bool cbShowHints = false;           // main window "Show Hints"
    std::uint32_t SimColor = 0xFFFFFF;  // profile chart background (0x00BBGGRR)
    std::uint32_t DetColor = 0xB9DCFF;  // detector chart background
    int LineWidth = 1;                  // profile line width (points)
    int SrT = 1;                        // profile click tolerance (points)
    char CsvSep = ',';                  // separator of the text export
    int SnaExtent = kSnaStandard;       // "SNA-file Saving Extent"
    int XAxisUnit = kXAxisMM;           // "X-axis Unit"
    int ZeroPoint = kZeroInjSite;       // " Zero Position "
    bool cbPositionINI = false;         // "Store Window Positions (INI)"
    std::string DefaultFile;            // " Open File at Program Start "
    WindowPlace Places[kStoredWindows];

    // The pen of the profiles: the typed width may be any size; lines wider
    // than this are drawn at this width.
    static constexpr int kMaxDrawnLineWidth = 64;
    int DrawnLineWidth() const
    {
        return LineWidth < kMaxDrawnLineWidth ? LineWidth : kMaxDrawnLineWidth;
    }
};
