// Message and location texts of the program's own that have no counterpart in
// the original texts: raises, warnings and questions added to refuse unsafe
// input or states. Kept in one place.
#pragma once

#include <string>

// Locations of the expression trees (raised with the standard codes).
inline constexpr const char* kWhereTreePlus = "TFnTree::operator+";
inline constexpr const char* kWhereTreeMul = "TFnTree::operator*";
inline constexpr const char* kWhereTreeDiv = "TFnTree::operator/";
inline constexpr const char* kWhereTreeErf = "TFnTree::Erf";
inline constexpr const char* kWhereCopyTreeSource = "CopyTree>>source";
inline constexpr const char* kWhereErfStepTree = "ErfStepTree";

// Engine: a stored hydrogen-ion concentration that is not a positive finite
// number (followed by the node and the value).
inline constexpr const char* kBadHydrogenConcentration = "Incorrect H+ concentration at node ";

// Linear tool: the value it shows does not exist (no result, or an index
// outside the forms of the first constituent).
inline constexpr const char* kNotAvailable = "N/A";

// Run initialisation: modes whose set-up this version does not build yet.
// Complexation set-up: the table's first line is not the ligand's two charges nL, pL.
inline constexpr const char* kComplexLigandCharges = "Complex Mode: Incorrect nL or pL!";
// Complexation: a value of the table that cannot be taken (a field beyond the
// ligand's charges, a number beyond its kind, a text the file cannot carry),
// followed by the value in quotes, " of " and the field as the window names it.
inline constexpr const char* kComplexValue = "Complex Mode: Incorrect value ";
// Complexation: the composition brought back (Restore) has no analyte, so no
// table fits it: the table is dropped and the mode switched off.
inline constexpr const char* kComplexTableCleared =
    "Complex Mode: the restored composition has no analyte - complex table removed and complex "
    "mode switched off.";

// Run initialisation: the engine arrays of the run would not fit in a
// sensible share of the memory; nothing is allocated.
inline constexpr const char* kInitRunTooLarge =
    "The run does not fit in memory: reduce the nodes or the charges of the constituents. INIT cancelled.";

// Engine: the column has no finite positive resistance (zero or non-finite
// conductivity or cross-section); the run stops.
inline constexpr const char* kBadResistance =
    "Resistance of the capillary is zero or undefined (check conductivity and cross-section). Calculation stopped.";
// Engine: what made the resistance undefined, named with the node and the
// value (followed by kCalculationStopped).
inline constexpr const char* kBadConductivityAt =
    "Conductivity is zero, negative or undefined at node ";
inline constexpr const char* kBadCrossSectionAt =
    "Cross-section is zero, negative or undefined at node ";
// Engine: a step gave a concentration that is not a finite number (followed by
// the constituent number, the node and kCalculationStopped).
inline constexpr const char* kBadConcentrationOf =
    "Concentration is not a finite number: constituent ";
inline constexpr const char* kCalculationStopped = ". Calculation stopped.";
// Split-advection ("Special Mode") and LiBz modes: compositions the mode cannot work on (Init
// refuses them; a switch turned on during a run stops it).
inline constexpr const char* kSplitAdvectionConstituents =
    "Special Mode requires at least 5 constituents, and constituents 2, 3 and 4 need a charged form.";
inline constexpr const char* kLiBzModeConstituents = "Incorrect constituents for LiBz Mode!";
// Split-advection mode: the equilibrium split of constituent 1 has no real root at a
// node (a negative concentration); followed by the node and kCalculationStopped.
inline constexpr const char* kSplitAdvectionNoSplit = "Special Mode: no equilibrium split at node ";
// Micellar and racemic modes: an aggregation number below 1 (from a file)
// is refused at Init and stops a run.
inline constexpr const char* kMicAggregationNumber =
    "Incorrect aggregation number of micellizing constituent.";

// Project open: whether the sequence saved beside the project is copied into
// the temporary sequence (with "Ask Before Transfer PSQ").
inline constexpr const char* kPsqTransferQuestion =
    "Copy the saved PSQ file into the temporary PSQ file, so that the run can be continued?";

// Initial-distribution tool: Apply after the constituents changed since the
// preview (the previewed profiles no longer fit them); nothing changes.
inline constexpr const char* kDistCompositionChanged =
    "Constituents changed since the preview - press <PREVIEW> again to apply the new distribution!";
// Init and the initial-distribution tool's preview while the sequence player
// plays or reads a file.
inline constexpr const char* kPlayerInUse = "PSQ player in use!";
// Sequence player: Use while the frame the player is on is not the one drawn
// (its showing was refused or failed); nothing changes.
inline constexpr const char* kPsqFrameNotShown =
    "The actual frame is not shown - show it by clicking on PLAY, moving with scroll bar or "
    "inputing FRAME value prior to do TAKE!";
// Initial-distribution tool: Apply or Cancel after the run was rebuilt since
// the preview (the previewed grid is no longer the run's); nothing changes.
inline constexpr const char* kDistRunChanged =
    "Run changed since the preview - press <PREVIEW> again to apply the new distribution!";

// Protein builder: more acidic or basic groups than a constituent holds
// (`limit`); nothing is built.
inline std::string ProteinTooManyGroupsText(int acidic, int basic, int limit)
{
    return "Too many ionisable groups: " + std::to_string(acidic) + " acidic and " +
           std::to_string(basic) + " basic (a constituent has at most " + std::to_string(limit) +
           " of each). Protein not created.";
}

// Project open: a damaged detector record beside the project is left out
// (followed by its file name); the project opens without it.
inline constexpr const char* kDetectorLeftOut =
    "Incorrect Detector File: the project is opened without the detector record of ";

// Project open: a text file of the project's name that holds no complexation
// table (the user's notes) is left as it is (followed by its file name).
inline constexpr const char* kProjectNotesNoTable =
    "No complex table in the text file beside the project: it is left as it is and the project "
    "is opened without complex mode: ";

// Project save: the files staged would not open as a project (followed by the
// project file, the reason in the open's own words and kSavePreviousUnchanged).
inline constexpr const char* kSaveWouldNotOpen =
    "Error: The files of this save would not open again as a project.";
// Project save: the check of the files staged (their open beside the run) ran
// out of memory (followed by kSavePreviousUnchanged or kSaveNoPrevious).
inline constexpr const char* kSaveCheckOutOfMemory =
    "Error: Not enough memory to check the save; nothing was written.";
// Project save: a project appeared under the chosen name while the save wrote
// its files (followed by the project file and kSavePreviousUnchanged).
inline constexpr const char* kSaveNameTaken =
    "Error: Another project was saved under this name meanwhile; nothing was written.";
// Project save: a companion the save removes has a twin whose name differs
// only in letter case, which the next open would read in its place (followed
// by the twin and kSavePreviousUnchanged).
inline constexpr const char* kSaveTwinCompanion =
    "Error: Two files beside the project differ only in the case of their names; remove one "
    "and save again. Nothing was written.";

// Protein builder: a bond count that is not a whole number (after the quoted text).
inline constexpr const char* kNotAnInteger = "' is not a valid integer value";

// Saves of several files: one save writing the same file twice (followed by
// the file); another program instance saving the same set of files (followed
// by the file); a journal of a save that cannot be read (followed by the
// file); old files of a save that died that cannot be put back (followed by
// the files and the backups that keep them).
inline constexpr const char* kSaveTargetTwice = "Error: One save writes a file twice: ";
inline constexpr const char* kSaveInProgress =
    "Another instance of the program is saving these files. Try again when it has finished: ";
inline constexpr const char* kSaveJournalDamaged = "Incorrect save journal: ";
inline constexpr const char* kSaveNotRestored =
    "The files of an interrupted save could not all be put back. The previous files are kept "
    "as: ";
// A reader that found the journal of a save that died in a folder it cannot
// write (followed by the journal and the reason, then where it read the files).
inline constexpr const char* kSaveNotSettled =
    "An interrupted save of these files could not be settled: ";
inline constexpr const char* kSaveReadInPlace =
    "The previous files are read in place; nothing was changed.";
inline constexpr const char* kSaveReadFromBackups =
    "Nothing was changed; the previous files are read from: ";
// A reader or a save that settled the journal of a save that died and found
// files in the project's place it could not tell for that save's own
// (followed by the names they were moved to).
inline constexpr const char* kSaveSetAside =
    "A file an interrupted save left beside the project could not be told for the project's "
    "own and is kept as: ";

// Project save: what became of the project on disk after a save that failed,
// and a save with nothing initialised (after the program's own first line).
inline constexpr const char* kSavePreviousUnchanged = "The previous project is unchanged.";
inline constexpr const char* kSaveNoPrevious = "No project of this name existed; none was written.";
inline constexpr const char* kSavePreviousKept =
    "The previous project will be put back from these files when it is opened next.";
inline constexpr const char* kSaveNothingInitialised = "Nothing was saved.";
inline constexpr const char* kSaveDetectorLeftOut =
    "The project is saved without its detector record.";
inline constexpr const char* kSaveCompanionKept =
    "The project is saved without this file; one of its name beside it is kept as it was.";

// Run on an initialised run whose constituents are gone (a composition opened
// alone, then Restore).
inline constexpr const char* kNoConstituentsToRun =
    "No constituents to run: enter or open a composition and press <Init>.";

// A typed value outside the range of its field (the field's caption, the text
// as typed, and the range from FieldRangeText); nothing is taken.
inline std::string FieldRefusalText(const std::string& field, const std::string& text,
                                    const std::string& range)
{
    return "Incorrect value of \"" + field + "\": \"" + text + "\"! It must be " + range + ".";
}
// "a number from 0 to 100000", "a number above 0 up to 10", "a whole number
// from 1 to 1000"; an empty bound is left out.
inline std::string FieldRangeText(bool whole, const std::string& low, bool lowIncluded,
                                  const std::string& high)
{
    std::string text = whole ? "a whole number" : "a number";
    if (!low.empty()) text += (lowIncluded ? " from " : " above ") + low;
    if (!high.empty()) text += (!low.empty() && !lowIncluded ? " up to " : " to ") + high;
    return text;
}
