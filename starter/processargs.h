#pragma once

#include <wx/arrstr.h>
#include <wx/string.h>

// The file name of this program, as other programs are told to call it.
extern const wxString kProgramFileName;

// The program's argument vector: element 0 the program, element 1 the patient
// data file (or "initsetup"), element 2 the caller identification.
wxArrayString ProcessArguments();
