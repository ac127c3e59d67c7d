#include <wx/config.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/msw/wrapwin.h>

#include "check/checks.h"
#include "common/pathrules.h"
#include "common/product.h"

namespace
{

// The registry views a program of this build reads, and the other one.
const REGSAM kOwnView = sizeof(void*) == 4 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
const REGSAM kOtherView = sizeof(void*) == 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

int ViewBits(REGSAM view)
{
    return view == KEY_WOW64_32KEY ? 32 : 64;
}

bool HasOtherView()
{
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64);
}

// The product's key in one registry view, opened for reading only.
class ProductKey
{
public:
    explicit ProductKey(REGSAM view)
    {
        const wxString subkey = kClientKeyPath.AfterFirst('\\');
        m_open = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey.wc_str(), 0, KEY_READ | view, &m_key) ==
                 ERROR_SUCCESS;
    }
    ~ProductKey()
    {
        if (m_open)
            ::RegCloseKey(m_key);
    }
    ProductKey(const ProductKey&) = delete;
    ProductKey& operator=(const ProductKey&) = delete;

    bool Exists() const { return m_open; }

    // The text of a string value, expanded; false when there is none.
    bool Read(const wxString& name, wxString& text) const
    {
        wchar_t buffer[2048];
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        DWORD type = 0;
        if (!m_open ||
            ::RegQueryValueExW(m_key, name.wc_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return false;
        buffer[size / sizeof(wchar_t)] = L'\0';
        text = buffer;
        if (type == REG_EXPAND_SZ)
            text = wxExpandEnvVars(text);
        return true;
    }

private:
    HKEY m_key = nullptr;
    bool m_open = false;
};

// A directory value of the product: present, absolute and existing; the
// directory as the program uses it, or an empty string.
wxString CheckDirectoryValue(const ProductKey& key, const wxString& name, Findings& findings)
{
    wxString value;
    if (!key.Read(name, value) || value.empty())
    {
        findings.Problem(wxString::Format(
            _("%s is not set in the registry: the product's installation is incomplete. Install it "
              "again."),
            name));
        return wxString();
    }
    const wxString dir = StripOneTrailingSeparator(value);
    if (!IsUsableInstallPath(dir))
    {
        findings.Problem(wxString::Format(
            _("%s in the registry is not an absolute path: \"%s\". Install the product again, or "
              "set it to the full path of the directory."),
            name, value));
        return wxString();
    }
    if (!wxDirExists(dir))
    {
        findings.Problem(wxString::Format(
            _("%s in the registry names a directory that does not exist: \"%s\". Install the "
              "product again."),
            name, value));
        return wxString();
    }
    return dir;
}

void CheckOtherView(const ProductKey& own, Findings& findings)
{
    const ProductKey other(kOtherView);
    if (!other.Exists())
        return;
    for (const wxString& name : {kAppPathValue, kDataPathValue, kRegisteredValue})
    {
        wxString ownText, otherText;
        if (other.Read(name, otherText) && !own.Read(name, ownText))
            findings.Problem(wxString::Format(
                _("%s is set only in the %d-bit registry view, which the installed %d-bit program "
                  "does not read: an installer for the other kind of Windows program was used. "
                  "Uninstall it and install the matching one."),
                name, ViewBits(kOtherView), ViewBits(kOwnView)));
    }
}

} // namespace

Installation CheckSettings(Findings& findings)
{
    Installation installation;
    // The system's own Windows directory, whatever this process would be
    // shown on a terminal server.
    wchar_t buffer[MAX_PATH];
    const UINT length = ::GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    const wxString windowsDir =
        length > 0 && length < MAX_PATH ? wxString(buffer, length) : wxString();
    if (windowsDir.empty())
        findings.CouldNotCheck(_("The system's Windows directory is unknown."));
    else
        installation.registrationFile = windowsDir + wxS("\\") + kRegistrationFileName;

    const ProductKey own(kOwnView);
    if (!own.Exists())
    {
        findings.Problem(wxString::Format(
            _("The product's registry key %s is missing in the %d-bit registry view that the "
              "installed program reads. Install the product again."),
            kClientKeyPath, ViewBits(kOwnView)));
    }
    else
    {
        installation.appPath = CheckDirectoryValue(own, kAppPathValue, findings);
        const wxString dataPath = CheckDirectoryValue(own, kDataPathValue, findings);
        if (!dataPath.empty())
            installation.dataConfigPath = dataPath + wxS("\\") + kDataConfigDirName;
        wxString registered;
        if (!own.Read(kRegisteredValue, registered) || registered != wxS("1"))
            findings.Problem(wxString::Format(
                _("%s is not 1: the product was not registered in vdds_mmi.ini yet, or its last "
                  "registration failed. Run \"tvdds.exe initsetup\" as an administrator, or "
                  "install "
                  "the product again, and read its message."),
                kRegisteredValue));
    }
    if (HasOtherView())
        CheckOtherView(own, findings);
    return installation;
}
