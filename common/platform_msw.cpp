#include "common/platform.h"

#include <wx/cmdline.h>
#include <wx/msw/wrapwin.h>
#include <wx/utils.h>

#include "common/pathrules.h"
#include "common/product.h"

wxString WindowsDirectory()
{
    wchar_t buffer[1024];
    const UINT length = ::GetWindowsDirectoryW(buffer, WXSIZEOF(buffer));
    if (length == 0 || length >= WXSIZEOF(buffer))
        return wxString();
    return wxString(buffer, length);
}

wxCSConv LocalEncoding()
{
    // wxFONTENCODING_SYSTEM resolves to the code page GetACP() reports.
    return wxCSConv(wxFONTENCODING_SYSTEM);
}

unsigned AnsiCodePage()
{
    return ::GetACP();
}

bool CanShowWindows()
{
    DWORD session = 0;
    if (::ProcessIdToSessionId(::GetCurrentProcessId(), &session) && session == 0)
        return false;
    USEROBJECTFLAGS flags = {};
    if (::GetUserObjectInformationW(::GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags),
                                    nullptr) &&
        !(flags.dwFlags & WSF_VISIBLE))
        return false;
    // A desktop of its own on the visible window station (as some agents
    // and kiosk tools create) is never on screen: only the interactive
    // desktop "Default" is.
    wchar_t desktop[256];
    return !::GetUserObjectInformationW(::GetThreadDesktop(::GetCurrentThreadId()), UOI_NAME,
                                        desktop, sizeof(desktop), nullptr) ||
           ::lstrcmpiW(desktop, L"Default") == 0;
}

void ReportToEventLog(const wxString& text, EventType type)
{
    // The one message of the program's message table, "%1", which Event
    // Viewer shows with the text in its place.
    const DWORD kTextMessageId = 1;
    const HANDLE source = ::RegisterEventSourceW(nullptr, kEventSourceName.wc_str());
    if (source == nullptr)
        return;
    const WORD eventType = type == EventType::Error     ? EVENTLOG_ERROR_TYPE
                           : type == EventType::Warning ? EVENTLOG_WARNING_TYPE
                                                        : EVENTLOG_INFORMATION_TYPE;
    const wchar_t* strings[] = {text.wc_str()};
    ::ReportEventW(source, eventType, 0, kTextMessageId, nullptr, 1, 0, strings, nullptr);
    ::DeregisterEventSource(source);
}

wxArrayString ProcessArguments()
{
    // Split the wide command line by the DOS rules the practice software
    // expects: a backslash before a double quote stays in the argument with
    // it. wxApp::argv would follow CommandLineToArgvW, which drops it.
    return wxCmdLineParser::ConvertStringToArgs(::GetCommandLineW(), wxCMD_LINE_SPLIT_DOS);
}

void StartClient(const wxString& client, const wxString& patientFile)
{
    // The full path, quoted: Windows then searches nowhere.
    wxExecute(QuoteWindowsArgument(client) + wxS(" ") + QuoteWindowsArgument(patientFile),
              wxEXEC_ASYNC);
}
