#include "starter/registration.h"

#include <memory>

#include <wx/datetime.h>
#include <wx/filefn.h>

#include "registry/clientkey.h"
#include "registry/regchecker.h"
#include "registry/regkey.h"
#include "starter/accessrights.h"
#include "starter/localencoding.h"
#include "starter/processargs.h"
#include "starter/vddsregistration.h"
#include "starter/windowsdir.h"

CVddsRegistration::CVddsRegistration(const wxString& appPath, const wxString& dataPath,
                                     bool dsWinCaller)
    : m_appPath(appPath), m_dataPath(dataPath), m_dsWinCaller(dsWinCaller)
{
}

void CVddsRegistration::RegisterOnce()
{
    const std::unique_ptr<CRegChecker> written(
        new CRegChecker(kClientKeyPath, wxS("VddsIniWritten")));
    if (written->KeyExists())
    {
        if (written->GetValue(wxString()).IsSameAs(wxS("1"), false))
            return;
    }
    else
    {
        CRegistryKey(kClientKeyPath).Create();
    }

    // The flag goes first, so that a crash in the middle of the pass cannot
    // lead to a second product entry; a pass that did not register the
    // product withdraws it, so that the next run tries again.
    written->SetValue(wxS("1"));
    if (!WriteRegistration())
        written->SetValue(wxS("0"));
}

bool CVddsRegistration::WriteRegistration()
{
    m_windowsDir = WindowsDirectory();
    // Without the Windows directory there is no registration file to edit.
    if (m_windowsDir.empty())
        return false;
    const wxString iniPath = m_windowsDir + wxFILE_SEP_PATH + wxS("vdds_mmi.ini");
    const wxCSConv conv = LocalEncoding();

    // Nothing is written unless the whole file could be read and decoded:
    // the file holds every other imaging vendor's registration too.
    bool registered = false;
    wxString oldText;
    if (ReadDecodedFile(iniPath, conv, oldText))
    {
        if (wxFileExists(iniPath))
            BackupRegistration(oldText);

        wxString newText;
        const wxString programPath = m_appPath + wxFILE_SEP_PATH + kProgramFileName;
        switch (BuildRegisteredText(iniPath, oldText, programPath, m_dsWinCaller, conv, newText))
        {
        case RegistrationOutcome::AlreadyPresent:
            registered = true;
            break;
        case RegistrationOutcome::Added:
            registered = ReplaceWithEncodedText(iniPath, newText, conv);
            break;
        case RegistrationOutcome::Failed:
            break;
        }
    }

    OpenAccessRights(m_dataPath);
    OpenAccessRights(iniPath);
    return registered;
}

void CVddsRegistration::BackupRegistration(const wxString& registrationText)
{
    WriteBackup(registrationText, m_appPath, wxDateTime::Now(), LocalEncoding());
}
