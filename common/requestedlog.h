#pragma once

#include <wx/string.h>

// The environment variable by which an installer, or whoever runs the
// program, names a log file that gets the program's reports as well.
inline const wxString kLogVariable(wxS("TVDDS_LOG"));

// Appends `text` as one UTF-8 line, after "tvdds: ", to the file the
// environment variable kLogVariable names; nothing where it names none. A
// log that cannot be written is no reason to fail.
void AppendToRequestedLog(const wxString& text);
