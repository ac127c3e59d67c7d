#include "starter/accessrights.h"

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

} // namespace

bool OpenAccessRights(const wxString& path)
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
        {
            std::wstring name(path.wc_str());
            applied = ::SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                              nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
        }
    }

    if (acl)
        ::LocalFree(acl);
    if (administrators)
        ::FreeSid(administrators);
    if (everyone)
        ::FreeSid(everyone);
    return applied;
}
