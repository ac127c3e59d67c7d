#pragma once

#include <wx/arrstr.h>
#include <wx/strconv.h>
#include <wx/string.h>

// The small system services the program needs, one implementation per
// platform. Where a platform has no Windows directory or ANSI code page, the
// implementation says what stands in for it.

// The directory that holds the registration file; empty when unknown.
wxString WindowsDirectory();

// The local 8-bit encoding of text files: the ANSI code page on Windows,
// Windows-1252 elsewhere, as the files handled are Windows files.
wxCSConv LocalEncoding();

// The ANSI code page number of the local 8-bit encoding.
unsigned AnsiCodePage();

// The program's argument vector: element 0 the program, element 1 the patient
// data file (or "initsetup"), element 2 the caller identification.
wxArrayString ProcessArguments();

// False where nobody can see or answer a window: in session 0, where
// services and unattended installs run, on a window station that is not
// visible, or on a desktop other than the interactive one.
bool CanShowWindows();

enum class EventType
{
    Error,
    Warning,
    Information,
};

// Writes `text` to the system's event log under the program's event source.
void ReportToEventLog(const wxString& text, EventType type);

// Starts the imaging client at the full path `client` with the patient data
// file as its one argument, without waiting for it. A failed start goes to
// the wx error log.
void StartClient(const wxString& client, const wxString& patientFile);
