#include "installer/trust/installdir.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace
{

// Program Files' rights: the owner is the Administrators group, SYSTEM and
// the administrators have full control, the users may read and run, and
// nothing is inherited from above.
const wchar_t kDirectoryRights[] =
    L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const wchar_t kFileRights[] = L"O:BAD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

// What an installation of ours puts into its directory, besides the
// backups of the registration file that the program writes there.
const wchar_t* const kOurFiles[] = {L"tvdds.exe", L"tvdds-check.exe", L"uninstall.exe",
                                    L"lang\\de\\LC_MESSAGES\\tvdds.mo"};
const wchar_t* const kOurDirectories[] = {L"lang", L"lang\\de", L"lang\\de\\LC_MESSAGES"};
// How the program names its backups: vdds_mmi_<date>_<time>.bak.
const wchar_t kBackupPrefix[] = L"vdds_mmi_";
const wchar_t kBackupExtension[] = L".bak";

struct LocalFreer
{
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool EndsWithName(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && SameName(text.substr(text.size() - end.size()), end);
}

bool IsOurs(const std::wstring& relative, bool directory)
{
    const auto named = [&](const wchar_t* ours) { return SameName(relative, ours); };
    if (directory)
        return std::any_of(std::begin(kOurDirectories), std::end(kOurDirectories), named);
    const bool backup = relative.find(L'\\') == std::wstring::npos &&
                        SameName(relative.substr(0, wcslen(kBackupPrefix)), kBackupPrefix) &&
                        EndsWithName(relative, kBackupExtension);
    return backup || std::any_of(std::begin(kOurFiles), std::end(kOurFiles), named);
}

// `path` as a full path without a trailing backslash (but for a root).
std::wstring FullPath(const std::wstring& path)
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size())
        return std::wstring();
    std::wstring full(buffer.data(), length);
    while (full.size() > 3 && full.back() == L'\\')
        full.pop_back();
    return full;
}

// The path the system opened for `handle`, after every link and junction, in
// its usual form ("C:\dir", "\\server\share\dir"); empty when it cannot say.
std::wstring FinalPathOf(HANDLE handle)
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

// What is at a path, seen without following a link at its place.
struct Look
{
    // ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND when nothing is there.
    DWORD error = ERROR_SUCCESS;
    DWORD attributes = 0;
    DWORD links = 0;
    // The system opened the path itself, through no link above it.
    bool reachedDirectly = false;
    // Owner and access list; null when they cannot be read.
    LocalMemory descriptor;

    bool Missing() const { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
    bool IsDirectory() const { return attributes & FILE_ATTRIBUTE_DIRECTORY; }
    // A second name lets whoever holds it change the file's bytes elsewhere.
    bool IsLink() const
    {
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !reachedDirectly ||
               (!IsDirectory() && links > 1);
    }
};

HANDLE OpenItself(const std::wstring& path, DWORD access)
{
    return ::CreateFileW(
        path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

Look Examine(HANDLE handle, const std::wstring& path)
{
    Look look;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info))
    {
        look.error = ::GetLastError();
        return look;
    }
    look.attributes = info.dwFileAttributes;
    look.links = info.nNumberOfLinks;
    look.reachedDirectly = SameName(FinalPathOf(handle), path);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(handle, SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          nullptr, nullptr, &descriptor) == ERROR_SUCCESS)
        look.descriptor.reset(descriptor);
    return look;
}

Look LookAt(const std::wstring& path)
{
    const HANDLE handle = OpenItself(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
    {
        Look look;
        look.error = ::GetLastError();
        return look;
    }
    Look look = Examine(handle, path);
    ::CloseHandle(handle);
    return look;
}

// The finding for an existing object whose change of `reach` matters; an
// object that cannot be looked at counts as one others may change.
Verdict Judge(const Look& look, const std::wstring& path, Reach reach, Finding changeable,
              const TrustedAccounts& trusted)
{
    if (look.error == ERROR_SUCCESS && look.IsLink())
        return {Finding::Link, path};
    if (!look.descriptor || OthersMayChange(look.descriptor.get(), reach, trusted))
        return {changeable, path, look.error};
    return {};
}

// The directories above `dir`, from its drive's root down; none where `dir`
// starts with no drive or share.
std::vector<std::wstring> DirectoriesAbove(const std::wstring& dir)
{
    size_t rootEnd = std::wstring::npos;
    if (dir.size() > 3 && dir[1] == L':' && dir[2] == L'\\')
        rootEnd = 3;
    else if (dir.rfind(L"\\\\", 0) == 0)
    {
        const size_t share = dir.find(L'\\', 2);
        const size_t end = share == std::wstring::npos ? share : dir.find(L'\\', share + 1);
        rootEnd = end == std::wstring::npos ? end : end + 1;
    }
    if (rootEnd == std::wstring::npos || rootEnd >= dir.size())
        return {};
    std::vector<std::wstring> above{dir.substr(0, rootEnd)};
    for (size_t at = dir.find(L'\\', rootEnd); at != std::wstring::npos;
         at = dir.find(L'\\', at + 1))
        above.push_back(dir.substr(0, at));
    return above;
}

enum class Missing
{
    Refused,
    Created,
};

// Creates the directory `dir` with the installation directory's rights; the
// system's error code, or ERROR_SUCCESS.
DWORD CreateWithRights(const std::wstring& dir)
{
    PSECURITY_DESCRIPTOR rights = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kDirectoryRights, SDDL_REVISION_1,
                                                                &rights, nullptr))
        return ::GetLastError();
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), rights, FALSE};
    const DWORD error =
        ::CreateDirectoryW(dir.c_str(), &attributes) ? ERROR_SUCCESS : ::GetLastError();
    ::LocalFree(rights);
    return error;
}

// Nobody but `trusted` may delete, rename or re-permission a directory
// above `dir`; a missing one is created with the installation directory's
// rights, or refused.
Verdict CheckPlace(const std::wstring& dir, const TrustedAccounts& trusted, Missing missing)
{
    const std::vector<std::wstring> above = DirectoriesAbove(dir);
    if (above.empty())
        return {Finding::Failed, dir, ERROR_BAD_PATHNAME};
    for (size_t i = 0; i < above.size(); ++i)
    {
        const Look look = LookAt(above[i]);
        if (look.Missing() && missing == Missing::Created)
        {
            if (const DWORD error = CreateWithRights(above[i]))
                return {Finding::Failed, above[i], error};
            continue;
        }
        const Verdict verdict = Judge(look, above[i], i == 0 ? Reach::Root : Reach::Place,
                                      Finding::ChangeableAbove, trusted);
        if (verdict.finding != Finding::Sound)
            return verdict;
    }
    return {};
}

// The names in `dir`, sorted, so that a refusal always names the same one;
// the system's error code, or ERROR_SUCCESS.
DWORD ListNames(const std::wstring& dir, std::vector<std::wstring>& names)
{
    WIN32_FIND_DATAW data;
    const std::wstring pattern = dir + L"\\*";
    const HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
    {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    do
    {
        const std::wstring name(data.cFileName);
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return ERROR_SUCCESS;
}

// Calls `visit` for every entry below `dir`, depth first, looking into each
// directory `visit` says to descend into; the first finding that is not
// Sound ends the walk.
template <typename Visit>
Verdict Walk(const std::wstring& dir, const std::wstring& relative, Visit visit)
{
    std::vector<std::wstring> names;
    if (const DWORD error = ListNames(dir, names))
        return {Finding::Failed, dir, error};
    for (const std::wstring& name : names)
    {
        const std::wstring path = dir + L"\\" + name;
        const std::wstring inside = relative.empty() ? name : relative + L"\\" + name;
        bool descend = false;
        Verdict verdict = visit(path, inside, descend);
        if (verdict.finding == Finding::Sound && descend)
            verdict = Walk(path, inside, visit);
        if (verdict.finding != Finding::Sound)
            return verdict;
    }
    return {};
}

// Only what an installation of ours puts there, and what only `trusted`
// may change, with no link at any depth.
Verdict CheckContents(const std::wstring& dir, const TrustedAccounts& trusted)
{
    return Walk(dir, L"",
                [&](const std::wstring& path, const std::wstring& relative, bool& descend)
                {
                    const Look look = LookAt(path);
                    if (look.Missing())
                        return Verdict{};
                    descend = look.IsDirectory();
                    if (look.error == ERROR_SUCCESS && !look.IsLink() &&
                        IsOurs(relative, look.IsDirectory()))
                        return Verdict{};
                    return Judge(look, path, Reach::Contents, Finding::Changeable, trusted);
                });
}

DWORD ApplyRights(HANDLE handle, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR rights = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &rights,
                                                                nullptr))
        return ::GetLastError();
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ::GetSecurityDescriptorOwner(rights, &owner, &defaulted);
    ::GetSecurityDescriptorDacl(rights, &present, &dacl, &defaulted);
    const DWORD error = ::SetSecurityInfo(handle, SE_FILE_OBJECT,
                                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                              PROTECTED_DACL_SECURITY_INFORMATION,
                                          owner, nullptr, dacl, nullptr);
    ::LocalFree(rights);
    return error;
}

// Gives the object at `path` the installation's rights through a handle to
// the object itself, never to what a link at its place names.
Verdict Seal(const std::wstring& path, bool directory)
{
    const HANDLE handle =
        OpenItself(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES);
    if (handle == INVALID_HANDLE_VALUE)
        return {Finding::Failed, path, ::GetLastError()};
    Verdict verdict;
    const Look look = Examine(handle, path);
    if (look.error != ERROR_SUCCESS)
        verdict = {Finding::Failed, path, look.error};
    else if (look.IsLink())
        verdict = {Finding::Link, path};
    else if (look.IsDirectory() != directory)
        verdict = {Finding::Failed, path, ERROR_DIRECTORY};
    else if (const DWORD error = ApplyRights(handle, directory ? kDirectoryRights : kFileRights))
        verdict = {Finding::Failed, path, error};
    ::CloseHandle(handle);
    return verdict;
}

} // namespace

Verdict PrepareInstallationDirectory(const std::wstring& dir, const TrustedAccounts& trusted)
{
    const std::wstring full = FullPath(dir);
    Verdict verdict = CheckPlace(full, trusted, Missing::Created);
    if (verdict.finding != Finding::Sound)
        return verdict;
    if (LookAt(full).Missing())
    {
        const DWORD error = CreateWithRights(full);
        return error ? Verdict{Finding::Failed, full, error} : Verdict{};
    }
    // The rights first, so that nothing new can come in while it is looked at.
    verdict = Seal(full, true);
    return verdict.finding == Finding::Sound ? CheckContents(full, trusted) : verdict;
}

Verdict SealInstallation(const std::wstring& dir)
{
    return Walk(FullPath(dir), L"",
                [](const std::wstring& path, const std::wstring& relative, bool& descend)
                {
                    const DWORD attributes = ::GetFileAttributesW(path.c_str());
                    descend = attributes != INVALID_FILE_ATTRIBUTES &&
                              (attributes & FILE_ATTRIBUTE_DIRECTORY) && IsOurs(relative, true);
                    if (!descend && !IsOurs(relative, false))
                        return Verdict{};
                    return Seal(path, descend);
                });
}

Verdict CheckEarlierInstallation(const std::wstring& dir, const TrustedAccounts& trusted)
{
    const std::wstring full = FullPath(dir);
    const Verdict verdict = CheckPlace(full, trusted, Missing::Refused);
    if (verdict.finding != Finding::Sound)
        return verdict;
    for (const std::wstring& path : {full, full + L"\\uninstall.exe"})
    {
        const Verdict own =
            Judge(LookAt(path), path, Reach::Contents, Finding::Changeable, trusted);
        if (own.finding != Finding::Sound)
            return own;
    }
    return {};
}

bool CanBeRemoved(const std::wstring& path)
{
    const HANDLE file =
        ::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    // A program that runs can be opened for deletion, but not marked for it;
    // the mark is taken back at once, while the handle still holds it.
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool removable =
        ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
    disposition.DeleteFile = FALSE;
    if (removable)
        ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
    ::CloseHandle(file);
    return removable;
}
