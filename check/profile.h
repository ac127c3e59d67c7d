#pragma once

#include <vector>

#include <wx/string.h>

// The registration file as Windows programs read it: through the system's
// profile API, which never writes when it is only asked.

std::vector<wxString> ReadProfileSectionNames(const wxString& file);

// The keys of the first section of that name.
std::vector<wxString> ReadProfileKeys(const wxString& file, const wxString& section);

// The value of a key, blanks around it removed; empty when there is none.
wxString ReadProfileString(const wxString& file, const wxString& section, const wxString& key);
