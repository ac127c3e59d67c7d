#include "starter/filereplace.h"

#include <wx/filename.h>
#include <wx/msw/wrapwin.h>

namespace
{

bool WriteAndFlush(const wxString& path, const std::string& bytes)
{
    const HANDLE file = ::CreateFileW(path.wc_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool complete =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size() && ::FlushFileBuffers(file);
    return ::CloseHandle(file) && complete;
}

} // namespace

bool ReplaceFileAtomically(const wxString& path, const std::string& bytes)
{
    const wxString temp = wxFileName::CreateTempFileName(path);
    if (temp.empty())
        return false;
    if (WriteAndFlush(temp, bytes) &&
        ::MoveFileExW(temp.wc_str(), path.wc_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    ::DeleteFileW(temp.wc_str());
    return false;
}
