#pragma once

#include <string>

#include <wx/string.h>

// Replaces the file at `path` with `bytes` in one step: the bytes go to a
// temporary file in the same directory, are flushed to disk and the temporary
// file is renamed over `path`. On failure `path` is untouched and false is
// returned; a file the caller may not write is not replaced.
bool ReplaceFileAtomically(const wxString& path, const std::string& bytes);
