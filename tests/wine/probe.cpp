// Reads what the end-to-end tests check through the real Windows interfaces
// and writes it as UTF-8 lines to OUT:
//   probe.exe acl PATH OUT    one line "ace<TAB>type<TAB>mask<TAB>sid" per entry
//                             of the path's discretionary access list
//   probe.exe reg NAME OUT    the value NAME of the product's registry key,
//                             or nothing when it is missing
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <fstream>
#include <string>

#include "wideutf8.h"

namespace
{

int WriteAcl(const wchar_t* path, std::ofstream& out)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return 1;
    if (!dacl)
        out << "null-dacl\n";
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i)
    {
        ACE_HEADER* header = nullptr;
        GetAce(dacl, i, reinterpret_cast<void**>(&header));
        const ACCESS_ALLOWED_ACE* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        wchar_t* sid = nullptr;
        ConvertSidToStringSidW(const_cast<DWORD*>(&ace->SidStart), &sid);
        out << "ace\t" << static_cast<int>(header->AceType) << "\t0x" << std::hex << ace->Mask
            << std::dec << "\t" << (sid ? Utf8(sid) : std::string("?")) << "\t"
            << static_cast<int>(header->AceFlags) << "\n";
        LocalFree(sid);
    }
    LocalFree(descriptor);
    return 0;
}

int WriteRegistryValue(const wchar_t* name, std::ofstream& out)
{
    wchar_t value[4096];
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvorin\\TivoraClient", name, RRF_RT_REG_SZ,
                     nullptr, value, &size) == ERROR_SUCCESS)
        out << Utf8(value);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 2;
    std::ofstream out(argv[3], std::ios::binary);
    const std::wstring command(argv[1]);
    if (command == L"acl")
        return WriteAcl(argv[2], out);
    if (command == L"reg")
        return WriteRegistryValue(argv[2], out);
    return 2;
}
