// Text export of every curve of the main chart ("Export All to CSV"): one file
// per profile-list item, per detector-list item and, when shown, per
// regulating function, into a directory under the program's "Export Profiles"
// directory. Each line is x, one separator byte, y, CR LF; no header line.
// Numbers are the shortest text that reads back to the same double; the
// profile and regulating-function files write x with the program's decimal
// separator and y with ".", the detector files write both with ".".
//
// The window asks for the directory name and the overwrite question; these
// routines do the names and the writing.
#pragma once

#include <string>

class RunState;
class ChartLine;

// Name of the program's profile export directory inside the program directory.
inline constexpr const char* kProfileDirName = "Export Profiles";
// Texts of the export command.
inline constexpr const char* kExportStatus = "Exporting all data ...";
inline constexpr const char* kExportCaption = "Export All";
inline constexpr const char* kExportPrompt = "Input name of a directory";
inline constexpr const char* kExportCreateFailed = "Error: Can't create a new file";

// `prefix` + two-digit-or-more index + " " + item text + ".csv" ("sim03 pH.csv",
// "sim10 E.csv"); characters that cannot stand in a file name ('/', '\\', NUL)
// become '_'.
std::string ExportFileName(const std::string& prefix, int index, const std::string& itemText);

// One line of an export file, CR LF included.
std::string ExportLine(double x, double y, char separator, char xDecimal, char yDecimal);

// Every point of `line` in point order, as ExportLine texts.
std::string ExportText(const ChartLine& line, char separator, char xDecimal, char yDecimal);

// The export directory: `typed` taken relative to `profileDir` (an absolute
// typed name stays absolute).
std::string ResolveExportDir(const std::string& profileDir, const std::string& typed);

// "Directory D already exists!\nContinue?"
std::string ExportDirExistsQuestion(const std::string& typed);
// "CSV files are successfully saved! \nDIR: " + the export directory.
std::string ExportDoneMessage(const std::string& profileDir, const std::string& typed);

struct ExportOutcome {
    bool ok = true;          // false: a file could not be created, export ended
    std::string failedFile;  // the file that could not be created
    int filesWritten = 0;
};

// Writes every file into the existing directory `dir`. Each file is written
// through a temporary file and renamed over an older one only when complete.
// A file that cannot be created ends the export (files written before stay);
// a write error raises "Error: Can't write to file". Nothing is written without
// an initialised run with constituents.
ExportOutcome ExportAllProfiles(const RunState& st, const std::string& dir, char separator,
                                char decimalSeparator, bool regFnShown);
