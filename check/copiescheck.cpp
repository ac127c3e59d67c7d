#include <wx/datetime.h>
#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msw/wrapwin.h>

#include <knownfolders.h>
#include <shlobj.h>

#include "check/checks.h"
#include "registration/registrationfile.h"
#include "registration/registrationpass.h"
#include "common/product.h"

namespace
{

// The directory that holds the users' profiles, usually C:\Users.
wxString UserProfilesDirectory()
{
    wchar_t* path = nullptr;
    wxString dir;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_UserProfiles, 0, nullptr, &path)))
        dir = path;
    ::CoTaskMemFree(path);
    return dir;
}

bool ListsProduct(const wxString& file)
{
    std::string bytes;
    RegistrationFileLines lines;
    return ReadRegistrationFile(file, bytes, lines).Is(PassResult::Outcome::Done) &&
           CRegistrationList(lines.text).Lists(kProductSection);
}

// Reports the copy if there is one; false when whether there is one could
// not be seen (another user's profile, to a user without administrator
// rights).
bool CheckCopy(const wxString& copy, const wxString& kind, Findings& findings)
{
    if (::GetFileAttributesW(copy.wc_str()) == INVALID_FILE_ATTRIBUTES)
        return ::GetLastError() != ERROR_ACCESS_DENIED;
    if (!wxFileExists(copy))
        return true;
    const wxString changed = wxFileName(copy).GetModificationTime().Format(wxS("%Y-%m-%d %H:%M"));
    const wxString lists = ListsProduct(copy) ? _("it lists Tivora") : _("it does not list Tivora");
    findings.Problem(wxString::Format(
        _("%s is a per-user copy (%s, changed %s; %s) that programs of this user read instead "
          "of the shared file. Delete it, so that they read the shared file again."),
        copy, kind, changed, lists));
    return true;
}

bool IsApplicationTerminalServer()
{
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    version.wSuiteMask = VER_SUITE_TERMINAL;
    const DWORDLONG terminal = ::VerSetConditionMask(0, VER_SUITENAME, VER_AND);
    if (!::VerifyVersionInfoW(&version, VER_SUITENAME, terminal))
        return false;
    version.wSuiteMask = VER_SUITE_SINGLEUSERTS;
    return !::VerifyVersionInfoW(&version, VER_SUITENAME, terminal);
}

} // namespace

void CheckCopies(Findings& findings)
{
    if (IsApplicationTerminalServer())
        findings.Note(_("This computer is a terminal server in application mode: programs that "
                        "are not terminal-server aware see a Windows directory of their own for "
                        "each user."));
    const wxString profiles = UserProfilesDirectory();
    wxDir users;
    {
        const wxLogNull quiet;
        if (profiles.empty() || !users.Open(profiles))
        {
            findings.CouldNotCheck(_("The users' profile directories could not be listed."));
            return;
        }
    }
    wxString user;
    wxString unseen;
    for (bool more = users.GetFirst(&user, wxString(), wxDIR_DIRS | wxDIR_HIDDEN); more;
         more = users.GetNext(&user))
    {
        const wxString home = profiles + wxS("\\") + user;
        const bool virtualStoreSeen = CheckCopy(
            home + wxS("\\AppData\\Local\\VirtualStore\\Windows\\") + kRegistrationFileName,
            _("VirtualStore"), findings);
        const bool terminalServerSeen = CheckCopy(home + wxS("\\WINDOWS\\") + kRegistrationFileName,
                                                  _("terminal server"), findings);
        if (!virtualStoreSeen || !terminalServerSeen)
            unseen += (unseen.empty() ? wxString() : wxString(wxS(", "))) + user;
    }
    if (!unseen.empty())
        findings.CouldNotCheck(wxString::Format(
            _("The per-user copies of these users could not be looked at without administrator "
              "rights: %s. Run the check as an administrator to see them."),
            unseen));
}
