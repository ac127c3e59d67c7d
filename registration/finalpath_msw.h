#pragma once

#include <wx/msw/wrapwin.h>
#include <wx/string.h>

// The path of the object an open handle names, after every link and
// junction on the way, in its usual form ("C:\dir", "\\server\share\dir");
// empty when the system cannot name it.
inline wxString FinalPathOf(HANDLE handle)
{
    wchar_t buffer[32768];
    const DWORD length =
        ::GetFinalPathNameByHandleW(handle, buffer, WXSIZEOF(buffer), FILE_NAME_NORMALIZED);
    if (length == 0 || length >= WXSIZEOF(buffer))
        return wxString();
    const wxString path(buffer, length);
    wxString rest;
    if (path.StartsWith(wxS("\\\\?\\UNC\\"), &rest))
        return wxS("\\\\") + rest;
    if (path.StartsWith(wxS("\\\\?\\"), &rest))
        return rest;
    return path;
}
