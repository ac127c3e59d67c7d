#include "common/requestedlog.h"

#include <wx/file.h>
#include <wx/log.h>
#include <wx/utils.h>

void AppendToRequestedLog(const wxString& text)
{
    wxString path;
    if (!wxGetEnv(kLogVariable, &path) || path.empty())
        return;
    const wxLogNull quiet;
    wxFile log;
    if (!log.Open(path, wxFile::write_append))
        return;
    wxString line = wxS("tvdds: ") + text + wxS("\r\n");
    line.Replace(wxS("\n"), wxS("\r\n"));
    line.Replace(wxS("\r\r\n"), wxS("\r\n"));
    const wxScopedCharBuffer bytes = line.utf8_str();
    log.Write(bytes.data(), bytes.length());
}
