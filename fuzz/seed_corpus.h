// The seed corpus of the fuzz targets, written into <dir>/<target>/: files
// written by the program's writers (whose bytes the golden tests compare with
// the layout tables) for small runs, the older layouts built byte by byte,
// files damaged the ways found in review, and typical number and expression
// texts. The fuzz replay and the test of the reopening property both read it.
#pragma once

#include <filesystem>

// False when a writer failed (the message on standard error).
bool WriteSeedCorpus(const std::filesystem::path& dir);
