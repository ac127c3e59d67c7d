#pragma once

#include <functional>
#include <string>

#include <wx/string.h>

// The file-system operations under the atomic replace of a shared file that
// the library does not offer, one implementation per platform. None of them
// logs: a failure leaves the system's error code in `error`.

// The path of the file that `path` finally names after following links into
// `target`: `path` itself when it is no link or does not exist. False when
// `path` is a link whose target cannot be found.
bool FollowLinks(const wxString& path, wxString& target);

// True when `error` says that another program holds the file open for the
// moment (a virus scanner, an indexer, a backup agent), so that trying again
// shortly may succeed.
bool IsBusyError(unsigned long error);

// True when the existing file at `path` may not be written: on Windows its
// read-only attribute, which neither the library's access test nor, for an
// administrator under some systems, opening the file for writing sees.
bool IsWriteProtected(const wxString& path);

// Writes `bytes` to a new temporary file in the directory of `path`, flushed
// to disk and, where `path` exists, carrying its attributes and its access
// rights (and its owner where this process may set it); returns its path, or
// an empty string.
wxString WriteTempFileBeside(const wxString& path, const std::string& bytes, unsigned long& error);

// Reads at most `most` bytes of the file at `path` into `bytes` (none for a
// missing file) and calls `whileHeld` before it lets the file go; false,
// with the system's error code, when it cannot be read. On Windows no other
// program may write, delete or rename over the file while it is held, and
// the hold ends only as this returns, so that a rename right after leaves a
// writer the least time in between; a writer that has the file open makes
// this fail with a sharing violation.
bool ReadWhileHeld(const wxString& path, size_t most, std::string& bytes, unsigned long& error,
                   const std::function<void()>& whileHeld);

// Gives the existing file at `path` the further name `link` (a hard link);
// false, with the system's error code, where the file system or the rights
// allow none or `link` is taken.
bool MakeHardLink(const wxString& path, const wxString& link, unsigned long& error);

// True when `a` and `b` are two names of one existing file (hard links of
// each other); false when they are not or either cannot be looked at.
bool AreSameFile(const wxString& a, const wxString& b);

// Renames `temp` over `path` and makes the rename durable.
bool RenameOver(const wxString& temp, const wxString& path, unsigned long& error);
