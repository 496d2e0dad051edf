// The composition file (".cmp"): the whole constituent list with charges,
// concentrations, segments, pKa and mobility rows, micelle constants and
// table-defined initial profiles. Current layout "KELVO" + "1.0"; the older
// "RAVO_CORE" layout is read.
#pragma once

#include "engine/state/components.h"
#include "foundation/binio.h"
#include "foundation/univset.h"

#include <string>

class RunState;

// The bytes of a composition file of `list` (current layout).
void EncodeComposition(BinWriter& out, const TUnivSet<TComponents>& list);

// Writes `list` to `name`. An empty list writes nothing and gives false; a
// missing directory is created after Yes to "Create New Dir?\n" + directory
// (No gives false); a file that cannot be created warns "Error: Can't create
// new file" and gives false. The previous file is replaced only by a complete
// new one. Write errors raise "Error: Can't write to file".
bool WriteComposition(const TUnivSet<TComponents>& list, const std::string& name);

// Reads the constituents of a composition file into `loaded` (emptied first),
// in file order. Rejections warn and give false: a missing file ("File \"" +
// name + "\" not found."), a file that cannot be opened ("Can't open file"),
// another identity ("Incorrect CMP File."), a trailer other than "EOF"
// ("Incorrect file."). A file cut short or with impossible counts raises
// "Incorrect file.". `loaded` is only filled when the whole file is correct.
bool LoadCompositionFile(const std::string& name, TUnivSet<TComponents>& loaded);

// Appends the constituents of `loaded` to `target` in order, skipping any whose
// name (exact) is already there; with `replace` the target is emptied first.
void MergeComposition(TUnivSet<TComponents>& target, const TUnivSet<TComponents>& loaded,
                      bool replace);

// Reads a composition file into the run state's Composition, replacing it
// ("Set", st.rbSet) or adding to it ("Add"). The Composition is changed only
// when the whole file was read correctly.
bool ReadComposition(RunState& st, const std::string& name);

// Composition := the constituents of the last Init (CompInit), and the
// complexation table agrees with them: the lines of the table in use for each
// constituent back, the Init's (or the default) lines for the others, or no
// table without an analyte (ComplexTableAfterRestore); CompChanged cleared.
void RestoreInitComposition(RunState& st);
