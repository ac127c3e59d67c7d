#pragma once

#include <wx/string.h>

// The one-time entry of the product into vdds_mmi.ini, guarded by the
// registry flag VddsIniWritten.
class CVddsRegistration
{
public:
    CVddsRegistration(const wxString& appPath, const wxString& dataPath, bool dsWinCaller);

    // Runs the registration pass unless the flag says it already ran.
    void RegisterOnce();
    // True when the registration file holds the product afterwards.
    bool WriteRegistration();
    void BackupRegistration(const wxString& registrationText);

    const wxString& WindowsDir() const { return m_windowsDir; }

private:
    wxString m_appPath;
    wxString m_dataPath;
    bool m_dsWinCaller;
    wxString m_windowsDir;
};
