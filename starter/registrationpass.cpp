#include "starter/registrationpass.h"

#include <memory>

#include <wx/datetime.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "registry/regchecker.h"
#include "registry/regkey.h"
#include "starter/accessrights.h"
#include "starter/backup.h"
#include "starter/filereplace.h"
#include "starter/iniedit.h"
#include "starter/launchrules.h"
#include "starter/platform.h"
#include "starter/product.h"

CVddsRegistration::CVddsRegistration(const wxString& appPath, const wxString& dataPath,
                                     bool dsWinCaller)
    : m_appPath(appPath), m_dataPath(dataPath), m_dsWinCaller(dsWinCaller)
{
}

bool CVddsRegistration::RegisterOnce()
{
    const std::unique_ptr<CRegChecker> written(new CRegChecker(kClientKeyPath, kRegisteredValue));
    if (written->KeyExists())
    {
        if (written->GetValue(wxString()).IsSameAs(wxS("1"), false))
            return true;
    }
    else
    {
        CRegistryKey(kClientKeyPath).Create();
    }

    // The flag is set only once the file holds the product, so that a pass
    // that was refused or interrupted runs again at the next start; a product
    // the file already lists keeps that from adding a second entry.
    const PassResult result = WriteRegistration();
    if (!result.Is(PassResult::Outcome::Refused))
    {
        written->SetValue(wxS("1"));
        return true;
    }
    wxLogError(_("Tivora was not registered in %s: %s. The file was left unchanged; the "
                 "registration will be tried again at the next start."),
               RegistrationFilePath(), result.Explanation());
    return false;
}

wxString CVddsRegistration::RegistrationFilePath() const
{
    if (m_windowsDir.empty())
        return kRegistrationFileName;
    return m_windowsDir + wxFILE_SEP_PATH + kRegistrationFileName;
}

PassResult CVddsRegistration::WriteRegistration()
{
    m_windowsDir = WindowsDirectory();
    const PassResult result = RegisterInFile();
    OpenDataConfigRights();
    if (!m_windowsDir.empty())
        OpenAccessRights(RegistrationFilePath());
    return result;
}

void CVddsRegistration::OpenDataConfigRights() const
{
    // Without a data directory in the registry there is nothing to open.
    if (m_dataPath.empty())
        return;
    wxString refusal;
    bool isLink = false;
    if (!IsUsableInstallPath(wxPathOnly(m_dataPath)))
        refusal = _("the data directory in the registry is not an absolute path");
    else if (!OpenDirectoryAccessRights(m_dataPath, isLink) && isLink)
        refusal = _("it is a link, which is never followed");
    if (!refusal.empty())
        wxLogError(_("The access rights of %s were not opened: %s."), m_dataPath, refusal);
}

PassResult CVddsRegistration::RegisterInFile()
{
    if (m_windowsDir.empty())
        return PassResult::Refused(_("the Windows directory is unknown"));
    if (!IsUsableInstallPath(m_appPath))
        return PassResult::Refused(
            _("the installation directory in the registry is not an absolute path"));
    return RetryWhileFileChanges([this] { return TryRegisterInFile(RegistrationFilePath()); });
}

PassResult RetryWhileFileChanges(const std::function<PassResult()>& attempt)
{
    for (int n = 0; n < kEditAttempts; ++n)
    {
        const PassResult result = attempt();
        if (!result.Is(PassResult::Outcome::FileChanged))
            return result;
    }
    return PassResult::Refused(_("another program kept changing the file"));
}

PassResult CVddsRegistration::TryRegisterInFile(const wxString& iniPath)
{
    // Nothing is written unless the whole file could be read and decoded:
    // the file holds every other imaging vendor's registration too.
    const wxCSConv conv = LocalEncoding();
    std::string oldBytes;
    wxString oldText;
    unsigned long error = 0;
    if (!ReadWholeFile(iniPath, oldBytes, error))
        return PassResult::Refused(_("the file could not be read"), error);
    if (!DecodeText(oldBytes, conv, oldText))
        return PassResult::Refused(_("its text is not in the system's character set"));
    if (wxFileExists(iniPath))
        BackupRegistration(iniPath, oldBytes);

    std::string newBytes;
    const wxString programPath = m_appPath + wxFILE_SEP_PATH + kProgramFileName;
    const PassResult edit =
        BuildRegisteredFile(iniPath, oldBytes, oldText, programPath, m_dsWinCaller, conv, newBytes);
    // The model is built from a second read of the file, which may have met
    // another program's change rather than a line the edit loses.
    if (edit.Is(PassResult::Outcome::Refused) && !FileHolds(iniPath, oldBytes))
        return PassResult::Of(PassResult::Outcome::FileChanged);
    if (!edit.Is(PassResult::Outcome::Done))
        return edit;
    return ReplaceFileIfUnchanged(iniPath, oldBytes, newBytes);
}

void CVddsRegistration::BackupRegistration(const wxString& iniPath, const std::string& fileBytes)
{
    wxString backupPath;
    const PassResult backup =
        WriteBackup(BackupBytes(fileBytes), m_appPath, wxDateTime::Now(), backupPath);
    if (backup.Is(PassResult::Outcome::Refused))
        wxLogError(_("No backup of %s was made in %s: %s."), iniPath, m_appPath,
                   backup.Explanation());
}
