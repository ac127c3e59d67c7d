// Calls the program's reading of a file through the system's profile
// reader while this process holds the file for itself, as a virus scanner
// does, and writes what the reading came to as UTF-8 lines to OUT:
//   readerrun.exe FILE HOLDMS OUT
// FILE is opened letting nobody else open it and let go after HOLDMS
// milliseconds on another thread; the reading starts while it is held. OUT
// gets "done" or "refused<TAB>error code", then "system<TAB>name" for each
// system the reader lists and "program<TAB>path".
#include <windows.h>

#include <fstream>
#include <string>

#include <wx/init.h>

#include "registration/systemreader.h"

namespace
{

struct Hold
{
    HANDLE file;
    DWORD ms;
};

DWORD WINAPI ReleaseLater(void* hold)
{
    const Hold* held = static_cast<const Hold*>(hold);
    Sleep(held->ms);
    CloseHandle(held->file);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4)
        return 2;
    const wxInitializer library;
    Hold hold{CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr),
              static_cast<DWORD>(std::stoul(argv[2]))};
    if (hold.file == INVALID_HANDLE_VALUE)
        return 1;
    const HANDLE release = CreateThread(nullptr, 0, ReleaseLater, &hold, 0, nullptr);
    ReadersView view;
    const PassResult read = ReadWithSystemReader(argv[1], view);
    WaitForSingleObject(release, INFINITE);
    CloseHandle(release);
    std::ofstream out(argv[3], std::ios::binary);
    if (read.Is(PassResult::Outcome::Done))
        out << "done\n";
    else
        out << "refused\t" << read.systemError << "\n";
    for (const wxString& system : view.systems)
        out << "system\t" << system.utf8_string() << "\n";
    out << "program\t" << view.program.utf8_string() << "\n";
    return 0;
}
