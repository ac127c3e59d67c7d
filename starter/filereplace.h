#pragma once

#include <string>

#include <wx/string.h>

// Reads the whole file. A missing file gives no bytes; false when the path
// exists but cannot be read completely as a file.
bool ReadWholeFile(const wxString& path, std::string& bytes);

// True when the file can be read and holds exactly `expected` (no bytes:
// missing or empty).
bool FileHolds(const wxString& path, const std::string& expected);

enum class ReplaceOutcome
{
    Replaced,
    // The file no longer holds the bytes the new content was made from.
    Changed,
    WriteProtected,
    Failed,
};

// Replaces the file at `path` with `bytes` in one step, provided it still
// holds exactly `expected` (no bytes: missing or empty). The new bytes go to a
// temporary file beside the file, flushed to disk, which is renamed over it;
// a link is followed and the file it points to is replaced in its own
// directory. On any outcome but Replaced the file is untouched; system errors
// go to the wx error log.
ReplaceOutcome ReplaceFileIfUnchanged(const wxString& path, const std::string& expected,
                                      const std::string& bytes);
