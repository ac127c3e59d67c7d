#include "installer/trust/descriptorrules.h"

#include <sddl.h>

namespace
{

// Changing the rights or the owner, and the rights that include it.
const DWORD kChangesOwnRights = WRITE_DAC | WRITE_OWNER | GENERIC_ALL | MAXIMUM_ALLOWED;
// Writing data or attributes lets whoever holds it make an empty directory
// a junction (setting a reparse point takes either right), through a
// handle opened before the installer set its rights: a directory about to
// get them is empty until the installer writes into it.
const DWORD kChangesRights =
    kChangesOwnRights | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | GENERIC_WRITE;
// Also appending data (adding directories to a directory), deleting it or
// what it holds.
const DWORD kChangesContents = kChangesRights | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE;
// A directory above may hold new files and folders of anyone, and is never
// empty; what counts is taking away or renaming the path on the way, or
// changing the rights that would allow it.
const DWORD kChangesPlace = kChangesOwnRights | DELETE | FILE_DELETE_CHILD;
const DWORD kChangesRootsEntries = kChangesOwnRights | FILE_DELETE_CHILD;

DWORD RightsThatCount(Reach reach)
{
    switch (reach)
    {
    case Reach::Contents:
        return kChangesContents;
    case Reach::Place:
        return kChangesPlace;
    case Reach::Root:
        return kChangesRootsEntries;
    case Reach::Rights:
        return kChangesRights;
    }
    return kChangesContents;
}

// Where the security identifier of an allow entry starts, or nullptr when
// the entry is none the installer knows. Object entries carry up to two
// GUIDs before it, as their flags say.
const BYTE* GrantedSid(const ACE_HEADER* header)
{
    switch (header->AceType)
    {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        return reinterpret_cast<const BYTE*>(
            &reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->SidStart);
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    {
        const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(header);
        const BYTE* sid = reinterpret_cast<const BYTE*>(&ace->ObjectType);
        if (ace->Flags & ACE_OBJECT_TYPE_PRESENT)
            sid += sizeof(GUID);
        if (ace->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT)
            sid += sizeof(GUID);
        return sid;
    }
    default:
        return nullptr;
    }
}

bool IsDenyEntry(BYTE type)
{
    return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
           type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

bool IsOwnerRights(PSID sid)
{
    BYTE ownerRights[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(ownerRights);
    return ::CreateWellKnownSid(WinCreatorOwnerRightsSid, nullptr, ownerRights, &size) &&
           ::EqualSid(sid, ownerRights);
}

// Whether the entry lets someone outside `trusted` make a change in
// `rights`. Deny entries take rights away and entries that only pass on to
// what a directory will hold do not apply to it; an entry of a type not
// known here, or one whose identifier does not fit it, counts as such a
// grant.
bool GrantsOthers(const ACE_HEADER* header, DWORD rights, const TrustedAccounts& trusted)
{
    if (IsDenyEntry(header->AceType))
        return false;
    const BYTE* sid = GrantedSid(header);
    if (!sid)
        return true;
    if (header->AceFlags & INHERIT_ONLY_ACE)
        return false;
    const DWORD mask = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->Mask;
    if (!(mask & rights))
        return false;
    const BYTE* end = reinterpret_cast<const BYTE*>(header) + header->AceSize;
    PSID granted = const_cast<BYTE*>(sid);
    const bool fits =
        sid + 8 <= end && ::IsValidSid(granted) && sid + ::GetLengthSid(granted) <= end;
    // OWNER RIGHTS stands for the owner, whom the caller has found trusted.
    return !fits || !(trusted.Contains(granted) || IsOwnerRights(granted));
}

} // namespace

TrustedAccounts TrustedAccounts::OfThisProcess()
{
    HANDLE token = nullptr;
    BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    PSID account = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
    {
        if (::GetTokenInformation(token, TokenUser, user, sizeof(user), &size))
            account = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
        ::CloseHandle(token);
    }
    return TrustedAccounts(account);
}

TrustedAccounts::TrustedAccounts(PSID installingAccount)
{
    for (const WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid})
    {
        BYTE sid[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof(sid);
        if (::CreateWellKnownSid(type, nullptr, sid, &size))
            Add(sid);
    }
    PSID trustedInstaller = nullptr;
    if (::ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                                 &trustedInstaller))
    {
        Add(trustedInstaller);
        ::LocalFree(trustedInstaller);
    }
    if (installingAccount && ::IsValidSid(installingAccount))
        Add(installingAccount);
}

void TrustedAccounts::Add(PSID sid)
{
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    m_sids.emplace_back(bytes, bytes + ::GetLengthSid(sid));
}

bool TrustedAccounts::Contains(PSID sid) const
{
    for (const std::vector<BYTE>& known : m_sids)
    {
        if (::EqualSid(sid, const_cast<BYTE*>(known.data())))
            return true;
    }
    return false;
}

bool OthersMayChange(PSECURITY_DESCRIPTOR descriptor, Reach reach, const TrustedAccounts& trusted)
{
    // The owner may always change the rights, and with them everything else.
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
        !trusted.Contains(owner))
        return true;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    // No access list at all lets everyone do everything; an empty one lets
    // nobody but the owner.
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return true;
    const DWORD rights = RightsThatCount(reach);
    for (DWORD i = 0; i < dacl->AceCount; ++i)
    {
        void* entry = nullptr;
        if (!::GetAce(dacl, i, &entry) ||
            GrantsOthers(static_cast<ACE_HEADER*>(entry), rights, trusted))
            return true;
    }
    return false;
}
