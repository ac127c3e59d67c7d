#include "registration/registrationpass.h"

#include <algorithm>
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
                                     bool dsWinCaller, SystemReader systemReader)
    : m_appPath(appPath),
      m_dataPath(dataPath),
      m_dsWinCaller(dsWinCaller),
      m_systemReader(std::move(systemReader))
{
}

SystemReader CVddsRegistration::DefaultSystemReader()
{
    return HasSystemReader() ? SystemReader(&ReadWithSystemReader) : SystemReader();
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
    else if (result.Is(PassResult::Outcome::KeptAside))
        wxLogError(_("Tivora's registration met another program's change of the file: %s. "
                     "Compare the two files; the registration will be tried again at the next "
                     "start."),
                   result.reason);
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
    ReadersView before;
    const PassResult result = EditFile(
        [this](const RegistrationFileLines& file, std::string& newBytes) {
            return BuildRegisteredFile(file, ProgramPath(), m_dsWinCaller, LocalEncoding(),
                                       newBytes);
        },
        before);
    const PassResult confirmed = ConfirmedBySystemReader(result, before, true);
    OpenDataConfigRights();
    if (!m_windowsDir.empty())
        OpenAccessRights(RegistrationFilePath());
    return confirmed;
}

PassResult CVddsRegistration::PlanRegistration(const RegistrationFileLines& file,
                                               std::vector<LineChange>& changes) const
{
    changes.clear();
    const PassResult refusal = InstallationRefusal();
    if (!refusal.Is(PassResult::Outcome::Done))
        return refusal;
    return PlanRegisteredFile(file, ProgramPath(), m_dsWinCaller, LocalEncoding(), changes);
}

bool CVddsRegistration::Unregister()
{
    m_windowsDir = WindowsDirectory();
    ReadersView before;
    const PassResult result = EditFile(
        [this](const RegistrationFileLines& file, std::string& newBytes)
        {
            return BuildUnregisteredFile(
                file, ProgramPath(), [](const wxString& program) { return wxFileExists(program); },
                LocalEncoding(), newBytes);
        },
        before);
    if (result.Is(PassResult::Outcome::OtherInstallation))
    {
        wxLogWarning(_("Tivora was left registered in %s: the registration calls another "
                       "installation's program, not %s."),
                     RegistrationFilePath(), ProgramPath());
        return true;
    }
    const PassResult confirmed = ConfirmedBySystemReader(result, before, false);
    if (confirmed.Succeeded())
        return true;
    if (confirmed.Is(PassResult::Outcome::ReaderDisagrees))
        wxLogError(_("Tivora was taken out of %s as Windows reads such files, but the system's "
                     "own reader of the file %s."),
                   RegistrationFilePath(), confirmed.reason);
    else if (confirmed.Is(PassResult::Outcome::KeptAside))
        wxLogError(_("The removal of Tivora met another program's change of the file: %s. "
                     "Compare the two files."),
                   confirmed.reason);
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

PassResult CVddsRegistration::EditFile(const FileEdit& edit, ReadersView& before)
{
    if (m_windowsDir.empty())
        return PassResult::Refused(_("the Windows directory is unknown"));
    const PassResult refusal = InstallationRefusal();
    if (!refusal.Is(PassResult::Outcome::Done))
        return refusal;
    return RetryWhileFileChanges(
        [&] { return TryEditFile(RegistrationFilePath(), edit, before); });
}

PassResult CVddsRegistration::InstallationRefusal() const
{
    if (m_appPath.empty())
        return PassResult::Refused(_("the registry names no installation directory"));
    if (!IsUsableInstallPath(m_appPath))
        return PassResult::Refused(
            _("the installation directory in the registry is not an absolute path"));
    return PassResult::Of(PassResult::Outcome::Done);
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

PassResult CVddsRegistration::TryEditFile(const wxString& iniPath, const FileEdit& edit,
                                          ReadersView& before)
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
    // What the system's reader finds now is what it finds in `oldBytes`: the
    // replace goes ahead only while the file still holds them.
    if (m_systemReader)
    {
        const PassResult seen = m_systemReader(iniPath, before);
        if (!seen.Is(PassResult::Outcome::Done))
            return PassResult::Refused(wxString::Format(
                _("the system's own reader of the file could not read it: %s"),
                seen.Explanation()));
    }
    const PassResult replaced = ReplaceFileIfUnchanged(iniPath, oldBytes, newBytes);
    if (replaced.Is(PassResult::Outcome::Done))
    {
        m_replacedBytes = std::move(oldBytes);
        m_writtenBytes = std::move(newBytes);
    }
    return replaced;
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
                                                      const ReadersView& before,
                                                      bool registered) const
{
    if (!result.Succeeded() || !m_systemReader)
        return result;
    ReadersView after;
    const PassResult read = m_systemReader(RegistrationFilePath(), after);
    if (!read.Is(PassResult::Outcome::Done))
        return PassResult{PassResult::Outcome::ReaderDisagrees,
                          wxString::Format(_("cannot read it: %s"), read.Explanation()), 0};
    // A file left as it was reads now as it read before.
    const wxString disagreement = SystemReaderDisagreement(
        result.Is(PassResult::Outcome::Done) ? before : after, after, ProgramPath(), registered);
    if (disagreement.empty())
        return result;
    // The reader practice software uses would meet the change as this
    // reader does: the file goes back to what every vendor had before.
    if (result.Is(PassResult::Outcome::Done))
        return PassResult{PassResult::Outcome::ReaderDisagrees,
                          disagreement + PutBackLastReplace(), 0};
    return PassResult{PassResult::Outcome::ReaderDisagrees, disagreement, 0};
}

wxString CVddsRegistration::PutBackLastReplace() const
{
    const PassResult putBack =
        ReplaceFileIfUnchanged(RegistrationFilePath(), m_writtenBytes, m_replacedBytes);
    if (putBack.Is(PassResult::Outcome::Done))
        return _("; the file was put back as it was before");
    if (putBack.Is(PassResult::Outcome::FileChanged))
        return _("; the file was not put back: another program changed it in the meantime");
    if (putBack.Is(PassResult::Outcome::KeptAside))
        return wxString::Format(_("; putting the file back met another program's change: %s"),
                                putBack.reason);
    return wxString::Format(_("; the file could not be put back as it was before (%s), so it "
                              "holds the change"),
                            putBack.Explanation());
}

namespace
{

std::vector<wxString> WithoutProduct(const std::vector<wxString>& systems)
{
    std::vector<wxString> others;
    std::copy_if(systems.begin(), systems.end(), std::back_inserter(others),
                 [](const wxString& system) { return !IsSameProfileName(system, kProductSection); });
    return others;
}

bool Contains(const std::vector<wxString>& systems, const wxString& system)
{
    return std::any_of(systems.begin(), systems.end(),
                       [&](const wxString& listed) { return listed == system; });
}

// The first difference between the systems the reader should list
// (`expected`, followed by any others where `moreAllowed`) and those it
// lists, in words that follow "the system's own reader of the file"; empty
// when there is none.
wxString ListChange(const std::vector<wxString>& expected, const std::vector<wxString>& listed,
                    bool moreAllowed)
{
    for (size_t i = 0; i < expected.size(); ++i)
    {
        if (!Contains(listed, expected[i]))
            return wxString::Format(_("no longer lists %s, which it listed before"), expected[i]);
        if (i >= listed.size() || listed[i] != expected[i])
            return wxString::Format(_("lists %s in another place than before"), expected[i]);
    }
    if (!moreAllowed && listed.size() > expected.size())
        return wxString::Format(_("now lists %s, which it did not list before"),
                                listed[expected.size()]);
    return wxString();
}

} // namespace

wxString SystemReaderDisagreement(const ReadersView& before, const ReadersView& after,
                                  const wxString& programPath, bool registered)
{
    const std::vector<wxString> others = WithoutProduct(before.systems);
    if (!registered)
    {
        if (after.Lists(kProductSection))
            return _("still lists Tivora");
        return ListChange(others, after.systems, false);
    }
    const size_t listings = after.systems.size() - WithoutProduct(after.systems).size();
    if (listings == 0 && after.systems.empty())
        return _("finds no imaging system in the list");
    if (listings == 0)
        return wxString::Format(_("lists %s, not Tivora"), after.JoinedSystems());
    if (listings > 1)
        return _("lists Tivora more than once");
    // Systems behind the number readers stopped at may come to light.
    const wxString change = ListChange(others, WithoutProduct(after.systems), true);
    if (!change.empty())
        return change;
    if (after.program.empty())
        return _("finds no program that calls Tivora");
    if (!after.program.IsSameAs(programPath, false))
        return wxString::Format(_("finds Tivora calling %s, not %s"), after.program, programPath);
    return wxString();
}
