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
