// Building blocks of the file layer on top of the guarded file I/O: companion
// names, length checks before allocation, arrays of doubles and the save that
// replaces a file only when the new one is complete.
#pragma once

#include "foundation/fileio.h"

#include <cstdint>
#include <functional>
#include <string>

// "The name with extension X": replaces the extension of the file-name part,
// or appends `ext` when the name has none. `ext` includes its dot (".cmp").
std::string ChangeFileExt(const std::string& name, const std::string& ext);

// Closes the file and raises "Incorrect file." unless `bytes` (>= 0) further
// bytes are left between `position` and `limit`. Used before allocating or
// indexing with a count read from a file.
void RequireBytes(KFile& file, std::int64_t bytes, std::int64_t limit, std::int64_t position);

// A zero-terminated text of at most `maxBytes` bytes: the text ends at its zero
// byte, at the limit or after `maxBytes` bytes (headers, names: a longer run of
// bytes is no text of the file).
std::string FileReadShortText(KFile& file, std::int64_t limit, std::int64_t& position, std::int64_t maxBytes = 65536);

// `count` doubles, little-endian, as one guarded read or write.
void FileReadDoubles(KFile& file, double* values, std::int64_t count, std::int64_t limit,
                     std::int64_t& position);
void FileWriteDoubles(KFile& file, const double* values, std::int64_t count, std::int64_t& position);

// Writes `name` through a temporary file in the same directory that is renamed
// over `name` once `write` has returned. False, with nothing touched, when the
// temporary file cannot be created; when `write` raises (or the rename fails)
// the temporary file is removed, the previous `name` stays as it was and the
// exception goes on.
bool SaveFileAtomically(const std::string& name,
                        const std::function<void(KFile& file, std::int64_t& position)>& write);

// True when the directory part of `name` exists (a bare name counts as the
// current directory).
bool FileDirExists(const std::string& name);
