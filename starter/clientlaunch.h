#pragma once

#include <wx/string.h>

// Starts the imaging client with the patient data file as its one argument,
// without waiting for it. A failed start goes to the wx error log.
void StartClient(const wxString& patientFile);
