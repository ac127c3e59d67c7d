#include "registration/accessrights.h"


#include <wx/msw/wrapwin.h>

#include "common/finalpath_msw.h"

#include <aclapi.h>
#include <string>

namespace
{

EXPLICIT_ACCESSW FullControlFor(PSID sid, TRUSTEE_TYPE type)
{
    EXPLICIT_ACCESSW access;
    ZeroMemory(&access, sizeof(access));
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = type;
    access.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    return access;
}

// Builds the access list that gives everyone and the administrators full
// control and hands it to `apply`; true when `apply` succeeded.
template <typename Apply> bool WithFullControlList(Apply apply)
{
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID everyone = nullptr;
    PSID administrators = nullptr;
    PACL acl = nullptr;
    bool applied = false;

    if (::AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                   &everyone) &&
        ::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                   DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
    {
        EXPLICIT_ACCESSW entries[] = {
            FullControlFor(everyone, TRUSTEE_IS_WELL_KNOWN_GROUP),
            FullControlFor(administrators, TRUSTEE_IS_GROUP),
        };
        // Without a list nothing is applied: a null list would remove all
        // protection, changes of owner and permissions included.
        if (::SetEntriesInAclW(WXSIZEOF(entries), entries, nullptr, &acl) == ERROR_SUCCESS &&
            acl != nullptr)
            applied = apply(acl);
    }

    if (acl)
        ::LocalFree(acl);
    if (administrators)
        ::FreeSid(administrators);
    if (everyone)
        ::FreeSid(everyone);
    return applied;
}

// True when `opened`, the final path of an open handle, names the same
// place as `path`, compared without regard to case after `path` is made a
// full path.
bool SamePath(const wxString& opened, const wxString& path)
{
    wchar_t full[32768];
    const DWORD length = ::GetFullPathNameW(path.wc_str(), WXSIZEOF(full), full, nullptr);
    if (length == 0 || length >= WXSIZEOF(full))
        return false;
    wxString expected(full, length);
    while (expected.length() > 3 && expected.EndsWith(wxS("\\")))
        expected.RemoveLast();
    return opened.IsSameAs(expected, false);
}

// What the open directory handle `dir` names: Opened when it is the
// directory `path` itself, reached through no link, whose rights may be
// opened.
DirectoryRights Examine(HANDLE dir, const wxString& path)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(dir, &info))
        return DirectoryRights::Failed;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return DirectoryRights::Link;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return DirectoryRights::NotADirectory;
    const wxString opened(FinalPathOf(dir));
    if (opened.empty())
        return DirectoryRights::Failed;
    return SamePath(opened, path) ? DirectoryRights::Opened : DirectoryRights::Link;
}

} // namespace

bool OpenAccessRights(const wxString& path)
{
    return WithFullControlList(
        [&](PACL acl)
        {
            std::wstring name(path.wc_str());
            return ::SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                           nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
        });
}

namespace
{

// Opens the directory at `path` itself, never what a link at its place
// names, with `access`, and hands the handle to `use` when it names `path`
// reached through no link. The check and whatever `use` does meet the same
// object, as both go through the handle.
template <typename Use> DirectoryRights WithDirectory(const wxString& path, DWORD access, Use use)
{
    const HANDLE dir = ::CreateFileW(
        path.wc_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE)
        return DirectoryRights::Failed;
    DirectoryRights result = Examine(dir, path);
    if (result == DirectoryRights::Opened && !use(dir))
        result = DirectoryRights::Failed;
    ::CloseHandle(dir);
    return result;
}

} // namespace

DirectoryRights OpenDirectoryAccessRights(const wxString& path)
{
    return WithDirectory(path, READ_CONTROL | WRITE_DAC,
                         [](HANDLE dir)
                         {
                             return WithFullControlList(
                                 [&](PACL acl)
                                 {
                                     return ::SetSecurityInfo(
                                                dir, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                                nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
                                 });
                         });
}

DirectoryRights InspectDirectory(const wxString& path)
{
    return WithDirectory(path, FILE_READ_ATTRIBUTES, [](HANDLE) { return true; });
}
