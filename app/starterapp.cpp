#include "app/starterapp.h"

#include <memory>

#include "app/catalogloader.h"
#include "app/configuration.h"
#include "app/starterlog.h"
#include "registry/regkey.h"
#include "common/messagebox.h"
#include "common/product.h"
#include "starter/vorastarter.h"

wxIMPLEMENT_CLASS(StarterApp, wxApp);
wxIMPLEMENT_APP(StarterApp);

namespace
{

const wxWindowID kStarterDialogId = 10000;
const long kStarterDialogStyle =
    wxCAPTION | wxRESIZE_BORDER | wxSYSTEM_MENU | wxCLOSE_BOX | wxTAB_TRAVERSAL;

void ShowError(const wxString& message, const wxString& caption)
{
    ShowMessageBox(message, caption, wxICON_ERROR);
}

} // namespace

bool StarterApp::OnInit()
{
    // wxApp::OnInit() is not called: the program takes no command-line
    // options of its own, and its arguments belong to the starter dialog.
    if (LoadConfiguration() != 0)
    {
        ShowError(_("ERROR: Program can't be started!") + wxS("\n") +
                      _("Registry entries are incorrect"),
                  _("Registry error"));
        return false;
    }

    if (InitLanguage() != 0)
        ShowError(_("Unable to init language!"), _("Language initialisation error"));

    vorastarter* const starter =
        new vorastarter(nullptr, kStarterDialogId, wxS("vorastarter"), wxDefaultPosition,
                        wxSize(1, 1), kStarterDialogStyle);
    m_exitCode = starter->ExitCode();
    starter->Show(false);
    starter->Destroy();
    return true;
}

int StarterApp::OnRun()
{
    const int loopResult = wxApp::OnRun();
    return loopResult != 0 ? loopResult : m_exitCode;
}

int StarterApp::OnExit()
{
    wxApp::OnExit();
    return 0;
}

wxAppTraits* StarterApp::CreateTraits()
{
    return new StarterAppTraits;
}

int StarterApp::LoadConfiguration()
{
    m_appPath.clear();
    const std::unique_ptr<CRegistryKey> key(new CRegistryKey(kClientKeyPath));
    wxString appPath;
    const wxString failure = CheckAppPath(*key, appPath);
    if (!failure.empty())
    {
        ShowError(failure, _("Registry error"));
        return 1;
    }
    m_appPath = appPath;
    return 0;
}

int StarterApp::InitLanguage()
{
    m_locale = new wxLocale;
    if (!UseUserLanguage(*m_locale, m_appPath + wxFILE_SEP_PATH + wxS("lang")))
    {
        // The object stays the library's current locale; it is only forgotten.
        m_locale = nullptr;
        return 1;
    }
    return 0;
}
