// Reads what the end-to-end tests check through the real Windows interfaces
// and writes it as UTF-8 lines to OUT:
//   probe.exe acl PATH OUT    one line "ace<TAB>type<TAB>mask<TAB>sid" per entry
//                             of the path's discretionary access list
//   probe.exe version PATH OUT  one line "name<TAB>value" per version string
//                             of the file (English, Unicode block), then
//                             "fixed<TAB>a.b.c.d" for the binary file version
//   probe.exe attr PATH OUT   the file's attributes as a hexadecimal number
//   probe.exe reg32 NAME OUT  the value NAME of the product's registry key in
//   probe.exe reg64 NAME OUT  the 32-bit or 64-bit registry view, or nothing
//                             when it is missing; NAME may also be
//                             "KEY|VALUE" for a key below HKLM
//   probe.exe hold FILE|MS OUT  opens FILE letting nobody else open it,
//                             writes "held" to OUT, keeps it MS milliseconds
//   probe.exe append FILE|MS|COUNT OUT  appends the line "WINn=1" to FILE
//                             every MS milliseconds, COUNT times, as another
//                             Windows program does (sharing read and write),
//                             and writes each n whose line it wrote to OUT
//   probe.exe protect PATH|SDDL OUT  gives PATH the protected access list
//                             of the security descriptor SDDL, as an
//                             administrator does by hand
//   probe.exe list FILE OUT   the imaging systems as practice software reads
//                             them through the profile API: "NAMEn<TAB>system"
//                             from NAME1 up to the first missing number, then
//                             "system<TAB>PATDATIMPORT value" for each
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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

int WriteVersion(const wchar_t* path, std::ofstream& out)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<char> info(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, info.data()))
        return 1;
    for (const wchar_t* name :
         {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName", L"LegalCopyright",
          L"OriginalFilename", L"ProductName", L"ProductVersion"})
    {
        wchar_t* value = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
            out << Utf8(name) << "\t" << Utf8(value) << "\n";
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length))
        out << "fixed\t" << HIWORD(fixed->dwFileVersionMS) << "." << LOWORD(fixed->dwFileVersionMS)
            << "." << HIWORD(fixed->dwFileVersionLS) << "." << LOWORD(fixed->dwFileVersionLS)
            << "\n";
    return 0;
}

int WriteRegistryValue(REGSAM view, const std::wstring& keyAndName, std::ofstream& out)
{
    const size_t bar = keyAndName.find(L'|');
    const std::wstring keyPath =
        bar == std::wstring::npos ? L"SOFTWARE\\Halvorin\\TivoraClient" : keyAndName.substr(0, bar);
    const std::wstring name = bar == std::wstring::npos ? keyAndName : keyAndName.substr(bar + 1);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ | view, &key) !=
        ERROR_SUCCESS)
        return 0;
    wchar_t value[4096];
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ | RRF_RT_REG_DWORD, &type, value,
                     &size) == ERROR_SUCCESS)
    {
        DWORD number = 0;
        std::memcpy(&number, value, sizeof(number));
        if (type == REG_DWORD)
            out << number;
        else
            out << Utf8(value);
    }
    RegCloseKey(key);
    return 0;
}

std::wstring ProfileString(const wchar_t* file, const std::wstring& section,
                           const std::wstring& key)
{
    wchar_t value[4096];
    GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value, 4096, file);
    return value;
}

int WriteList(const wchar_t* file, std::ofstream& out)
{
    std::vector<std::wstring> systems;
    for (int n = 1;; ++n)
    {
        const std::wstring key = L"NAME" + std::to_wstring(n);
        const std::wstring system = ProfileString(file, L"BVS", key);
        if (system.empty())
            break;
        out << Utf8(key) << "\t" << Utf8(system) << "\n";
        systems.push_back(system);
    }
    for (const std::wstring& system : systems)
        out << Utf8(system) << "\t" << Utf8(ProfileString(file, system, L"PATDATIMPORT")) << "\n";
    return 0;
}

std::vector<std::wstring> Fields(const std::wstring& argument)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t bar; (bar = argument.find(L'|', start)) != std::wstring::npos; start = bar + 1)
        fields.push_back(argument.substr(start, bar - start));
    fields.push_back(argument.substr(start));
    return fields;
}

int Hold(const std::wstring& argument, std::ofstream& out)
{
    const std::vector<std::wstring> fields = Fields(argument);
    const HANDLE file = CreateFileW(fields[0].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    out << "held" << std::flush;
    Sleep(std::stoul(fields[1]));
    CloseHandle(file);
    return 0;
}

int Append(const std::wstring& argument, std::ofstream& out)
{
    const std::vector<std::wstring> fields = Fields(argument);
    const DWORD pause = std::stoul(fields[1]);
    const int count = std::stoi(fields[2]);
    for (int n = 0; n < count; ++n, Sleep(pause))
    {
        const HANDLE file =
            CreateFileW(fields[0].c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        const std::string line = "WIN" + std::to_string(n) + "=1\r\n";
        DWORD written = 0;
        if (WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
            written == line.size())
            out << n << "\n" << std::flush;
        CloseHandle(file);
    }
    return 0;
}

int Protect(const std::wstring& argument)
{
    const std::vector<std::wstring> fields = Fields(argument);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(fields[1].c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return 1;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    const DWORD result =
        SetNamedSecurityInfoW(const_cast<wchar_t*>(fields[0].c_str()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr);
    LocalFree(descriptor);
    return result == ERROR_SUCCESS ? 0 : 1;
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
    if (command == L"version")
        return WriteVersion(argv[2], out);
    if (command == L"attr")
    {
        out << std::hex << GetFileAttributesW(argv[2]);
        return 0;
    }
    if (command == L"reg32")
        return WriteRegistryValue(KEY_WOW64_32KEY, argv[2], out);
    if (command == L"reg64")
        return WriteRegistryValue(KEY_WOW64_64KEY, argv[2], out);
    if (command == L"list")
        return WriteList(argv[2], out);
    if (command == L"hold")
        return Hold(argv[2], out);
    if (command == L"append")
        return Append(argv[2], out);
    if (command == L"protect")
        return Protect(argv[2]);
    return 2;
}
