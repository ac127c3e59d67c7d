#pragma once
// The operating system's part of tvdds's two jobs, shared by the baseline and
// the least wxWidgets program that does them.
#include <windows.h>

#include <string>

// Starts "tivoracl.exe ARGUMENT" without waiting for it; 0 on success.
inline int LaunchClient(const std::wstring& argument)
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

// Copies INI to a backup in BACKUPDIR and to a temporary file, which then
// replaces INI; 0 on success.
inline int CopyAndReplace(const std::wstring& ini, const std::wstring& backupDir)
{
    const std::wstring temp = ini + L".tmp";
    return CopyFileW(ini.c_str(), (backupDir + L"\\vdds_mmi_baseline.bak").c_str(), FALSE) &&
                   CopyFileW(ini.c_str(), temp.c_str(), FALSE) &&
                   MoveFileExW(temp.c_str(), ini.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : 1;
}
