#include "common/platform.h"

#include <syslog.h>

#include <wx/app.h>
#include <wx/utils.h>

#include "common/product.h"

wxString WindowsDirectory()
{
    wxString dir;
    if (!wxGetEnv(wxS("TVDDS_WINDOWS_DIR"), &dir) || dir.empty())
        dir = wxS("/var/lib/tvdds/windows");
    return dir;
}

wxCSConv LocalEncoding()
{
    return wxCSConv(wxFONTENCODING_CP1252);
}

unsigned AnsiCodePage()
{
    return 1252;
}

bool CanShowWindows()
{
    return true;
}

void ReportToEventLog(const wxString& text, EventType type)
{
    const int priority = type == EventType::Error     ? LOG_ERR
                         : type == EventType::Warning ? LOG_WARNING
                                                      : LOG_INFO;
    ::syslog(LOG_USER | priority, "%s: %s", kEventSourceName.utf8_str().data(),
             text.utf8_str().data());
}

wxArrayString ProcessArguments()
{
    // The system hands the arguments over already split.
    return wxTheApp->argv.GetArguments();
}

void StartClient(const wxString& client, const wxString& patientFile)
{
    const wchar_t* const argv[] = {client.wc_str(), patientFile.wc_str(), nullptr};
    wxExecute(argv, wxEXEC_ASYNC);
}
