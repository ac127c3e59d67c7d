#include "starter/vorastarter.h"

#include <memory>

#include <wx/app.h>
#include <wx/intl.h>
#include <wx/log.h>

#include "registry/regchecker.h"
#include "starter/launchrules.h"
#include "common/messagebox.h"
#include "common/pathrules.h"
#include "common/platform.h"
#include "common/product.h"
#include "registration/registrationpass.h"

#ifndef wxHAS_IMAGES_IN_RESOURCES
#include "resources/AppIcon.xpm"
#endif

wxIMPLEMENT_DYNAMIC_CLASS(vorastarter, wxDialog);

wxBEGIN_EVENT_TABLE(vorastarter, wxDialog)
    EVT_CLOSE(vorastarter::OnCloseWindow)
wxEND_EVENT_TABLE()

vorastarter::vorastarter()
{
    Init();
}

vorastarter::vorastarter(wxWindow* parent, wxWindowID id, const wxString& caption,
                         const wxPoint& pos, const wxSize& size, long style)
{
    Init();
    Create(parent, id, caption, pos, size, style);
}

bool vorastarter::Create(wxWindow* parent, wxWindowID id, const wxString& caption,
                         const wxPoint& pos, const wxSize& size, long style)
{
    SetExtraStyle(wxWS_EX_BLOCK_EVENTS);
    wxDialog::Create(parent, id, caption, pos, size, style, wxS("dialog"));
    SetIcon(wxICON(AppIcon));
    Launch();
    return true;
}

void vorastarter::Init()
{
    m_dataPath.clear();
    m_appPath = ReadRegistryPath(kAppPathValue);
    m_dataPath = ReadRegistryPath(kDataPathValue);

    const wxArrayString args = ProcessArguments();
    m_dsWinCaller = args.size() > 2 && IsDsWinCaller(args[2]);
    m_setUpRequest = args.size() > 1 && IsInitSetupRequest(args[1]);
    m_removeRequest = args.size() > 1 && IsRemoveSetupRequest(args[1]);

    if (!m_dataPath.empty())
        m_dataPath += wxFILE_SEP_PATH + kDataConfigDirName;

    if (m_removeRequest)
        Unregister();
    else
        RegisterOnce();
}

wxString vorastarter::ReadRegistryPath(const wxString& valueName)
{
    const std::unique_ptr<CRegChecker> checker(new CRegChecker(kClientKeyPath, valueName));
    return StripOneTrailingSeparator(checker->GetValue(wxString()));
}

void vorastarter::RegisterOnce()
{
    CVddsRegistration registration(m_appPath, m_dataPath, m_dsWinCaller);
    // An explicit set-up run always runs the pass: it repairs the file and
    // opens the rights again, and changes nothing that is right.
    m_registered = m_setUpRequest ? registration.Register() : registration.RegisterOnce();
    m_windowsDir = registration.WindowsDir();
}

void vorastarter::Unregister()
{
    CVddsRegistration registration(m_appPath, m_dataPath, m_dsWinCaller);
    m_registered = registration.Unregister();
    m_windowsDir = registration.WindowsDir();
}

void vorastarter::Launch()
{
    const wxArrayString args = ProcessArguments();
    if (args.size() < 2)
        ShowMessageBox(_("No patient data file found"), _("Warning!"), wxOK | wxICON_ERROR);
    else if (!m_removeRequest && !m_setUpRequest)
        StartFoundClient(args[1]);
    else if (!m_registered)
        m_exitCode = 1;
    Close(true);
}

void vorastarter::StartFoundClient(const wxString& patientFile) const
{
    const wxString client = FindOwnClient();
    if (!client.empty())
    {
        StartClient(client, patientFile);
        return;
    }
    // Reported as a start the system could not find the program for.
    const unsigned long kFileNotFound = 2;
    wxLogSysError(kFileNotFound, _("Execution of command '%s' failed"),
                  kClientFileName + wxS(" ") + patientFile);
}

void vorastarter::OnCloseWindow(wxCloseEvent& event)
{
    Destroy();
    event.Skip();
}

// The library deletes a dialog whose window could not be created (no desktop
// to create it on) at once, while its close handlers and the application
// still use it. Such a dialog, too, is deleted by the running event loop,
// whose end then also ends the program.
bool vorastarter::Destroy()
{
    if (GetHandle())
        return wxDialog::Destroy();
    wxTheApp->ScheduleForDestruction(this);
    return true;
}
