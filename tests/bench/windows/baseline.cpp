// What the operating system itself needs for tvdds's two jobs, built for the
// same bitness as the program it is compared with:
//   baseline.exe launch ARGUMENT      starts "tivoracl.exe ARGUMENT" and ends
//   baseline.exe copy INI BACKUPDIR   copies INI to a backup and to a temporary
//                                     file, which then replaces INI
#include <string>

#include "jobs.h"

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"launch" && argc == 3)
        return LaunchClient(argv[2]);
    if (command == L"copy" && argc == 4)
        return CopyAndReplace(argv[2], argv[3]);
    return 2;
}
