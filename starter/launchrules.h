#pragma once

#include <wx/string.h>

// The caller identification names the DS-Win practice software.
bool IsDsWinCaller(const wxString& callerArgument);

// The first argument asks only for the set-up pass, not for a client start.
bool IsInitSetupRequest(const wxString& firstArgument);

// The first argument asks for the product's registration to be removed, as
// the uninstaller does before it removes the program: the word "removesetup"
// alone, in any case.
bool IsRemoveSetupRequest(const wxString& firstArgument);

// The imaging client's full path where it may be started from: beside this
// program in `programDir` first, then in each absolute directory of
// `searchPath` (a PATH value), in order. Empty, "." and relative entries,
// which name the current directory or one below it, are skipped: whoever
// may write the caller's current directory never gets a program started.
// Empty when the client is found nowhere.
wxString FindClient(const wxString& programDir, const wxString& searchPath);

// FindClient() for the running program: its own directory and its PATH.
wxString FindOwnClient();
