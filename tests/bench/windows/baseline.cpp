// What the operating system itself needs for tvdds's two jobs, built for the
// same bitness as the program it is compared with:
//   baseline.exe launch ARGUMENT      starts "tivoracl.exe ARGUMENT" and ends
//   baseline.exe copy INI BACKUPDIR   copies INI to a backup and to a temporary
//                                     file, which then replaces INI
#include <windows.h>

#include <string>

namespace
{

int Launch(const std::wstring& argument)
{
    std::wstring commandLine = L"tivoracl.exe " + argument;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return 1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

int CopyAndReplace(const std::wstring& ini, const std::wstring& backupDir)
{
    const std::wstring temp = ini + L".tmp";
    return CopyFileW(ini.c_str(), (backupDir + L"\\vdds_mmi_baseline.bak").c_str(), FALSE) &&
                   CopyFileW(ini.c_str(), temp.c_str(), FALSE) &&
                   MoveFileExW(temp.c_str(), ini.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"launch" && argc == 3)
        return Launch(argv[2]);
    if (command == L"copy" && argc == 4)
        return CopyAndReplace(argv[2], argv[3]);
    return 2;
}
