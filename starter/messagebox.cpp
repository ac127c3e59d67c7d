#include "starter/messagebox.h"

#include <wx/msgdlg.h>

#include "starter/platform.h"

void ShowMessageBox(const wxString& message, const wxString& caption, long style)
{
    if (CanShowWindows())
    {
        wxMessageBox(message, caption, style, nullptr);
        return;
    }
    ReportToEventLog(message, (style & wxICON_ERROR)     ? EventType::Error
                              : (style & wxICON_WARNING) ? EventType::Warning
                                                         : EventType::Information);
}
