// The detector file (".det"): the detector record of a run (time course of pH,
// conductivity, every constituent's signal, voltage and current at the virtual
// detector). Current layout "KELVO DET FILE" + "1.0"; the older "RAVO_CORE DET
// FILE" layout (without voltage and current) is read.
#pragma once

#include "foundation/binio.h"

#include <cstdint>
#include <string>
#include <vector>

class RunState;
struct RunSeries;

// The points of a detector file, checked whole: per point the time, pH,
// conductivity, the signal of each of `NComp` constituents and (current
// layout) voltage and current.
struct DetRecord {
    bool Legacy = false;
    int NComp = 0;
    std::int32_t Points = 0;
    std::vector<double> Data;
};

// The bytes of the detector file of the run (current layout).
void EncodeDetFile(BinWriter& out, const RunState& st);

// Writes the detector record. A missing directory is created after Yes to
// "Create New Dir?\n" + directory (No gives false); without an initialised run
// nothing is written (false); a file that cannot be created warns "Error: Can't
// create a new file" (false). The previous file is replaced only by a complete
// new one.
bool WriteDetFile(RunState& st, const std::string& name);

// Reads a detector file and appends its points to the detector record of the
// current run (per point 5 + NComp values, 3 + NComp for the older layout; the
// temperature trace gets 25.0). Warnings and false for a missing file, a file
// that cannot be opened ("Can't open a file"), another kind ("Incorrect Detector
// File.") or a wrong trailer ("Incorrect file."); a file cut short raises
// "Incorrect file.". Points are appended only when the whole file is correct.
bool ReadDetFile(RunState& st, const std::string& name);
// The reading half of ReadDetFile (nothing appended): false after its
// warning, raised for a file cut short.
bool LoadDetFile(const std::string& name, int nComp, DetRecord& record);
// Appends the points of a record to the detector series (the temperature
// trace gets 25.0, voltage and current of the older layout 0).
void AppendDetRecord(RunSeries& series, const DetRecord& record);
