#pragma once

#include <wx/string.h>

// Removes exactly one trailing path separator: "C:\x\\" keeps one, "\" becomes
// empty.
wxString StripOneTrailingSeparator(const wxString& path);

// The caller identification names the DS-Win practice software.
bool IsDsWinCaller(const wxString& callerArgument);

// The first argument asks only for the set-up pass, not for a client start.
bool IsInitSetupRequest(const wxString& firstArgument);

// Quotes `argument` by the rules of CommandLineToArgvW and the C runtime so
// that the receiving program parses it back unchanged; an argument without
// blank, tab or double quote stays as it is.
wxString QuoteWindowsArgument(const wxString& argument);
