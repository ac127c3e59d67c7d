// tvdds-check: tells a support technician whether the practice software
// offers the product, and if not, why and what installing it again would
// change. Reads and never writes; one line per finding; exit code
// 0 when nothing was wrong, 1 when problems were found, 2 when a part could
// not be checked, 3 when both.
#include <conio.h>

#include <wx/init.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msw/wrapwin.h>
#include <wx/stdpaths.h>

#include "app/catalogloader.h"
#include "check/checks.h"
#include "common/platform.h"

namespace
{

// Writes text to a console window as it is, or, when the output goes to a
// file or a pipe, as UTF-8.
void Write(const wxString& text)
{
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (::GetConsoleMode(out, &mode))
    {
        ::WriteConsoleW(out, text.wc_str(), static_cast<DWORD>(text.length()), &written, nullptr);
        return;
    }
    const wxScopedCharBuffer utf8 = text.utf8_str();
    ::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.length()), &written, nullptr);
}

// Started by a double click, the program has a console window of its own,
// which would close before anyone read it. Under a scheduler or an agent,
// where nobody sees the window, nobody could press a key either.
bool PersonMustCloseTheWindow()
{
    DWORD mode = 0;
    DWORD processes[2];
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) &&
           ::GetConsoleProcessList(processes, 2) == 1 && CanShowWindows();
}

} // namespace

void Findings::Answer(const wxString& text)
{
    m_lines.push_back(text);
}

void Findings::Problem(const wxString& text)
{
    m_lines.push_back(_("PROBLEM: ") + text);
    m_problem = true;
}

void Findings::Note(const wxString& text)
{
    m_lines.push_back(_("NOTE: ") + text);
}

void Findings::CouldNotCheck(const wxString& text)
{
    m_lines.push_back(_("NOT CHECKED: ") + text);
    m_incomplete = true;
}

int Findings::ExitCode() const
{
    // One bit each, so that a script that tests for problems sees them even
    // where a part could not be checked.
    return (m_problem ? 1 : 0) | (m_incomplete ? 2 : 0);
}

int main(int argc, char** argv)
{
    wxInitializer library(argc, argv);
    if (!library.IsOk())
        return 2;
    // The user's language, with the catalog installed beside the program;
    // without it the texts stay English.
    wxLocale locale;
    {
        const wxLogNull quiet;
        UseUserLanguage(locale,
                        wxPathOnly(wxStandardPaths::Get().GetExecutablePath()) + wxS("\\lang"));
    }

    // In the order a technician works: the answer, what stops readers, what
    // installing again would change, other vendors' lines, rights and
    // copies, the client.
    Findings findings;
    const Installation installation = ReadInstallation();
    const FileState file = ReadRegistration(installation);
    const Answered answered = AnswerWhetherOffered(installation, file, findings);
    CheckWhatStopsReaders(installation, file, answered, findings);
    CheckWhatInstallingAgainChanges(installation, file, answered, findings);
    CheckSettings(installation, answered, findings);
    CheckOtherVendorsLines(installation, file, findings);
    CheckRights(installation, file, findings);
    CheckCopies(findings);
    CheckClient(installation, answered, findings);

    Write(wxString::Format(_("Tivora check of %s"), installation.registrationFile) + wxS("\r\n"));
    for (const wxString& line : findings.Lines())
        Write(line + wxS("\r\n"));
    Write((findings.ExitCode() == 0 ? _("Nothing wrong was found.")
                                    : _("Each line above says what is wrong and what to do.")) +
          wxS("\r\n"));
    if (PersonMustCloseTheWindow())
    {
        Write(_("Press a key to close this window."));
        _getwch();
    }
    return findings.ExitCode();
}
