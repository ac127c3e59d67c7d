#pragma once

#include <wx/string.h>

// Shows a modal message box with an OK button and `style`'s icon; where nobody
// could see or answer it, writes its text to the event log instead and goes on
// as if it had been answered.
void ShowMessageBox(const wxString& message, const wxString& caption, long style);
