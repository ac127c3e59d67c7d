#pragma once

#include <string>

#include <wx/string.h>

// The one-time entry of the product into vdds_mmi.ini, guarded by the
// registry flag VddsIniWritten.
class CVddsRegistration
{
public:
    CVddsRegistration(const wxString& appPath, const wxString& dataPath, bool dsWinCaller);

    // Runs the registration pass unless the flag says it already ran; a pass
    // that leaves the product unregistered is reported in the wx error log.
    void RegisterOnce();
    // Runs the pass and opens the access rights. Returns an empty string when
    // the registration file holds the product afterwards, otherwise why it
    // does not, in plain words.
    wxString WriteRegistration();
    void BackupRegistration(const std::string& fileBytes, const wxString& fileText);

    const wxString& WindowsDir() const { return m_windowsDir; }

private:
    wxString RegistrationFilePath() const;

    enum class Attempt
    {
        Registered,
        FileChanged,
        Refused,
    };

    wxString RegisterInFile(const wxString& iniPath);
    // One attempt at the edit; `failure` says why when it was refused.
    Attempt TryRegisterInFile(const wxString& iniPath, wxString& failure);

    wxString m_appPath;
    wxString m_dataPath;
    bool m_dsWinCaller;
    wxString m_windowsDir;
};
