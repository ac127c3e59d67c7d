#pragma once

#include <wx/dialog.h>

// The hidden dialog that does the program's work while it is constructed:
// it resolves the product's directories, registers the product once and
// starts the imaging client, or only removes the registration when the
// uninstaller asks, then closes itself.
class vorastarter : public wxDialog
{
    wxDECLARE_DYNAMIC_CLASS(vorastarter);
    wxDECLARE_EVENT_TABLE();

public:
    vorastarter();
    vorastarter(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos,
                const wxSize& size, long style);

    bool Create(wxWindow* parent, wxWindowID id, const wxString& caption, const wxPoint& pos,
                const wxSize& size, long style);

    void Init();
    wxString ReadRegistryPath(const wxString& valueName);
    void RegisterOnce();
    void Unregister();
    void Launch();
    void OnCloseWindow(wxCloseEvent& event);
    bool Destroy() override;

    // What the process should end with: 1 when a set-up run could not
    // register the product, or a removal run could not remove it; 0
    // otherwise.
    int ExitCode() const { return m_exitCode; }

private:
    // Starts the imaging client found beside this program or on its search
    // path, never in the current directory.
    void StartFoundClient(const wxString& patientFile) const;

    wxString m_windowsDir;
    wxString m_appPath;
    wxString m_dataPath;
    bool m_dsWinCaller = false;
    // The first argument asks only for the set-up pass, or only for the
    // removal of the registration; neither starts the client.
    bool m_setUpRequest = false;
    bool m_removeRequest = false;
    // False when the product's registration is not as the run asked.
    bool m_registered = true;
    int m_exitCode = 0;
};
