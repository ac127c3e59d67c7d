#pragma once

#include <wx/strconv.h>

// The local 8-bit encoding of text files: the ANSI code page on Windows,
// Windows-1252 elsewhere, as the files handled are Windows files.
wxCSConv LocalEncoding();

// The ANSI code page number of the local 8-bit encoding.
unsigned AnsiCodePage();
