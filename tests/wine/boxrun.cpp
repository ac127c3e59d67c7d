// Runs one command line, answers every window the started process or any
// process it started in turn shows, and records what happened:
//   boxrun.exe JOB RESULT [hidden|private] [cancel]
// With "hidden" the process starts on a desktop of a window station of its
// own that is not visible, as in session 0, and its windows are looked for
// there; with "private" on a desktop of its own on the visible window
// station, which is never on screen either. With "cancel" each dialog is answered with Cancel
// rather than OK (an installer then ends on its first page). JOB holds the command line to run
// (UTF-8, one line). RESULT receives, in UTF-8, one line "box<TAB>caption<TAB>text<TAB>kind" per
// window in the order they appeared (line breaks in the text written as \n). Kind is "classic" for
// a MessageBox with its text control 0xFFFF, "list" for the wx log dialog,
// whose list entries follow as lines "entry<TAB>text", "other" for any other
// dialog, such as a task dialog, and "window" for any other visible window.
// Then "exit<TAB>code", or "timeout" when the process did not end in time.
#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "wideutf8.h"

namespace
{

std::wstring WindowText(HWND window)
{
    wchar_t buffer[4096];
    const int length = GetWindowTextW(window, buffer, 4096);
    return std::wstring(buffer, length > 0 ? length : 0);
}

std::string Escaped(const std::wstring& text)
{
    std::string out;
    for (const char ch : Utf8(text))
    {
        if (ch == '\n')
            out += "\\n";
        else if (ch != '\r')
            out += ch;
    }
    return out;
}

// The text of a message box: every non-empty static control, so that both a
// classic box and a task dialog are read.
BOOL CALLBACK CollectStaticText(HWND child, LPARAM param)
{
    wchar_t className[64];
    GetClassNameW(child, className, 64);
    const std::wstring text = WindowText(child);
    if (lstrcmpiW(className, L"Static") == 0 && !text.empty())
    {
        std::wstring& all = *reinterpret_cast<std::wstring*>(param);
        if (!all.empty())
            all += L"\n";
        all += text;
    }
    return TRUE;
}

BOOL CALLBACK FindListView(HWND child, LPARAM param)
{
    wchar_t className[64];
    GetClassNameW(child, className, 64);
    if (lstrcmpiW(className, WC_LISTVIEWW) != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

// LVITEMW as a 32-bit process lays it out; only the fields that
// LVM_GETITEMTEXTW reads are named.
struct ListItem32
{
    UINT mask;
    int item;
    int subItem;
    UINT state;
    UINT stateMask;
    DWORD text;
    int textMax;
    int rest[8];
};

// The text of every entry of a list view in another process: the request and
// the answer must live in that process's memory.
std::vector<std::wstring> ListEntries(HWND list, DWORD processId)
{
    std::vector<std::wstring> entries;
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                           PROCESS_QUERY_INFORMATION,
                                       FALSE, processId);
    if (!process)
        return entries;
    BOOL wow64 = FALSE;
    IsWow64Process(process, &wow64);
    const size_t textMax = 4096;
    char* const remote = static_cast<char*>(VirtualAllocEx(
        process, nullptr, 512 + textMax * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    char* const remoteText = remote + 512;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; remote && i < count; ++i)
    {
        if (wow64)
        {
            ListItem32 item = {};
            item.text = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(remoteText));
            item.textMax = textMax;
            WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
        }
        else
        {
            LVITEMW item = {};
            item.pszText = reinterpret_cast<wchar_t*>(remoteText);
            item.cchTextMax = textMax;
            WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
        }
        const LRESULT length =
            SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(remote));
        std::wstring text(static_cast<size_t>(length), L'\0');
        if (length > 0)
            ReadProcessMemory(process, remoteText, &text[0], length * sizeof(wchar_t), nullptr);
        entries.push_back(text);
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return entries;
}

// The wx log dialog's OK button has wx's own id for it.
const int kWxIdOk = 5100;

struct Watch
{
    // The started process and every process started from it, as far as seen.
    std::set<DWORD> processIds;
    std::set<HWND> answered;
    std::ofstream* result;
    bool cancel;
};

// Adds the processes started from any process in `ids`.
void AddDescendants(std::set<DWORD>& ids)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
    {
        if (ids.count(entry.th32ParentProcessID))
            ids.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
}

BOOL CALLBACK AnswerBox(HWND window, LPARAM param)
{
    Watch& watch = *reinterpret_cast<Watch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (!watch.processIds.count(owner) || !IsWindowVisible(window) || watch.answered.count(window))
        return TRUE;

    wchar_t className[64];
    GetClassNameW(window, className, 64);
    HWND list = nullptr;
    EnumChildWindows(window, FindListView, reinterpret_cast<LPARAM>(&list));
    std::wstring text;
    EnumChildWindows(window, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    const bool dialog = lstrcmpW(className, L"#32770") == 0;
    const char* kind = "window";
    if (list)
        kind = "list";
    else if (dialog)
        kind = GetDlgItem(window, 0xFFFF) != nullptr ? "classic" : "other";
    *watch.result << "box\t" << Escaped(WindowText(window)) << "\t" << Escaped(text) << "\t" << kind
                  << "\n";
    if (list)
        for (const std::wstring& entry : ListEntries(list, owner))
            *watch.result << "entry\t" << Escaped(entry) << "\n";
    watch.result->flush();
    watch.answered.insert(window);

    if (list)
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(kWxIdOk, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, kWxIdOk)));
    else if (dialog)
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(watch.cancel ? IDCANCEL : IDOK, BN_CLICKED), 0);
    else
        PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

// Creates a window station that is not visible with a desktop in it; returns
// the desktop, whose name for STARTUPINFOW is "tvddshidden\Default".
HDESK CreateHiddenDesktop()
{
    const HWINSTA visible = GetProcessWindowStation();
    const HWINSTA hidden = CreateWindowStationW(L"tvddshidden", 0, WINSTA_ALL_ACCESS, nullptr);
    if (!hidden || !SetProcessWindowStation(hidden))
        return nullptr;
    const HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(visible);
    return desktop;
}

// Creates a desktop of its own on the visible window station; its name for
// STARTUPINFOW is "WinSta0\tvddsprivate".
HDESK CreatePrivateDesktop()
{
    return CreateDesktopW(L"tvddsprivate", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    bool hidden = false;
    bool privateDesktop = false;
    bool cancel = false;
    for (int i = 3; i < argc; ++i)
    {
        hidden |= lstrcmpW(argv[i], L"hidden") == 0;
        privateDesktop |= lstrcmpW(argv[i], L"private") == 0;
        cancel |= lstrcmpW(argv[i], L"cancel") == 0;
    }
    std::ifstream job(argv[1], std::ios::binary);
    std::string line;
    std::getline(job, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::wstring commandLine = Wide(line);

    std::ofstream result(argv[2], std::ios::binary);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    wchar_t hiddenDesktopName[] = L"tvddshidden\\Default";
    wchar_t privateDesktopName[] = L"WinSta0\\tvddsprivate";
    const HDESK hiddenDesktop = hidden           ? CreateHiddenDesktop()
                                : privateDesktop ? CreatePrivateDesktop()
                                                 : nullptr;
    if (hidden || privateDesktop)
    {
        if (!hiddenDesktop)
        {
            result << "desktop-failed\t" << GetLastError() << "\n";
            return 1;
        }
        startup.lpDesktop = hidden ? hiddenDesktopName : privateDesktopName;
    }
    // The watched program's current directory, where the caller chooses one.
    wchar_t currentDirectory[MAX_PATH];
    const bool inDirectory =
        GetEnvironmentVariableW(L"BOXRUN_CURRENT_DIRECTORY", currentDirectory, MAX_PATH) > 0;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        inDirectory ? currentDirectory : nullptr, &startup, &process))
    {
        result << "start-failed\t" << GetLastError() << "\n";
        return 1;
    }

    Watch watch{{process.dwProcessId}, {}, &result, cancel};
    const DWORD deadline = GetTickCount() + 30000;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT)
    {
        AddDescendants(watch.processIds);
        // A dismissed box's handle may come back for the next box.
        for (auto it = watch.answered.begin(); it != watch.answered.end();)
            it = IsWindow(*it) ? std::next(it) : watch.answered.erase(it);
        if (hiddenDesktop)
            EnumDesktopWindows(hiddenDesktop, AnswerBox, reinterpret_cast<LPARAM>(&watch));
        else
            EnumWindows(AnswerBox, reinterpret_cast<LPARAM>(&watch));
        if (GetTickCount() > deadline)
        {
            TerminateProcess(process.hProcess, 99);
            result << "timeout\n";
            return 1;
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result << "exit\t" << static_cast<int>(code) << "\n";
    return 0;
}
