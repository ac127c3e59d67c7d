#pragma once

#include <functional>
#include <string>

#include <wx/string.h>

#include "common/passresult.h"

// Reading and replacing a file that other programs share.

// The largest registration file that is read: larger ones are refused rather
// than taking the memory of a 32-bit program.
const size_t kMostFileBytes = 64 * 1024 * 1024;

// Runs `step` until it succeeds, fails for another reason than a file that
// another program holds open for a moment (its error code in `error`), or
// about a second has passed.
bool TryWhileBusy(const std::function<bool(unsigned long&)>& step, unsigned long& error);

// Reads the whole file: Done, or Refused with the reason and the system's
// error code when the path exists but cannot be read completely as a file
// or is larger than kMostFileBytes. A missing file gives no bytes. A file
// another program holds open for a moment is waited for. Nothing is logged.
PassResult ReadWholeFile(const wxString& path, std::string& bytes);

// True when the file can be read and holds exactly `expected` (no bytes:
// missing or empty).
bool FileHolds(const wxString& path, const std::string& expected);

// Replaces the file at `path` with `bytes` in one step, provided it still
// holds exactly `expected` (no bytes: missing or empty): Done, FileChanged,
// KeptAside or Refused with the reason. The new bytes go to a temporary file beside
// the file, flushed to disk, which is renamed over it; a link is followed and
// the file it points to is replaced in its own directory; a link whose target
// cannot be found is refused. Each step that meets a file another program
// holds open for a moment is tried again for about a second. On any outcome but
// Done the file is untouched, apart from what KeepWritesThatSlippedIn says.
// Nothing is logged.
PassResult ReplaceFileIfUnchanged(const wxString& path, const std::string& expected,
                                  const std::string& bytes);

// After `bytes` replaced the file at `path` that held `expected`: a program
// that opened, wrote and closed the file in the moment between the
// comparison and the rename wrote into the replaced file, here still named
// `replaced` (empty: it has no second name, and nothing can be checked).
// This protects writers that write into the file in place, as the profile
// API does; a writer that renames a file of its own over it in that moment
// is not seen. Done when the replaced file still holds `expected`;
// otherwise it is put back in place of `bytes` and FileChanged has the
// caller start over from it. Where that fails, or the new file was changed
// as well, nothing more is replaced: KeptAside, with the version that would
// otherwise be lost kept under a name of its own beside the file, and a
// reason that says which file holds what. `replaced` is removed unless kept.
PassResult KeepWritesThatSlippedIn(const wxString& path, const std::string& expected,
                                   const std::string& bytes, const wxString& replaced);
