// Times COUNT command lines against each other from inside Windows, so that
// Wine's own start-up on the Linux side is not counted. The runs alternate,
// each command is started with CreateProcessW and waited for, and
// QueryPerformanceCounter is read around it:
//   benchrun.exe RESULT RUNS COUNT COMMAND... [VIEW PRISTINE INI BACKUPDIR]
// With the last four arguments every run starts from the same registration
// file: PRISTINE is copied over INI, the backups in BACKUPDIR are removed and
// the product's flag VddsIniWritten is set to "0" in registry VIEW ("32" or
// "64"), all before the clock starts. Writes the medians in milliseconds, in
// the order of the commands, to the file RESULT.
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace
{

struct Reset
{
    REGSAM view;
    std::wstring pristine, ini, backupDir;

    bool Apply() const
    {
        if (!CopyFileW(pristine.c_str(), ini.c_str(), FALSE))
            return false;
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((backupDir + L"\\*.bak").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE)
        {
            do
                DeleteFileW((backupDir + L"\\" + found.cFileName).c_str());
            while (FindNextFileW(search, &found));
            FindClose(search);
        }
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Halvorin\\TivoraClient", 0,
                          KEY_SET_VALUE | view, &key) != ERROR_SUCCESS)
            return false;
        const LONG set = RegSetValueExW(key, L"VddsIniWritten", 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>(L"0"), 2 * sizeof(wchar_t));
        RegCloseKey(key);
        return set == ERROR_SUCCESS;
    }
};

// Milliseconds from the start of `commandLine` to its end; negative on failure.
double TimeOneRun(std::wstring commandLine)
{
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, 120000);
    QueryPerformanceCounter(&end);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code == 0 ? 1000.0 * (end.QuadPart - start.QuadPart) / frequency.QuadPart : -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int commands = argc > 3 ? _wtoi(argv[3]) : 0;
    const int firstResetArg = 4 + commands;
    if (commands < 1 || (argc != firstResetArg && argc != firstResetArg + 4))
        return 2;
    const int runs = _wtoi(argv[2]);
    const bool resets = argc > firstResetArg;
    const wchar_t* const* resetArgs = argv + firstResetArg;
    const REGSAM view =
        resets && std::wstring(resetArgs[0]) == L"32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    const Reset reset{view, resets ? resetArgs[1] : L"", resets ? resetArgs[2] : L"",
                      resets ? resetArgs[3] : L""};

    std::vector<std::vector<double>> times(commands);
    // One unmeasured round first: the file cache and Wine's own caches warm up.
    for (int run = -1; run < runs; ++run)
        for (int which = 0; which < commands; ++which)
        {
            if (resets && !reset.Apply())
                return 3;
            const double ms = TimeOneRun(argv[4 + which]);
            if (ms < 0)
                return 4;
            if (run >= 0)
                times[which].push_back(ms);
        }
    std::ofstream result(argv[1]);
    for (const std::vector<double>& commandTimes : times)
        result << Median(commandTimes) << " ";
    result << "\n";
    return 0;
}
