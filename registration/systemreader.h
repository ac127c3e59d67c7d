#pragma once

#include <wx/string.h>

#include "registration/registrationfile.h"

// The registration file as the system's own profile API reads it, the
// reader practice software calls, where the system has one.

// Reads the file at `path` afresh through the system's reader: the list
// counted up from NAME1 to the first number it returns nothing for, and the
// program of the product's section. False where there is no such reader.
bool ReadWithSystemReader(const wxString& path, ReadersView& view);
