#pragma once

#include <wx/app.h>
#include <wx/intl.h>

// The application object: checks the installation's registry settings, sets
// up the user's language and hands over to the hidden starter dialog.
class StarterApp : public wxApp
{
    wxDECLARE_CLASS(StarterApp);

public:
    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;
    wxAppTraits* CreateTraits() override;

    int LoadConfiguration();
    int InitLanguage();

private:
    // Stays current for the life of the process and is never deleted.
    wxLocale* m_locale = nullptr;
    wxString m_appPath;
    // The exit code of a run whose event loop ended normally.
    int m_exitCode = 0;
};

wxDECLARE_APP(StarterApp);
