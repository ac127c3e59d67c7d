#include "common/messagebox.h"

#include <wx/msgdlg.h>

#include "common/platform.h"
#include "common/requestedlog.h"

void ShowMessageBox(const wxString& message, const wxString& caption, long style)
{
    AppendToRequestedLog(message);
    if (CanShowWindows())
    {
        wxMessageBox(message, caption, style, nullptr);
        return;
    }
    ReportToEventLog(message, (style & wxICON_ERROR)     ? EventType::Error
                              : (style & wxICON_WARNING) ? EventType::Warning
                                                         : EventType::Information);
}
