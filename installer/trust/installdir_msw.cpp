#include "installer/trust/installdir.h"

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "common/finalpath_msw.h"

namespace
{

// Program Files' rights: the owner is the Administrators group, SYSTEM and
// the administrators have full control, the users may read and run, and
// nothing is inherited from above.
const wchar_t kDirectoryRights[] =
    L"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
const wchar_t kFileRights[] = L"O:BAD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

// What an installation of ours puts into its directory. Anything else there,
// the backups of the registration file the program writes included, stays
// only where nobody but the trusted accounts may change it.
const wchar_t* const kOurFiles[] = {L"tvdds.exe", L"tvdds-check.exe", L"uninstall.exe",
                                    L"lang\\de\\LC_MESSAGES\\tvdds.mo"};
const wchar_t* const kOurDirectories[] = {L"lang", L"lang\\de", L"lang\\de\\LC_MESSAGES"};
// What an installation of ours runs elevated: the program, and the
// uninstaller an installation replacing it runs.
const wchar_t* const kOurPrograms[] = {L"tvdds.exe", L"uninstall.exe"};

// How many levels below the installation directory the installer looks. An
// installation of ours reaches four; a deeper tree is refused rather than
// walked without end.
const int kDeepestLevel = 16;

struct LocalFreer
{
    void operator()(void* memory) const { ::LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

class Handle
{
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle()
    {
        if (Valid())
            ::CloseHandle(m_handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool IsOurs(const std::wstring& relative, bool directory)
{
    const auto named = [&](const wchar_t* ours) { return SameName(relative, ours); };
    if (directory)
        return std::any_of(std::begin(kOurDirectories), std::end(kOurDirectories), named);
    return std::any_of(std::begin(kOurFiles), std::end(kOurFiles), named);
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

// The full path `path` in the form the system takes as it is, without
// dropping trailing dots and spaces from its names: an entry named "x." is
// then opened as itself, not as "x".
std::wstring Verbatim(const std::wstring& path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    if (path.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
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

// The object at `path` itself, never what a link at its place names.
HANDLE OpenItself(const std::wstring& path, DWORD access,
                  DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)
{
    return ::CreateFileW(path.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The installation directory, held so that nobody may rename or delete it
// while it is looked at and given its rights: the handle shares no deletion,
// which fails both for an open that would delete it later and when someone
// holds it open for deletion already. The system checks sharing only for
// opens that read, write or delete, hence the right to list it.
HANDLE HoldDirectory(const std::wstring& dir, DWORD access = FILE_LIST_DIRECTORY | READ_CONTROL |
                                                             WRITE_DAC | WRITE_OWNER |
                                                             FILE_READ_ATTRIBUTES)
{
    return OpenItself(dir, access, FILE_SHARE_READ | FILE_SHARE_WRITE);
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
    const Handle handle(OpenItself(Verbatim(path), READ_CONTROL | FILE_READ_ATTRIBUTES));
    if (!handle.Valid())
    {
        Look look;
        look.error = ::GetLastError();
        return look;
    }
    return Examine(handle.Get(), path);
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

// The installation directory as the held handle shows it: a directory, no
// link, and nobody else may make a change of `reach` to it.
Verdict JudgeHeldDirectory(const Handle& held, const std::wstring& dir, Reach reach,
                           const TrustedAccounts& trusted,
                           Finding changeable = Finding::ForeignDirectory)
{
    const Look look = Examine(held.Get(), dir);
    if (look.error != ERROR_SUCCESS)
        return {Finding::Failed, dir, look.error};
    if (!look.IsDirectory())
        return {Finding::Failed, dir, ERROR_DIRECTORY};
    return Judge(look, dir, reach, changeable, trusted);
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

// The security descriptor of an SDDL text; the system's error code in
// `error` where it has none.
LocalMemory DescriptorOf(const wchar_t* sddl, DWORD& error)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    error = ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                   &descriptor, nullptr)
                ? ERROR_SUCCESS
                : ::GetLastError();
    return LocalMemory(descriptor);
}

// Creates the directory `dir` with the installation directory's rights; the
// system's error code, or ERROR_SUCCESS.
DWORD CreateWithRights(const std::wstring& dir)
{
    DWORD error = ERROR_SUCCESS;
    const LocalMemory rights = DescriptorOf(kDirectoryRights, error);
    if (error)
        return error;
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), rights.get(), FALSE};
    return ::CreateDirectoryW(dir.c_str(), &attributes) ? ERROR_SUCCESS : ::GetLastError();
}

DWORD ApplyRights(HANDLE handle, const wchar_t* sddl)
{
    DWORD error = ERROR_SUCCESS;
    const LocalMemory rights = DescriptorOf(sddl, error);
    if (error)
        return error;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ::GetSecurityDescriptorOwner(rights.get(), &owner, &defaulted);
    ::GetSecurityDescriptorDacl(rights.get(), &present, &dacl, &defaulted);
    return ::SetSecurityInfo(handle, SE_FILE_OBJECT,
                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                 PROTECTED_DACL_SECURITY_INFORMATION,
                             owner, nullptr, dacl, nullptr);
}

enum class Missing
{
    Refused,
    Created,
};

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

// Gives the object at `path` the installation's rights through a handle to
// the object itself, never to what a link at its place names.
Verdict Seal(const std::wstring& path, bool directory)
{
    const Handle handle(
        OpenItself(Verbatim(path), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES));
    if (!handle.Valid())
        return {Finding::Failed, path, ::GetLastError()};
    const Look look = Examine(handle.Get(), path);
    if (look.error != ERROR_SUCCESS)
        return {Finding::Failed, path, look.error};
    if (look.IsLink())
        return {Finding::Link, path};
    if (look.IsDirectory() != directory)
        return {Finding::Failed, path, ERROR_DIRECTORY};
    if (const DWORD error = ApplyRights(handle.Get(), directory ? kDirectoryRights : kFileRights))
        return {Finding::Failed, path, error};
    return {};
}

// The names in `dir`, sorted, so that a refusal always names the same one;
// the system's error code, or ERROR_SUCCESS.
DWORD ListNames(const std::wstring& dir, std::vector<std::wstring>& names)
{
    WIN32_FIND_DATAW data;
    const std::wstring pattern = Verbatim(dir) + L"\\*";
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

// The volume and file identifier of the directory at `path` itself, never
// of what a link there names; false for anything else.
bool IdentityOfDirectory(const std::wstring& path, FILE_ID_INFO& identity)
{
    if (path.empty())
        return false;
    const Handle handle(OpenItself(path, FILE_READ_ATTRIBUTES));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (::GetFileInformationByHandleEx(handle.Get(), FileIdInfo, &identity, sizeof(identity)))
        return true;
    // Before Windows 8 there is only the 64-bit index (all NTFS has).
    identity = {};
    identity.VolumeSerialNumber = info.dwVolumeSerialNumber;
    const DWORD index[] = {info.nFileIndexLow, info.nFileIndexHigh};
    std::memcpy(identity.FileId.Identifier, index, sizeof(index));
    return true;
}

enum class Pass
{
    // An installation whose programs are about to run: everything in it is
    // judged as it is, nothing changed.
    Judging,
    // Before the installer writes its files: a file of ours may be anything
    // but a link, since it is removed and written anew.
    BeforeWriting,
    // After it wrote them: every file and folder of ours gets the
    // installation's rights first.
    AfterWriting,
};

// The finding for one entry of the installation directory, `relative` its
// path inside it; `descend` says whether to look into it.
Verdict CheckEntry(const std::wstring& path, const std::wstring& relative, Pass pass,
                   const TrustedAccounts& trusted, bool& descend)
{
    // An entry gone right after it was listed is one that cannot be looked
    // at, and so counts as one others may change.
    const Look look = LookAt(path);
    const bool seen = look.error == ERROR_SUCCESS;
    if (seen && look.IsLink())
        return {Finding::Link, path};
    descend = seen && look.IsDirectory();
    if (!seen || pass == Pass::Judging || !IsOurs(relative, look.IsDirectory()))
        return Judge(look, path, Reach::Contents, Finding::Changeable, trusted);
    if (pass == Pass::BeforeWriting)
        return look.IsDirectory() ? Judge(look, path, Reach::Contents, Finding::Changeable, trusted)
                                  : Verdict{};
    const Verdict sealed = Seal(path, look.IsDirectory());
    if (sealed.finding != Finding::Sound)
        return sealed;
    return Judge(LookAt(path), path, Reach::Contents, Finding::Changeable, trusted);
}

// Checks every entry below `dir`, `level` levels below the installation
// directory, depth first; the first finding that is not Sound ends the walk.
Verdict CheckContents(const std::wstring& dir, const std::wstring& relative, int level, Pass pass,
                      const TrustedAccounts& trusted)
{
    std::vector<std::wstring> names;
    if (const DWORD error = ListNames(dir, names))
        return {Finding::Failed, dir, error};
    for (const std::wstring& name : names)
    {
        const std::wstring path = dir + L"\\" + name;
        if (level > kDeepestLevel)
            return {Finding::TooDeep, path};
        const std::wstring inside = relative.empty() ? name : relative + L"\\" + name;
        bool descend = false;
        Verdict verdict = CheckEntry(path, inside, pass, trusted, descend);
        if (verdict.finding == Finding::Sound && descend)
            verdict = CheckContents(path, inside, level + 1, pass, trusted);
        if (verdict.finding != Finding::Sound)
            return verdict;
    }
    return {};
}

Verdict CheckContents(const std::wstring& dir, Pass pass, const TrustedAccounts& trusted)
{
    return CheckContents(dir, L"", 1, pass, trusted);
}

// Each of `names` is a file in `dir`: the first that is not is Missing.
template <size_t count>
Verdict RequireFiles(const std::wstring& dir, const wchar_t* const (&names)[count])
{
    for (const wchar_t* name : names)
    {
        const std::wstring path = dir + L"\\" + name;
        const Look look = LookAt(path);
        if (look.error != ERROR_SUCCESS || look.IsDirectory())
            return {Finding::Missing, path, look.error};
    }
    return {};
}

// An existing installation directory: judged as it is, its contents too,
// before anything changes; then given the installation's rights, which keep
// others from adding to it, and looked through again for what came in while
// they still could. Its owner, and whoever may change its rights, must be
// trusted already: a handle opened before keeps the right to change them
// back after the installer has set its own.
Verdict PrepareExisting(const Handle& held, const std::wstring& dir, const TrustedAccounts& trusted)
{
    Verdict verdict = JudgeHeldDirectory(held, dir, Reach::Rights, trusted);
    if (verdict.finding == Finding::Sound)
        verdict = CheckContents(dir, Pass::BeforeWriting, trusted);
    if (verdict.finding != Finding::Sound)
        return verdict;
    if (const DWORD error = ApplyRights(held.Get(), kDirectoryRights))
        return {Finding::Failed, dir, error};
    return CheckContents(dir, Pass::BeforeWriting, trusted);
}

} // namespace

Verdict PrepareInstallationDirectory(const std::wstring& dir, const TrustedAccounts& trusted)
{
    const std::wstring full = FullPath(dir);
    const Verdict verdict = CheckPlace(full, trusted, Missing::Created);
    if (verdict.finding != Finding::Sound)
        return verdict;
    const Handle held(HoldDirectory(full));
    if (held.Valid())
        return PrepareExisting(held, full, trusted);
    DWORD error = ::GetLastError();
    // A directory made now holds nothing, and its rights let nobody else add
    // to it.
    if (error == ERROR_FILE_NOT_FOUND)
        error = CreateWithRights(full);
    return error ? Verdict{Finding::Failed, full, error} : Verdict{};
}

Verdict SealInstallation(const std::wstring& dir, const TrustedAccounts& trusted)
{
    const std::wstring full = FullPath(dir);
    Verdict verdict = CheckPlace(full, trusted, Missing::Refused);
    if (verdict.finding != Finding::Sound)
        return verdict;
    const Handle held(HoldDirectory(full));
    if (!held.Valid())
        return {Finding::Failed, full, ::GetLastError()};
    verdict = JudgeHeldDirectory(held, full, Reach::Rights, trusted);
    if (verdict.finding != Finding::Sound)
        return verdict;
    if (const DWORD error = ApplyRights(held.Get(), kDirectoryRights))
        return {Finding::Failed, full, error};
    verdict = CheckContents(full, Pass::AfterWriting, trusted);
    if (verdict.finding == Finding::Sound)
        verdict = RequireFiles(full, kOurFiles);
    if (verdict.finding != Finding::Sound)
        return verdict;
    return JudgeHeldDirectory(held, full, Reach::Contents, trusted);
}

Verdict CheckInstallation(const std::wstring& dir, const TrustedAccounts& trusted)
{
    const std::wstring full = FullPath(dir);
    Verdict verdict = CheckPlace(full, trusted, Missing::Refused);
    if (verdict.finding != Finding::Sound)
        return verdict;
    const Handle held(
        HoldDirectory(full, FILE_LIST_DIRECTORY | READ_CONTROL | FILE_READ_ATTRIBUTES));
    if (!held.Valid())
        return {Finding::Failed, full, ::GetLastError()};
    verdict = JudgeHeldDirectory(held, full, Reach::Contents, trusted, Finding::Changeable);
    if (verdict.finding == Finding::Sound)
        verdict = CheckContents(full, Pass::Judging, trusted);
    if (verdict.finding == Finding::Sound)
        verdict = RequireFiles(full, kOurPrograms);
    return verdict;
}

bool IsSameDirectory(const std::wstring& a, const std::wstring& b)
{
    FILE_ID_INFO first;
    FILE_ID_INFO second;
    return IdentityOfDirectory(a, first) && IdentityOfDirectory(b, second) &&
           first.VolumeSerialNumber == second.VolumeSerialNumber &&
           std::equal(std::begin(first.FileId.Identifier), std::end(first.FileId.Identifier),
                      std::begin(second.FileId.Identifier));
}

Removal CanBeRemoved(const std::wstring& path)
{
    const Handle file(::CreateFileW(path.c_str(), DELETE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.Valid())
    {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Removal::Removable
                                                                              : Removal::InUse;
    }
    // A program that runs can be opened for deletion, but not marked for it.
    // The mark is taken back at once, while the handle still holds it, and
    // the file must then no longer wait for its deletion: otherwise it goes
    // when the handle closes.
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition,
                                      sizeof(disposition)))
        return Removal::InUse;
    disposition.DeleteFile = FALSE;
    FILE_STANDARD_INFO standard{};
    const bool takenBack =
        ::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition,
                                     sizeof(disposition)) &&
        ::GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &standard, sizeof(standard)) &&
        !standard.DeletePending;
    return takenBack ? Removal::Removable : Removal::MarkKept;
}
