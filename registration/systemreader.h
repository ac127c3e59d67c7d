#pragma once

#include <functional>

#include <wx/string.h>

#include "common/passresult.h"
#include "registration/registrationfile.h"

// The registration file as the system's own profile API reads it, the
// reader practice software calls, where the system has one.

// Reads the file at `path` afresh through the system's reader: the list
// counted up from NAME1 to the first number it returns nothing for, and the
// program of the product's section. Done, also for a missing file, which
// reads as an empty one; Refused with the system's error code when the
// reader cannot open the file. A file another program holds open for a
// moment is waited for, about a second. Where the system has no such reader
// (HasSystemReader() is false) nothing is read and the result is Refused.
PassResult ReadWithSystemReader(const wxString& path, ReadersView& view);

// False where the system has no profile reader of its own.
bool HasSystemReader();

// Whatever stands for the system's reader: ReadWithSystemReader, or in a
// test a reader of its own; empty where there is none.
using SystemReader = std::function<PassResult(const wxString& path, ReadersView& view)>;
