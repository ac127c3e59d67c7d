#include "app/starterlog.h"

#include <wx/arrstr.h>
#include <wx/dialog.h>

#include "common/platform.h"
#include "common/requestedlog.h"

namespace
{

bool CanCreateDialog()
{
    const wxLogNull quiet;
    wxDialog probe;
    return probe.Create(nullptr, wxID_ANY, wxString());
}

EventType EventTypeOf(int logLevel)
{
    if (logLevel <= wxLOG_Error)
        return EventType::Error;
    return logLevel == wxLOG_Warning ? EventType::Warning : EventType::Information;
}

} // namespace

void StarterLog::Flush()
{
    for (const wxString& message : m_aMessages)
        AppendToRequestedLog(message);
    if (m_bHasMessages && !CanShowWindows())
    {
        for (size_t i = 0; i < m_aMessages.size(); ++i)
            ReportToEventLog(m_aMessages[i], EventTypeOf(m_aSeverity[i]));
        Clear();
        return;
    }
    if (m_aMessages.size() > 1 && !CanCreateDialog())
    {
        const wxString joined = wxJoin(m_aMessages, '\n', '\0');
        m_aMessages.Clear();
        m_aMessages.Add(joined);
        m_aSeverity.RemoveAt(1, m_aSeverity.size() - 1);
        m_aTimes.RemoveAt(1, m_aTimes.size() - 1);
    }
    wxLogGui::Flush();
}

wxLog* StarterAppTraits::CreateLogTarget()
{
    return new StarterLog;
}
