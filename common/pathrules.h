#pragma once

// Rules for the paths and command lines the program reads and writes.

#include <wx/filename.h>
#include <wx/string.h>

// The installation directory, as read with one trailing separator removed,
// can be written into the registration file: an absolute path ("C:\dir" or
// "\\server\share\dir" on Windows, "/dir" elsewhere) without leading or
// trailing blanks, which practice software can call from any directory.
bool IsUsableInstallPath(const wxString& dir, wxPathFormat format = wxPATH_NATIVE);

// Removes exactly one trailing path separator: "C:\x\\" keeps one, "\" becomes
// empty.
wxString StripOneTrailingSeparator(const wxString& path);

// Quotes `argument` by the rules of CommandLineToArgvW and the C runtime so
// that the receiving program parses it back unchanged; an argument without
// blank, tab or double quote stays as it is.
wxString QuoteWindowsArgument(const wxString& argument);
