#include "registration/registrationpass.h"

#include <memory>

#include <wx/datetime.h>
#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "registry/regchecker.h"
#include "registry/regkey.h"
#include "registration/accessrights.h"
#include "registration/backup.h"
#include "registration/filereplace.h"
#include "registration/systemreader.h"
#include "common/pathrules.h"
#include "common/platform.h"
#include "common/product.h"

CVddsRegistration::CVddsRegistration(const wxString& appPath, const wxString& dataPath,
                                     bool dsWinCaller)
    : m_appPath(appPath), m_dataPath(dataPath), m_dsWinCaller(dsWinCaller)
{
}

bool CVddsRegistration::RegisterOnce()
{
    const std::unique_ptr<CRegChecker> written(new CRegChecker(kClientKeyPath, kRegisteredValue));
    if (written->KeyExists() && written->GetValue(wxString()).IsSameAs(wxS("1"), false))
        return true;
    return Register();
}

bool CVddsRegistration::Register()
{
    const std::unique_ptr<CRegChecker> written(new CRegChecker(kClientKeyPath, kRegisteredValue));
    if (!written->KeyExists())
        CRegistryKey(kClientKeyPath).Create();

    // The flag is set only once the file holds the product, so that a pass
    // that was refused or interrupted runs again at the next start; a product
    // the file already lists keeps that from adding a second entry.
    const PassResult result = WriteRegistration();
    if (result.Succeeded())
    {
        written->SetValue(wxS("1"));
        return true;
    }
    if (result.Is(PassResult::Outcome::ReaderDisagrees))
        wxLogError(_("Tivora was entered in %s as Windows reads such files, but the system's own "
                     "reader of the file %s. The registration will be tried again at the next "
                     "start."),
                   RegistrationFilePath(), result.reason);
    else
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
    const PassResult result = EditFile(
        [this](const RegistrationFileLines& file, std::string& newBytes) {
            return BuildRegisteredFile(file, ProgramPath(), m_dsWinCaller, LocalEncoding(),
                                       newBytes);
        });
    const PassResult confirmed = ConfirmedBySystemReader(result, true);
    OpenDataConfigRights();
    if (!m_windowsDir.empty())
        OpenAccessRights(RegistrationFilePath());
    return confirmed;
}

bool CVddsRegistration::Unregister()
{
    m_windowsDir = WindowsDirectory();
    const PassResult result = EditFile(
        [this](const RegistrationFileLines& file, std::string& newBytes)
        {
            return BuildUnregisteredFile(
                file, ProgramPath(), [](const wxString& program) { return wxFileExists(program); },
                LocalEncoding(), newBytes);
        });
    if (result.Is(PassResult::Outcome::OtherInstallation))
    {
        wxLogWarning(_("Tivora was left registered in %s: the registration calls another "
                       "installation's program, not %s."),
                     RegistrationFilePath(), ProgramPath());
        return true;
    }
    const PassResult confirmed = ConfirmedBySystemReader(result, false);
    if (confirmed.Succeeded())
        return true;
    if (confirmed.Is(PassResult::Outcome::ReaderDisagrees))
        wxLogError(_("Tivora was taken out of %s as Windows reads such files, but the system's "
                     "own reader of the file %s."),
                   RegistrationFilePath(), confirmed.reason);
    else
        wxLogError(_("Tivora could not be removed from %s: %s. The file was left unchanged."),
                   RegistrationFilePath(), confirmed.Explanation());
    return false;
}

wxString CVddsRegistration::ProgramPath() const
{
    return m_appPath + wxFILE_SEP_PATH + kProgramFileName;
}

void CVddsRegistration::OpenDataConfigRights() const
{
    // Without a data directory in the registry there is nothing to open.
    if (m_dataPath.empty())
        return;
    wxString refusal;
    if (!IsUsableInstallPath(wxPathOnly(m_dataPath)))
        refusal = _("the data directory in the registry is not an absolute path");
    else
        switch (OpenDirectoryAccessRights(m_dataPath))
        {
        case DirectoryRights::Link:
            refusal = _("it is a link, or a link stands above it, and links are never followed");
            break;
        case DirectoryRights::NotADirectory:
            refusal = _("it is no directory");
            break;
        case DirectoryRights::Opened:
        case DirectoryRights::Failed:
            break;
        }
    if (!refusal.empty())
        wxLogError(_("The access rights of %s were not opened: %s."), m_dataPath, refusal);
}

PassResult CVddsRegistration::EditFile(const FileEdit& edit)
{
    if (m_windowsDir.empty())
        return PassResult::Refused(_("the Windows directory is unknown"));
    if (!IsUsableInstallPath(m_appPath))
        return PassResult::Refused(
            _("the installation directory in the registry is not an absolute path"));
    return RetryWhileFileChanges([&] { return TryEditFile(RegistrationFilePath(), edit); });
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

PassResult CVddsRegistration::TryEditFile(const wxString& iniPath, const FileEdit& edit)
{
    // Nothing is written unless the whole file could be read and its
    // structure understood: the file holds every other imaging vendor's
    // registration too.
    std::string oldBytes;
    RegistrationFileLines lines;
    const PassResult read = ReadRegistrationFile(iniPath, oldBytes, lines, m_appPath);
    if (!read.Is(PassResult::Outcome::Done))
        return read;
    if (wxFileExists(iniPath))
        BackupRegistration(iniPath, lines);

    std::string newBytes;
    const PassResult edited = edit(lines, newBytes);
    if (!edited.Is(PassResult::Outcome::Done))
        return edited;
    return ReplaceFileIfUnchanged(iniPath, oldBytes, newBytes);
}

void CVddsRegistration::BackupRegistration(const wxString& iniPath,
                                           const RegistrationFileLines& file)
{
    wxString backupPath;
    const PassResult backup =
        WriteBackup(BackupBytes(file), m_appPath, wxDateTime::Now(), backupPath);
    if (backup.Is(PassResult::Outcome::Refused))
        wxLogError(_("No backup of %s was made in %s: %s."), iniPath, m_appPath,
                   backup.Explanation());
}

PassResult CVddsRegistration::ConfirmedBySystemReader(const PassResult& result,
                                                      bool registered) const
{
    if (!result.Succeeded())
        return result;
    ReadersView system;
    if (!ReadWithSystemReader(RegistrationFilePath(), system))
        return result;
    const wxString disagreement = SystemReaderDisagreement(system, ProgramPath(), registered);
    if (disagreement.empty())
        return result;
    return PassResult{PassResult::Outcome::ReaderDisagrees, disagreement, 0};
}

wxString SystemReaderDisagreement(const ReadersView& system, const wxString& programPath,
                                  bool registered)
{
    const bool listed = system.Lists(kProductSection);
    if (!registered)
        return listed ? wxString(_("still lists Tivora")) : wxString();
    if (!listed && system.systems.empty())
        return _("finds no imaging system in the list");
    if (!listed)
        return wxString::Format(_("lists %s, not Tivora"), system.JoinedSystems());
    if (system.program.empty())
        return _("finds no program that calls Tivora");
    if (!system.program.IsSameAs(programPath, false))
        return wxString::Format(_("finds Tivora calling %s, not %s"), system.program, programPath);
    return wxString();
}
