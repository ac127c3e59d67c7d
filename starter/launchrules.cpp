#include "starter/launchrules.h"

#include <wx/filefn.h>
#include <wx/stdpaths.h>
#include <wx/tokenzr.h>
#include <wx/utils.h>

#include "common/pathrules.h"
#include "common/product.h"

namespace
{

// An absolute directory: "C:" alone names the current directory of drive C.
bool IsAbsoluteDirectory(const wxString& dir)
{
    return IsUsableInstallPath(StripOneTrailingSeparator(dir)) &&
           !(dir.length() == 2 && dir[1] == ':');
}

// The client's path in `dir`, or an empty string where `dir` is no absolute
// directory or holds no client.
wxString ClientIn(const wxString& dir)
{
    if (!IsAbsoluteDirectory(dir))
        return wxString();
    const wxString client = StripOneTrailingSeparator(dir) + wxFILE_SEP_PATH + kClientFileName;
    return wxFileExists(client) ? client : wxString();
}

} // namespace

bool IsDsWinCaller(const wxString& callerArgument)
{
    return callerArgument.Contains(wxS("dswin"));
}

bool IsInitSetupRequest(const wxString& firstArgument)
{
    return firstArgument.Contains(wxS("initsetup"));
}

bool IsRemoveSetupRequest(const wxString& firstArgument)
{
    return firstArgument.IsSameAs(wxS("removesetup"), false);
}

wxString FindClient(const wxString& programDir, const wxString& searchPath)
{
    wxString client = ClientIn(programDir);
    wxStringTokenizer entries(searchPath, wxPATH_SEP, wxTOKEN_STRTOK);
    while (client.empty() && entries.HasMoreTokens())
    {
        wxString dir = entries.GetNextToken();
        // An entry may stand in double quotes.
        if (dir.length() >= 2 && dir[0] == '"' && dir.Last() == '"')
            dir = dir.substr(1, dir.length() - 2);
        client = ClientIn(dir);
    }
    return client;
}

wxString FindOwnClient()
{
    wxString searchPath;
    wxGetEnv(wxS("PATH"), &searchPath);
    return FindClient(wxPathOnly(wxStandardPaths::Get().GetExecutablePath()), searchPath);
}
