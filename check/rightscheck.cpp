#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/log.h>
#include <wx/msw/wrapwin.h>

#include <aclapi.h>

#include "check/checks.h"
#include "common/product.h"
#include "registration/accessrights.h"

namespace
{

// What readers and writers of the shared file need, which the program's
// full control includes.
const ACCESS_MASK kReadAndWrite = FILE_GENERIC_READ | FILE_GENERIC_WRITE;

ACCESS_MASK FileRights(ACCESS_MASK mask)
{
    if (mask & GENERIC_ALL)
        mask |= FILE_ALL_ACCESS;
    if (mask & GENERIC_READ)
        mask |= FILE_GENERIC_READ;
    if (mask & GENERIC_WRITE)
        mask |= FILE_GENERIC_WRITE;
    return mask;
}

// The rights the access list grants to `sid` by entries naming it, less those
// it denies.
ACCESS_MASK RightsOf(PACL acl, PSID sid)
{
    ACCESS_MASK allowed = 0, denied = 0;
    for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i)
    {
        ACE_HEADER* ace = nullptr;
        if (!::GetAce(acl, i, reinterpret_cast<void**>(&ace)) || (ace->AceFlags & INHERIT_ONLY_ACE))
            continue;
        if (ace->AceType == ACCESS_ALLOWED_ACE_TYPE)
        {
            const auto* entry = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
            if (::EqualSid(const_cast<DWORD*>(&entry->SidStart), sid))
                allowed |= FileRights(entry->Mask);
        }
        else if (ace->AceType == ACCESS_DENIED_ACE_TYPE)
        {
            const auto* entry = reinterpret_cast<ACCESS_DENIED_ACE*>(ace);
            if (::EqualSid(const_cast<DWORD*>(&entry->SidStart), sid))
                denied |= FileRights(entry->Mask);
        }
    }
    return allowed & ~denied;
}

void CheckOpenRights(const wxString& path, Findings& findings)
{
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring name(path.wc_str());
    const DWORD result =
        ::GetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &acl, nullptr, &descriptor);
    if (result != ERROR_SUCCESS)
    {
        findings.CouldNotCheck(wxString::Format(
            _("The access rights of %s could not be read (%s)."), path, wxSysErrorMsgStr(result)));
        return;
    }
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID everyone = nullptr, administrators = nullptr;
    ::AllocateAndInitializeSid(&worldAuthority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                               &everyone);
    ::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                               DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators);
    // A missing list lets everybody do everything.
    const bool everyoneMay =
        acl == nullptr || (RightsOf(acl, everyone) & kReadAndWrite) == kReadAndWrite;
    const bool administratorsMay = acl == nullptr || everyoneMay ||
                                   (RightsOf(acl, administrators) & kReadAndWrite) == kReadAndWrite;
    if (!everyoneMay)
        findings.Problem(wxString::Format(
            _("Everyone may not read and write %s: practice software and imaging systems that run "
              "without administrator rights cannot use it. Run \"tvdds.exe initsetup\" as an "
              "administrator, which opens the rights again."),
            path));
    if (!administratorsMay)
        findings.Problem(wxString::Format(
            _("The administrators may not read and write %s. Run \"tvdds.exe initsetup\" as an "
              "administrator, which opens the rights again."),
            path));
    ::FreeSid(administrators);
    ::FreeSid(everyone);
    ::LocalFree(descriptor);
}

} // namespace

void CheckRights(const Installation& installation, const FileState& file, Findings& findings)
{
    const wxString& path = installation.registrationFile;
    if (!path.empty() && wxFileExists(path))
    {
        // Where lines installing again would change are listed, their remedy
        // says so already.
        if (file.writeProtected && !file.ChangesListed())
            findings.Problem(wxString::Format(
                _("%s is read-only: no imaging system can register in it. Remove the read-only "
                  "attribute (Properties), then install the product again."),
                path));
        CheckOpenRights(path, findings);
    }
    const wxString& conf = installation.dataConfigPath;
    if (conf.empty())
        return;
    // The same test the registration pass makes before it opens the rights.
    switch (InspectDirectory(conf))
    {
    case DirectoryRights::Opened:
        break;
    case DirectoryRights::Link:
        findings.Problem(wxString::Format(
            _("The data configuration directory %s is a link, or a link stands above it: the "
              "program never opens its rights through a link. Replace the link by a directory, "
              "then install the product again."),
            conf));
        return;
    case DirectoryRights::NotADirectory:
    case DirectoryRights::Failed:
        if (::GetFileAttributesW(conf.wc_str()) == INVALID_FILE_ATTRIBUTES)
            findings.Problem(wxString::Format(
                _("The data configuration directory %s does not exist. Install the product "
                  "again."),
                conf));
        else
            findings.Problem(wxString::Format(
                _("The data configuration directory %s is no directory the program can open. "
                  "Replace it by a directory, then install the product again."),
                conf));
        return;
    }
    CheckOpenRights(conf, findings);
}
