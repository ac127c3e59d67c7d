// The installer's trust decisions over real security descriptors, built with
// the ACL API (Wine's SDDL parser knows few entry types). Each row builds a
// descriptor, checks that it has the shape the row means, and says whether
// others may change a file with it (Contents), a directory above
// (Place), a drive's root (Root) and the rights of a directory about to get
// the installer's own (Rights).
//   trust_table.exe OUT   writes one line per row that does not hold to OUT
//                         and ends with the number of such rows
#include <windows.h>

#include <sddl.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "installer/trust/descriptorrules.h"

namespace
{

const GUID kSomeProperty = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};

// A security identifier from its string form, kept for the whole run.
PSID Sid(const wchar_t* text)
{
    PSID sid = nullptr;
    ConvertStringSidToSidW(text, &sid);
    return sid;
}

const PSID kUser = Sid(L"S-1-5-21-1004336348-1177238915-682003330-1001");
const PSID kInstaller = Sid(L"S-1-5-21-1004336348-1177238915-682003330-500");
const PSID kAdministrators = Sid(L"S-1-5-32-544");
const PSID kSystem = Sid(L"S-1-5-18");
const PSID kTrustedInstaller =
    Sid(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464");
const PSID kUsers = Sid(L"S-1-5-32-545");
const PSID kEveryone = Sid(L"S-1-1-0");
const PSID kAuthenticatedUsers = Sid(L"S-1-5-11");
const PSID kOwnerRights = Sid(L"S-1-3-4");

// An entry as the system lays it out: the header, the mask, for object
// types the flags and the GUIDs they announce, then the identifier. Neither
// the callback types nor unknown ones have a function of their own, and
// Wine 8 leaves AddAccessAllowedObjectAce unimplemented.
bool AddRawEntry(PACL acl, BYTE type, DWORD mask, PSID sid, bool objectType = false,
                 const std::vector<const GUID*>& guids = {})
{
    std::vector<BYTE> entry(sizeof(ACE_HEADER));
    const auto append = [&](const void* bytes, size_t size)
    {
        const BYTE* from = static_cast<const BYTE*>(bytes);
        entry.insert(entry.end(), from, from + size);
    };
    append(&mask, sizeof(mask));
    if (objectType)
    {
        const DWORD flags = (guids.size() > 0 ? ACE_OBJECT_TYPE_PRESENT : 0) |
                            (guids.size() > 1 ? ACE_INHERITED_OBJECT_TYPE_PRESENT : 0);
        append(&flags, sizeof(flags));
        for (const GUID* guid : guids)
            append(guid, sizeof(GUID));
    }
    append(sid, GetLengthSid(sid));
    auto* header = reinterpret_cast<ACE_HEADER*>(entry.data());
    header->AceType = type;
    header->AceFlags = 0;
    header->AceSize = static_cast<WORD>(entry.size());
    return AddAce(acl, ACL_REVISION_DS, MAXDWORD, entry.data(), static_cast<DWORD>(entry.size()));
}

// The Administrators group and SYSTEM with full control, as every row has
// unless it says otherwise.
bool AddAdministrators(PACL acl)
{
    return AddAccessAllowedAce(acl, ACL_REVISION_DS, FILE_ALL_ACCESS, kSystem) &&
           AddAccessAllowedAce(acl, ACL_REVISION_DS, FILE_ALL_ACCESS, kAdministrators);
}

enum class Dacl
{
    Entries,
    Null,
    Absent,
};

struct Row
{
    const char* what;
    PSID owner;
    Dacl dacl;
    std::function<bool(PACL)> entries;
    // The entry types the descriptor must hold, in order.
    std::vector<int> shape;
    bool contents;
    bool place;
    bool root;
    bool rights;
};

const auto kNone = [](PACL) { return true; };

std::vector<Row> Rows()
{
    const auto allow = [](PSID sid, DWORD mask, BYTE flags = 0)
    {
        return [=](PACL acl) {
            return AddAdministrators(acl) &&
                   AddAccessAllowedAceEx(acl, ACL_REVISION_DS, flags, mask, sid);
        };
    };
    const auto raw = [](BYTE type, DWORD mask, PSID sid, bool objectType = false,
                        const std::vector<const GUID*>& guids = {})
    {
        return [=](PACL acl)
        { return AddAdministrators(acl) && AddRawEntry(acl, type, mask, sid, objectType, guids); };
    };
    const auto denyFirst = [](PACL acl)
    {
        return AddAccessDeniedAce(acl, ACL_REVISION_DS, FILE_ALL_ACCESS, kEveryone) &&
               AddAdministrators(acl);
    };
    const DWORD inheritOnly = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE;
    const DWORD readAndRun = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    const GUID* property = &kSomeProperty;
    // clang-format off
    //   what                                     owner              list           entries                                               shape         contents place  root   rights
    return {
        {"admins only, owner Administrators",     kAdministrators,   Dacl::Entries, allow(kUsers, readAndRun),                            {0, 0, 0},    false, false, false, false},
        {"owner SYSTEM",                          kSystem,           Dacl::Entries, AddAdministrators,                                    {0, 0},       false, false, false, false},
        {"owner TrustedInstaller",                kTrustedInstaller, Dacl::Entries, AddAdministrators,                                    {0, 0},       false, false, false, false},
        {"owner the installing account",          kInstaller,        Dacl::Entries, AddAdministrators,                                    {0, 0},       false, false, false, false},
        {"owner a user",                          kUser,             Dacl::Entries, AddAdministrators,                                    {0, 0},       true,  true,  true,  true},
        {"owner a user, OWNER RIGHTS read only",  kUser,             Dacl::Entries, allow(kOwnerRights, FILE_GENERIC_READ),               {0, 0, 0},    true,  true,  true,  true},
        {"OWNER RIGHTS full control",             kAdministrators,   Dacl::Entries, allow(kOwnerRights, FILE_ALL_ACCESS),                 {0, 0, 0},    false, false, false, false},
        {"users may write data",                  kAdministrators,   Dacl::Entries, allow(kUsers, FILE_WRITE_DATA),                       {0, 0, 0},    true,  false, false, true},
        {"authenticated users may add folders",   kAdministrators,   Dacl::Entries, allow(kAuthenticatedUsers, FILE_APPEND_DATA),         {0, 0, 0},    true,  false, false, false},
        {"users may delete",                      kAdministrators,   Dacl::Entries, allow(kUsers, DELETE),                                {0, 0, 0},    true,  true,  false, false},
        {"users may delete what it holds",        kAdministrators,   Dacl::Entries, allow(kUsers, FILE_DELETE_CHILD),                     {0, 0, 0},    true,  true,  true,  false},
        {"users may change its rights",           kAdministrators,   Dacl::Entries, allow(kUsers, WRITE_DAC),                             {0, 0, 0},    true,  true,  true,  true},
        {"everyone may modify (a 0777 directory)", kAdministrators, Dacl::Entries, allow(kEveryone, 0x1301ff),                          {0, 0, 0},    true,  true,  true,  true},
        {"users may take it over",                kAdministrators,   Dacl::Entries, allow(kUsers, WRITE_OWNER),                           {0, 0, 0},    true,  true,  true,  true},
        {"users may write attributes (a junction)", kAdministrators, Dacl::Entries, allow(kUsers, FILE_WRITE_ATTRIBUTES),                 {0, 0, 0},    true,  false, false, true},
        {"users may write extended attributes",   kAdministrators,   Dacl::Entries, allow(kUsers, FILE_WRITE_EA),                         {0, 0, 0},    false, false, false, false},
        {"generic write",                         kAdministrators,   Dacl::Entries, allow(kEveryone, GENERIC_WRITE),                      {0, 0, 0},    true,  false, false, true},
        {"generic all",                           kAdministrators,   Dacl::Entries, allow(kEveryone, GENERIC_ALL),                        {0, 0, 0},    true,  true,  true,  true},
        {"maximum allowed",                       kAdministrators,   Dacl::Entries, allow(kEveryone, MAXIMUM_ALLOWED),                    {0, 0, 0},    true,  true,  true,  true},
        {"inherit-only full control",             kAdministrators,   Dacl::Entries, allow(kUsers, FILE_ALL_ACCESS, inheritOnly),          {0, 0, 0},    false, false, false, false},
        {"deny everyone everything",              kAdministrators,   Dacl::Entries, denyFirst,                                            {1, 0, 0},    false, false, false, false},
        {"callback (9): users may append",        kAdministrators,   Dacl::Entries, raw(9, FILE_APPEND_DATA, kUsers),                     {0, 0, 9},    true,  false, false, false},
        {"callback (9) for administrators",       kAdministrators,   Dacl::Entries, raw(9, FILE_ALL_ACCESS, kAdministrators),             {0, 0, 9},    false, false, false, false},
        {"object (5): a user may write",          kAdministrators,   Dacl::Entries, raw(5, FILE_WRITE_DATA, kUser, true),                 {0, 0, 5},    true,  false, false, true},
        {"object (5), two GUIDs, administrators", kAdministrators,   Dacl::Entries, raw(5, FILE_ALL_ACCESS, kAdministrators, true, {property, property}), {0, 0, 5}, false, false, false, false},
        {"object (5), one GUID: a user may delete", kAdministrators, Dacl::Entries, raw(5, DELETE, kUser, true, {property}),            {0, 0, 5},    true,  true,  false, false},
        {"callback object (11): users may re-permission", kAdministrators, Dacl::Entries, raw(11, WRITE_DAC, kUsers, true),              {0, 0, 11},   true,  true,  true,  true},
        {"unknown type (0x11) granting nothing",  kAdministrators,   Dacl::Entries, raw(0x11, 0, kSystem),                                {0, 0, 0x11}, true,  true,  true,  true},
        {"empty access list",                     kAdministrators,   Dacl::Entries, kNone,                                                {},           false, false, false, false},
        {"null access list",                      kAdministrators,   Dacl::Null,    kNone,                                                {},           true,  true,  true,  true},
        {"no access list",                        kAdministrators,   Dacl::Absent,  kNone,                                                {},           true,  true,  true,  true},
    };
    // clang-format on
}

// Whether the descriptor holds what the row means to build.
bool HasShape(PSECURITY_DESCRIPTOR descriptor, const Row& row)
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = nullptr;
    PSID owner = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) ||
        !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !EqualSid(owner, row.owner))
        return false;
    if (row.dacl != Dacl::Entries)
        return (present != FALSE) == (row.dacl == Dacl::Null) && !acl;
    if (!present || !acl || acl->AceCount != row.shape.size())
        return false;
    for (DWORD i = 0; i < acl->AceCount; ++i)
    {
        void* entry = nullptr;
        if (!GetAce(acl, i, &entry) || static_cast<ACE_HEADER*>(entry)->AceType != row.shape[i])
            return false;
    }
    return true;
}

std::string Verdicts(bool contents, bool place, bool root, bool rights)
{
    const auto word = [](bool may) { return may ? "others may" : "only trusted"; };
    return std::string(word(contents)) + "/" + word(place) + "/" + word(root) + "/" + word(rights);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return -1;
    std::ofstream out(argv[1], std::ios::binary);
    const TrustedAccounts trusted(kInstaller);
    int wrong = 0;
    for (const Row& row : Rows())
    {
        SECURITY_DESCRIPTOR descriptor;
        std::vector<BYTE> aclBytes(1024);
        PACL acl = reinterpret_cast<PACL>(aclBytes.data());
        bool built = InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                     SetSecurityDescriptorOwner(&descriptor, row.owner, FALSE) &&
                     InitializeAcl(acl, static_cast<DWORD>(aclBytes.size()), ACL_REVISION_DS) &&
                     row.entries(acl);
        if (row.dacl != Dacl::Absent)
            built = built && SetSecurityDescriptorDacl(
                                 &descriptor, TRUE, row.dacl == Dacl::Null ? nullptr : acl, FALSE);
        if (!built || !HasShape(&descriptor, row))
        {
            out << row.what << ": not built as meant (" << GetLastError() << ")\n";
            ++wrong;
            continue;
        }
        const std::string expected = Verdicts(row.contents, row.place, row.root, row.rights);
        const std::string found = Verdicts(OthersMayChange(&descriptor, Reach::Contents, trusted),
                                           OthersMayChange(&descriptor, Reach::Place, trusted),
                                           OthersMayChange(&descriptor, Reach::Root, trusted),
                                           OthersMayChange(&descriptor, Reach::Rights, trusted));
        if (found != expected)
        {
            out << row.what << ": " << found << ", expected " << expected << "\n";
            ++wrong;
        }
    }
    out << wrong << " of " << Rows().size() << " rows wrong\n";
    return wrong;
}
