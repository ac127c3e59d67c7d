#pragma once

#include <vector>

#include <wx/string.h>

// What the support check found, line by line: problems, each saying what is
// wrong and what to do, and notes on what was seen without being wrong.
class Findings
{
public:
    void Problem(const wxString& text);
    void Note(const wxString& text);
    // A part of the check could not be made at all.
    void CouldNotCheck(const wxString& text);

    const std::vector<wxString>& Lines() const { return m_lines; }
    // 0 when nothing was wrong, 1 when a problem was found, 2 when a part
    // could not be checked, 3 when both.
    int ExitCode() const;

private:
    std::vector<wxString> m_lines;
    bool m_problem = false;
    bool m_incomplete = false;
};

// The installation as the registry describes it in the view the installed
// program reads; a value that is missing or unusable is empty.
struct Installation
{
    wxString appPath;
    wxString dataConfigPath;
    // The shared vdds_mmi.ini in the system's Windows directory.
    wxString registrationFile;
};

// The product's registry settings in both registry views.
Installation CheckSettings(Findings& findings);

// vdds_mmi.ini as the practice software reads it, and what breaks readers
// without a visible sign.
void CheckRegistrationFile(const Installation& installation, Findings& findings);

// Per-user copies that some readers see instead of the shared file.
void CheckCopies(Findings& findings);

// The rights the program grants, and a link where the data directory is.
void CheckRights(const Installation& installation, Findings& findings);

// The imaging client, where the program beside the check would look for it.
void CheckClient(Findings& findings);
