#include "common/pathrules.h"

#include <wx/filefn.h>

bool IsUsableInstallPath(const wxString& dir, wxPathFormat format)
{
    if (dir.empty() || wxIsspace(dir[0]) || wxIsspace(dir.Last()))
        return false;
    // The directory as read has lost one trailing separator: "C:\" is "C:".
    const wxString path = dir + wxFileName::GetPathSeparator(format);
    if (wxFileName::GetFormat(format) != wxPATH_DOS)
        return path[0] == '/';

    if (path.length() >= 3 && wxIsalpha(path[0]) && path[1] == ':' && path[2] == '\\')
        return true;
    wxString unc;
    if (!path.StartsWith(wxS("\\\\"), &unc))
        return false;
    const wxString server = unc.BeforeFirst('\\');
    const wxString share = unc.AfterFirst('\\').BeforeFirst('\\');
    return !server.empty() && !share.empty();
}

wxString StripOneTrailingSeparator(const wxString& path)
{
    if (path.EndsWith(wxString(wxFILE_SEP_PATH)))
        return path.BeforeLast(wxFILE_SEP_PATH);
    return path;
}

wxString QuoteWindowsArgument(const wxString& argument)
{
    // An empty argument is quoted as well, or the receiver would see none.
    if (!argument.empty() && argument.find_first_of(wxS(" \t\"")) == wxString::npos)
        return argument;

    // Backslashes are literal unless a double quote follows them: then each
    // one must be doubled, and the quote itself escaped. The closing quote
    // counts as such a follower too.
    wxString quoted(wxS("\""));
    size_t pendingBackslashes = 0;
    for (const wxUniChar ch : argument)
    {
        if (ch == '\\')
        {
            ++pendingBackslashes;
            continue;
        }
        if (ch == '"')
            quoted.append(2 * pendingBackslashes + 1, '\\');
        else
            quoted.append(pendingBackslashes, '\\');
        pendingBackslashes = 0;
        quoted += ch;
    }
    quoted.append(2 * pendingBackslashes, '\\');
    quoted += '"';
    return quoted;
}
