#include <memory>

#include <wx/config.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msw/wrapwin.h>

#include "app/configuration.h"
#include "check/checks.h"
#include "common/pathrules.h"
#include "common/product.h"
#include "registry/regchecker.h"

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

// A value of the product's key as the program reads it, with one trailing
// separator removed.
wxString ReadProductPath(const wxString& name)
{
    const std::unique_ptr<CRegChecker> checker(new CRegChecker(kClientKeyPath, name));
    return StripOneTrailingSeparator(checker->GetValue(wxString()));
}

// The data directory, whose configuration directory's rights the program
// opens: present, absolute and existing.
void CheckDataPath(const wxString& dir, Findings& findings)
{
    if (dir.empty())
        findings.Problem(wxString::Format(
            _("%s is not set in the registry: the product's installation is incomplete. Install it "
              "again."),
            kDataPathValue));
    else if (!IsUsableInstallPath(dir))
        findings.Problem(wxString::Format(
            _("%s in the registry is not an absolute path: \"%s\". Install the product again, or "
              "set it to the full path of the directory."),
            kDataPathValue, dir));
    else if (!wxDirExists(dir))
        findings.Problem(wxString::Format(
            _("%s in the registry names a directory that does not exist: \"%s\". Install the "
              "product again."),
            kDataPathValue, dir));
}

// Values the program would read that only the other registry view holds.
void CheckOtherView(Findings& findings)
{
    const ProductKey other(kOtherView);
    if (!other.Exists())
        return;
    for (const wxString& name : {kAppPathValue, kDataPathValue, kRegisteredValue})
    {
        wxString otherText;
        if (other.Read(name, otherText) &&
            CRegChecker(kClientKeyPath, name).GetValue(wxString()).empty())
            findings.Problem(wxString::Format(
                _("%s is set only in the %d-bit registry view, which the installed %d-bit program "
                  "does not read: an installer for the other kind of Windows program was used. "
                  "Uninstall it and install the matching one."),
                name, ViewBits(kOtherView), ViewBits(kOwnView)));
    }
}

} // namespace

Installation ReadInstallation()
{
    Installation installation;
    // The system's own Windows directory, whatever this process would be
    // shown on a terminal server.
    wchar_t buffer[MAX_PATH];
    const UINT length = ::GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        installation.registrationFile = wxString(buffer, length) + wxS("\\") + kRegistrationFileName;

    // A value that cannot be read is judged, not logged.
    const wxLogNull quiet;
    const CRegistryKey key(kClientKeyPath);
    installation.keyExists = key.Exists();
    wxString appPath;
    installation.startUpRefusal = CheckAppPath(key, appPath);
    installation.appPath = ReadProductPath(kAppPathValue);
    installation.dataPath = ReadProductPath(kDataPathValue);
    if (!installation.dataPath.empty())
        installation.dataConfigPath = installation.dataPath + wxS("\\") + kDataConfigDirName;
    return installation;
}

void CheckSettings(const Installation& installation, const Answered& answered,
                   Findings& findings)
{
    const wxLogNull quiet;
    if (!answered.startUp && !installation.startUpRefusal.empty())
        findings.Problem(wxString::Format(
            _("tvdds.exe cannot start: it shows \"%s\". Install the product again."),
            installation.startUpRefusal));
    if (installation.keyExists)
    {
        CheckDataPath(installation.dataPath, findings);
        if (CRegChecker(kClientKeyPath, kRegisteredValue).GetValue(wxString()) != wxS("1"))
            findings.Problem(wxString::Format(
                _("%s is not 1: the product was not registered in vdds_mmi.ini yet, or its last "
                  "registration failed. Run \"tvdds.exe initsetup\" as an administrator, or "
                  "install "
                  "the product again, and read its message."),
                kRegisteredValue));
    }
    if (HasOtherView())
        CheckOtherView(findings);
}
