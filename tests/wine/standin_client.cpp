// Stands in for the imaging client. Records its command line and the
// arguments CommandLineToArgvW parses from it into the file named by
// TVDDS_CLIENT_RECORD (UTF-8: "cmdline<TAB>...", then "arg<TAB>..." per
// argument), then keeps running until the file RECORD.release appears (at
// most 30 seconds) and appends "exited".
#include <windows.h>

#include <shellapi.h>

#include <fstream>
#include <string>

#include "wideutf8.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t record[4096];
    if (!GetEnvironmentVariableW(L"TVDDS_CLIENT_RECORD", record, 4096))
        return 2;
    const std::wstring recordPath(record);
    {
        std::ofstream out(recordPath.c_str(), std::ios::binary);
        out << "cmdline\t" << Utf8(GetCommandLineW()) << "\n";
        int argc = 0;
        wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
        for (int i = 1; i < argc; ++i)
            out << "arg\t" << Utf8(argv[i]) << "\n";
        LocalFree(argv);
    }

    const std::wstring release = recordPath + L".release";
    for (int waited = 0; waited < 30000; waited += 50)
    {
        if (GetFileAttributesW(release.c_str()) != INVALID_FILE_ATTRIBUTES)
            break;
        Sleep(50);
    }
    std::ofstream(recordPath.c_str(), std::ios::binary | std::ios::app) << "exited\n";
    return 0;
}
