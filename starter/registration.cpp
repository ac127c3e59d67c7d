#include "starter/registration.h"

#include <memory>

#include <wx/datetime.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "registry/clientkey.h"
#include "registry/regchecker.h"
#include "registry/regkey.h"
#include "starter/accessrights.h"
#include "starter/filereplace.h"
#include "starter/launchrules.h"
#include "starter/localencoding.h"
#include "starter/processargs.h"
#include "starter/vddsregistration.h"
#include "starter/windowsdir.h"

namespace
{

const wxString kRegistrationFileName(wxS("vdds_mmi.ini"));

// Another program that keeps rewriting the file wins after this many tries.
const int kEditAttempts = 5;

} // namespace

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

    // The flag is set only once the file holds the product, so that a pass
    // that was refused or interrupted runs again at the next start; a product
    // section already in the file keeps that from adding a second entry.
    const wxString failure = WriteRegistration();
    if (failure.empty())
    {
        written->SetValue(wxS("1"));
        return;
    }
    wxLogError(_("Tivora was not registered in %s: %s. The file was left unchanged; the "
                 "registration will be tried again at the next start."),
               RegistrationFilePath(), failure);
}

wxString CVddsRegistration::RegistrationFilePath() const
{
    if (m_windowsDir.empty())
        return kRegistrationFileName;
    return m_windowsDir + wxFILE_SEP_PATH + kRegistrationFileName;
}

wxString CVddsRegistration::WriteRegistration()
{
    m_windowsDir = WindowsDirectory();
    wxString failure;
    if (m_windowsDir.empty())
        failure = _("the Windows directory is unknown");
    else if (!IsUsableInstallPath(m_appPath))
        failure = _("the installation directory in the registry is not an absolute path");
    else
        failure = RegisterInFile(RegistrationFilePath());

    OpenAccessRights(m_dataPath);
    if (!m_windowsDir.empty())
        OpenAccessRights(RegistrationFilePath());
    return failure;
}

wxString CVddsRegistration::RegisterInFile(const wxString& iniPath)
{
    wxString failure;
    for (int attempt = 0; attempt < kEditAttempts; ++attempt)
    {
        if (TryRegisterInFile(iniPath, failure) != Attempt::FileChanged)
            return failure;
    }
    return _("another program kept changing the file");
}

CVddsRegistration::Attempt CVddsRegistration::TryRegisterInFile(const wxString& iniPath,
                                                                wxString& failure)
{
    // Nothing is written unless the whole file could be read and decoded:
    // the file holds every other imaging vendor's registration too.
    const wxCSConv conv = LocalEncoding();
    std::string oldBytes;
    wxString oldText;
    if (!ReadWholeFile(iniPath, oldBytes))
    {
        failure = _("the file could not be read");
        return Attempt::Refused;
    }
    if (!DecodeText(oldBytes, conv, oldText))
    {
        failure = _("its text is not in the system's character set");
        return Attempt::Refused;
    }
    if (wxFileExists(iniPath))
        BackupRegistration(oldBytes, oldText);

    wxString newText;
    const wxString programPath = m_appPath + wxFILE_SEP_PATH + kProgramFileName;
    switch (BuildRegisteredText(iniPath, oldText, programPath, m_dsWinCaller, conv, newText))
    {
    case RegistrationOutcome::AlreadyPresent:
        return Attempt::Registered;
    case RegistrationOutcome::Failed:
        // The edit is built from a second read of the file, which may have
        // met another program's change rather than a line the edit loses.
        if (!FileHolds(iniPath, oldBytes))
            return Attempt::FileChanged;
        failure = _("some of its lines could not have been kept exactly as they are");
        return Attempt::Refused;
    case RegistrationOutcome::Added:
        break;
    }

    std::string newBytes;
    if (!EncodeText(newText, conv, newBytes))
    {
        failure = _("the installation directory cannot be written in the system's character set");
        return Attempt::Refused;
    }
    switch (ReplaceFileIfUnchanged(iniPath, oldBytes, newBytes))
    {
    case ReplaceOutcome::Replaced:
        return Attempt::Registered;
    case ReplaceOutcome::Changed:
        return Attempt::FileChanged;
    case ReplaceOutcome::WriteProtected:
        failure = _("the file is write-protected");
        return Attempt::Refused;
    case ReplaceOutcome::Failed:
        break;
    }
    failure = _("the file could not be replaced");
    return Attempt::Refused;
}

void CVddsRegistration::BackupRegistration(const std::string& fileBytes, const wxString& fileText)
{
    std::string bytes;
    if (BackupBytes(fileBytes, fileText, LocalEncoding(), bytes))
        WriteBackup(bytes, m_appPath, wxDateTime::Now());
}
