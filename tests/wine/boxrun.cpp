// Runs one command line, answers every message box the started process shows
// and records what happened:
//   boxrun.exe JOB RESULT
// JOB holds the command line to run (UTF-8, one line). RESULT receives, in
// UTF-8, one line "box<TAB>caption<TAB>text<TAB>kind" per message box in the
// order they appeared (line breaks in the text written as \n; kind "classic"
// for a MessageBox with its text control 0xFFFF, "other" for anything else,
// such as a task dialog), then "exit<TAB>code", or "timeout" when the process
// did not end in time.
#include <windows.h>

#include <fstream>
#include <set>
#include <string>

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

struct Watch
{
    DWORD processId;
    std::set<HWND> answered;
    std::ofstream* result;
};

BOOL CALLBACK AnswerBox(HWND window, LPARAM param)
{
    Watch& watch = *reinterpret_cast<Watch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64];
    GetClassNameW(window, className, 64);
    if (owner != watch.processId || !IsWindowVisible(window) ||
        lstrcmpW(className, L"#32770") != 0 || watch.answered.count(window))
        return TRUE;

    std::wstring text;
    EnumChildWindows(window, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    const bool classic = GetDlgItem(window, 0xFFFF) != nullptr;
    *watch.result << "box\t" << Escaped(WindowText(window)) << "\t" << Escaped(text) << "\t"
                  << (classic ? "classic" : "other") << "\n";
    watch.result->flush();
    watch.answered.insert(window);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    std::ifstream job(argv[1], std::ios::binary);
    std::string line;
    std::getline(job, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::wstring commandLine = Wide(line);

    std::ofstream result(argv[2], std::ios::binary);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    {
        result << "start-failed\t" << GetLastError() << "\n";
        return 1;
    }

    Watch watch{process.dwProcessId, {}, &result};
    const DWORD deadline = GetTickCount() + 30000;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT)
    {
        // A dismissed box's handle may come back for the next box.
        for (auto it = watch.answered.begin(); it != watch.answered.end();)
            it = IsWindow(*it) ? std::next(it) : watch.answered.erase(it);
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
