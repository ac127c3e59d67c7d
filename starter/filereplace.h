#pragma once

#include <string>

#include <wx/string.h>

#include "starter/passresult.h"

// Reading and replacing a file that other programs share.

// Reads the whole file. A missing file gives no bytes; false when the path
// exists but cannot be read completely as a file, with the system's error
// code (if any) in `error`. Nothing is logged.
bool ReadWholeFile(const wxString& path, std::string& bytes, unsigned long& error);

// True when the file can be read and holds exactly `expected` (no bytes:
// missing or empty).
bool FileHolds(const wxString& path, const std::string& expected);

// Replaces the file at `path` with `bytes` in one step, provided it still
// holds exactly `expected` (no bytes: missing or empty): Done, FileChanged
// or Refused with the reason. The new bytes go to a temporary file beside
// the file, flushed to disk, which is renamed over it; a link is followed and
// the file it points to is replaced in its own directory. On any outcome but
// Done the file is untouched. Nothing is logged.
PassResult ReplaceFileIfUnchanged(const wxString& path, const std::string& expected,
                                  const std::string& bytes);
