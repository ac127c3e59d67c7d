#pragma once

#include <wx/dialog.h>

// The hidden dialog that does the program's work while it is constructed:
// it resolves the product's directories, registers the product once and
// starts the imaging client, then closes itself.
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
    void Launch();
    void OnCloseWindow(wxCloseEvent& event);
    bool Destroy() override;

private:
    wxString m_windowsDir;
    wxString m_appPath;
    wxString m_dataPath;
    bool m_dsWinCaller = false;
};
