#pragma once

#include <string>
#include <vector>

#include <wx/string.h>

#include "common/passresult.h"
#include "registration/iniedit.h"
#include "registration/registrationfile.h"

// What the support check found, line by line: the answer to whether the
// practice software offers the product, problems, each saying what is wrong
// and what to do, and notes on what was seen without being wrong.
class Findings
{
public:
    void Answer(const wxString& text);
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

// The installation as the registry describes it to the program, read in the
// view the installed program reads.
struct Installation
{
    bool keyExists = false;
    // BaseAppPath and BaseDataPath with one trailing separator removed, as
    // the program reads them; empty when missing.
    wxString appPath;
    wxString dataPath;
    wxString dataConfigPath;
    // The message with which the program refuses to start, or empty.
    wxString startUpRefusal;
    // The shared vdds_mmi.ini in the system's Windows directory; empty when
    // that directory is unknown.
    wxString registrationFile;
};

// The registration file as the registration pass reads it, what the system's
// own reader finds in it, and what installing the product again would change.
struct FileState
{
    bool exists = false;
    std::string bytes;
    RegistrationFileLines lines;
    // Done when the pass can read and understand the file.
    PassResult read = PassResult::Of(PassResult::Outcome::Done);
    // What the system's reader finds, and whether it could read the file.
    PassResult systemReading = PassResult::Refused(wxString());
    ReadersView system;
    // The registration pass's plan for this installation, and the text of
    // the file's lines as the pass would leave them.
    PassResult plan = PassResult::Of(PassResult::Outcome::AlreadyDone);
    std::vector<LineChange> changes;
    std::vector<wxString> after;
    // The pass never replaces the file while it has the read-only attribute.
    bool writeProtected = false;

    bool SystemRead() const { return systemReading.Is(PassResult::Outcome::Done); }
    // The bytes could not be read at all.
    bool Unreadable() const { return bytes.empty() && !read.Is(PassResult::Outcome::Done); }
    // A UTF-8 byte-order mark stands before the header [BVS] or [TIVORA] in
    // the first line, which Windows readers then do not see as that header.
    bool ByteOrderMarkHidesFirstHeader() const;
    // The lines installing again would change are listed, each as a problem:
    // the plan would change some, and no byte-order mark hides the first
    // header, without which the plan would be another.
    bool ChangesListed() const
    {
        return plan.Is(PassResult::Outcome::Done) && !ByteOrderMarkHidesFirstHeader();
    }
};

// What the answer said already, so that no later line says it again.
struct Answered
{
    bool startUp = false;
    bool client = false;
    bool systemReader = false;
    bool refusal = false;
    bool byteOrderMark = false;
};

// The installation's registry settings, without judging them.
Installation ReadInstallation();

// Reads the registration file, and runs the pass's plan on it for the
// installation, writing nothing.
FileState ReadRegistration(const Installation& installation);

// The first line: whether the practice software offers the product on this
// computer, and if not, the one reason.
Answered AnswerWhetherOffered(const Installation& installation, const FileState& file,
                              Findings& findings);

// What keeps readers from seeing the file's entries, without a visible sign
// or behind the number where they stop counting.
void CheckWhatStopsReaders(const Installation& installation, const FileState& file,
                           const Answered& answered, Findings& findings);

// The product's registry settings in both registry views.
void CheckSettings(const Installation& installation, const Answered& answered,
                   Findings& findings);

// Each line installing the product again would add, change or remove.
void CheckWhatInstallingAgainChanges(const Installation& installation, const FileState& file,
                                     const Answered& answered, Findings& findings);

// Other imaging systems' lines that no reader can use.
void CheckOtherVendorsLines(const Installation& installation, const FileState& file,
                            Findings& findings);

// The rights the program grants, the file's read-only attribute, and a link
// where the data directory is.
void CheckRights(const Installation& installation, const FileState& file, Findings& findings);

// Per-user copies that some readers see instead of the shared file.
void CheckCopies(Findings& findings);

// The imaging client, where the installed program would look for it.
void CheckClient(const Installation& installation, const Answered& answered, Findings& findings);

// Where readers that count up from NAME1 stop in `list`, and why: "NAME2 is
// empty".
wxString WhereReadersStop(const CRegistrationList& list);

// How to have the pass make its changes: install the product again, once
// the file's read-only attribute is removed where it has one.
wxString InstallAgain(const FileState& file);

// What a reader found, or "nothing".
wxString OrNothing(const wxString& found);
