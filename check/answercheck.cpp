#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include "check/checks.h"
#include "common/pathrules.h"
#include "common/product.h"
#include "registration/registrationpass.h"
#include "starter/launchrules.h"

namespace
{

wxString SearchPath()
{
    wxString searchPath;
    wxGetEnv(wxS("PATH"), &searchPath);
    return searchPath;
}

// The imaging client where the program in `programDir` looks for it.
wxString FindClientBeside(const wxString& programDir)
{
    return FindClient(programDir, SearchPath());
}

wxString ClientNotFound()
{
    return wxString::Format(
        _("%s, the imaging client, is found neither beside tvdds.exe nor in an absolute directory "
          "of the search path (%s): opening an X-ray fails. Install the imaging client."),
        kClientFileName, SearchPath());
}

// Why readers of `list` do not find the product, by the count the pass
// uses; empty when they find it.
wxString WhyNotInList(const CRegistrationList& list, const wxString& file)
{
    if (list.ListSection() == nullptr)
        return wxString::Format(_("%s has no [BVS] section, the list of imaging systems"), file);
    if (list.Lists(kProductSection))
        return wxString();
    if (const ListEntry* entry = list.FindEntry(kProductSection))
        return wxString::Format(_("its entry NAME%d=%s in [BVS] stands behind the place "
                                  "where readers that count up from NAME1 stop: %s"),
                                entry->number, entry->system, WhereReadersStop(list));
    return wxString::Format(_("no entry of [BVS] that readers see names it (they see: %s)"),
                            OrNothing(list.View().JoinedSystems()));
}

// Why readers who find `view` in the file do not find the product in the
// list, said by the pass's rules where they agree; empty when they find it.
wxString WhyNotListed(const FileState& file, const CRegistrationList& list, const ReadersView& view,
                      const wxString& path, Answered& answered)
{
    if (view.Lists(kProductSection))
        return wxString();
    // The pass refuses the file; Windows' reader still says what practice
    // software finds.
    if (!file.read.Is(PassResult::Outcome::Done))
        return wxString::Format(
            _("Windows' own reader of %s does not find it in the list (it finds: %s)"), path,
            OrNothing(view.JoinedSystems()));
    const wxString reason = WhyNotInList(list, path);
    if (!reason.empty())
        return reason;
    answered.systemReader = true;
    return wxString::Format(_("Windows' own reader of %s does not find it in the list, where "
                              "Windows' rules for such files find it (it finds: %s)"),
                            path, OrNothing(view.JoinedSystems()));
}

// Why the practice software does not offer the product: Windows' own reader,
// where it could read the file, has the last word, otherwise the pass's
// rules; empty when it does, and `program` the one it calls.
wxString WhyNotOffered(const Installation& installation, const FileState& file,
                       Answered& answered, wxString& program)
{
    const wxString& path = installation.registrationFile;
    if (!file.exists)
        return wxString::Format(_("%s does not exist"), path);
    const CRegistrationList list(file.lines.text);
    const ReadersView view = file.SystemRead() ? file.system : list.View();
    program = view.program;
    wxString reason = WhyNotListed(file, list, view, path, answered);
    if (reason.empty() && program.empty())
        reason = list.FindSection(kProductSection) == nullptr
                     ? _("the section [TIVORA] is missing, so it has no program to call")
                     : _("[TIVORA] names no program to call (PATDATIMPORT)");
    if (!reason.empty() && file.ByteOrderMarkHidesFirstHeader())
    {
        answered.byteOrderMark = true;
        return wxString::Format(_("%s starts with a UTF-8 byte-order mark, which keeps Windows "
                                  "readers from seeing the section header in its first line"),
                                path);
    }
    if (!reason.empty())
        return reason;
    const CVddsRegistration pass(installation.appPath, installation.dataConfigPath, false);
    if (IsUsableInstallPath(installation.appPath) && !program.IsSameAs(pass.ProgramPath(), false))
        return wxString::Format(_("[TIVORA] calls \"%s\", not this installation's program \"%s\""),
                                program, pass.ProgramPath());
    return wxString();
}

// What to do where the product is not offered.
wxString Remedy(const FileState& file, Answered& answered)
{
    if (answered.byteOrderMark)
        return _("Save the file again as ANSI text (without the three bytes EF BB BF), then run "
                 "this check again.");
    if (answered.systemReader)
        return _("A line of the file is read differently on this system: correct the lines the "
                 "two readings differ in.");
    if (!file.read.Is(PassResult::Outcome::Done))
    {
        answered.refusal = true;
        return wxString::Format(_("Installing the product again cannot register it there: %s."),
                                file.read.Explanation());
    }
    if (file.ChangesListed())
        return wxString::Format(_("%s: it makes the changes below."), InstallAgain(file));
    return _("Install the product again.");
}

// Whether the program the practice software calls can start and open an
// X-ray: a program that is there, the registry settings it checks at
// start-up, the imaging client where it looks.
void AnswerOffered(const wxString& program, const Installation& installation,
                   Answered& answered, Findings& findings)
{
    const wxString programDir = wxPathOnly(program);
    if (!IsUsableInstallPath(programDir) || !wxFileExists(program))
    {
        findings.Problem(wxString::Format(
            _("The practice software offers Tivora on this computer, but the program it calls, "
              "\"%s\", is not there. Install the product again."),
            program));
        return;
    }
    if (!installation.startUpRefusal.empty())
    {
        answered.startUp = true;
        findings.Problem(wxString::Format(
            _("The practice software offers Tivora on this computer and calls %s, but it cannot "
              "start: it shows \"%s\". Install the product again."),
            program, installation.startUpRefusal));
        return;
    }
    const wxString client = FindClientBeside(programDir);
    if (client.empty())
    {
        answered.client = true;
        findings.Problem(wxString::Format(
            _("The practice software offers Tivora on this computer and calls %s, which can "
              "start, but %s"),
            program, ClientNotFound()));
        return;
    }
    findings.Answer(wxString::Format(
        _("The practice software offers Tivora on this computer: it calls %s, which can start "
          "and opens X-rays with %s."),
        program, client));
}

} // namespace

wxString OrNothing(const wxString& found)
{
    return found.empty() ? wxString(_("nothing")) : found;
}

Answered AnswerWhetherOffered(const Installation& installation, const FileState& file,
                              Findings& findings)
{
    Answered answered;
    const wxString& path = installation.registrationFile;
    if (path.empty() || file.Unreadable())
    {
        answered.refusal = true;
        findings.CouldNotCheck(wxString::Format(
            _("Whether the practice software offers Tivora cannot be told: %s."),
            path.empty() ? wxString(_("the system's Windows directory is unknown"))
                         : wxString::Format(_("%s could not be read: %s"), path,
                                            file.read.Explanation())));
        return answered;
    }
    if (file.exists && !file.read.Is(PassResult::Outcome::Done) && !file.SystemRead())
    {
        answered.refusal = true;
        findings.Problem(
            wxString::Format(_("Whether the practice software offers Tivora cannot be told: %s."),
                             file.read.Explanation()));
        return answered;
    }
    wxString program;
    const wxString reason = WhyNotOffered(installation, file, answered, program);
    if (reason.empty())
        AnswerOffered(program, installation, answered, findings);
    else
        findings.Problem(wxString::Format(
            _("The practice software does not offer Tivora on this computer: %s. %s"), reason,
            Remedy(file, answered)));
    return answered;
}

void CheckClient(const Installation& installation, const Answered& answered, Findings& findings)
{
    if (answered.client)
        return;
    // The installed program looks beside itself; without an installation
    // directory, the check stands beside the program.
    const wxString programDir = IsUsableInstallPath(installation.appPath)
                                    ? installation.appPath
                                    : wxPathOnly(wxStandardPaths::Get().GetExecutablePath());
    if (FindClientBeside(programDir).empty())
        findings.Problem(ClientNotFound());
}
