#include "registration/accessrights.h"

#include <wx/msw/wrapwin.h>

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

bool OpenDirectoryAccessRights(const wxString& path, bool& isLink)
{
    // A link is refused by its name first, then again through the handle,
    // which names the directory entry itself, link or not, so that the check
    // and the change meet the same object even if a link was put in place in
    // between. (Wine's handle follows a symbolic link all the same; its name
    // shows the link.)
    const DWORD attributes = ::GetFileAttributesW(path.wc_str());
    isLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (isLink)
        return false;
    const HANDLE dir = ::CreateFileW(
        path.wc_str(), READ_CONTROL | WRITE_DAC,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool applied = false;
    if (::GetFileInformationByHandle(dir, &info))
    {
        isLink = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (!isLink)
            applied = WithFullControlList(
                [&](PACL acl)
                {
                    return ::SetSecurityInfo(dir, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                             nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
                });
    }
    ::CloseHandle(dir);
    return applied;
}
