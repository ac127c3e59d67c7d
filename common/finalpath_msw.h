#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The path of the object an open handle names, after every link and
// junction on the way, in its usual form ("C:\dir", "\\server\share\dir");
// empty when the system cannot name it. Free of wxWidgets, so that the
// installer's plug-in shares it.
inline std::wstring FinalPathOf(HANDLE handle)
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = ::GetFinalPathNameByHandleW(
        handle, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
    if (length == 0 || length >= buffer.size())
        return std::wstring();
    const std::wstring path(buffer.data(), length);
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return path.substr(4);
    return path;
}
