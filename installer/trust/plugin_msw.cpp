// The installer's plug-in: the NSIS script calls these with its arguments on
// the plug-in stack and reads the answers back from it.
//   tvddstrust::PrepareInstallationDirectory DIR   -> finding, path, error
//   tvddstrust::SealInstallation DIR               -> finding, path, error
//   tvddstrust::CheckInstallation DIR              -> finding, path, error
//   tvddstrust::SameDirectory DIR OTHER            -> "same" or "different"
//   tvddstrust::CanRemove FILE                     -> "removable", "in use" or
//                                                     "mark kept"
// A finding is "sound", "changeable above", "foreign directory", "link",
// "changeable", "too deep", "missing" or "failed"; the path names what it is about, the
// error is the system's code of a failed step.
#include "installer/trust/installdir.h"

#include <string>

namespace
{

// An entry of the plug-in stack, as NSIS lays it out.
struct StackEntry
{
    StackEntry* next;
    wchar_t text[1];
};

class Stack
{
public:
    Stack(StackEntry** top, int stringSize) : m_top(top), m_stringSize(stringSize) {}

    std::wstring Pop()
    {
        StackEntry* entry = *m_top;
        if (!entry)
            return std::wstring();
        std::wstring text(entry->text);
        *m_top = entry->next;
        ::GlobalFree(entry);
        return text;
    }

    void Push(const std::wstring& text)
    {
        auto* entry = static_cast<StackEntry*>(
            ::GlobalAlloc(GPTR, sizeof(StackEntry) + m_stringSize * sizeof(wchar_t)));
        if (!entry)
            return;
        ::lstrcpynW(entry->text, text.c_str(), m_stringSize);
        entry->next = *m_top;
        *m_top = entry;
    }

    // The verdict's error, path and finding, so that the finding comes off
    // the stack first.
    void Push(const Verdict& verdict)
    {
        Push(std::to_wstring(verdict.error));
        Push(verdict.path);
        Push(FindingName(verdict.finding));
    }

private:
    static const wchar_t* FindingName(Finding finding)
    {
        switch (finding)
        {
        case Finding::Sound:
            return L"sound";
        case Finding::ChangeableAbove:
            return L"changeable above";
        case Finding::ForeignDirectory:
            return L"foreign directory";
        case Finding::Link:
            return L"link";
        case Finding::Changeable:
            return L"changeable";
        case Finding::TooDeep:
            return L"too deep";
        case Finding::Missing:
            return L"missing";
        case Finding::Failed:
            break;
        }
        return L"failed";
    }

    StackEntry** m_top;
    int m_stringSize;
};

// Takes the one argument off the stack and puts back what `answer` says
// about it.
template <typename Answer> void AnswerAbout(StackEntry** top, int stringSize, Answer answer)
{
    Stack stack(top, stringSize);
    const std::wstring argument = stack.Pop();
    stack.Push(answer(argument));
}

const wchar_t* RemovalName(Removal removal)
{
    switch (removal)
    {
    case Removal::Removable:
        return L"removable";
    case Removal::InUse:
        return L"in use";
    case Removal::MarkKept:
        break;
    }
    return L"mark kept";
}

} // namespace

#define TVDDS_PLUGIN_FUNCTION(name)                                                                \
    extern "C" __declspec(dllexport) void __cdecl name(HWND, int stringSize, wchar_t*,             \
                                                       StackEntry** top, void*)

TVDDS_PLUGIN_FUNCTION(PrepareInstallationDirectory)
{
    AnswerAbout(top, stringSize,
                [](const std::wstring& dir)
                { return PrepareInstallationDirectory(dir, TrustedAccounts::OfThisProcess()); });
}

TVDDS_PLUGIN_FUNCTION(SealInstallation)
{
    AnswerAbout(top, stringSize,
                [](const std::wstring& dir)
                { return SealInstallation(dir, TrustedAccounts::OfThisProcess()); });
}

TVDDS_PLUGIN_FUNCTION(CheckInstallation)
{
    AnswerAbout(top, stringSize,
                [](const std::wstring& dir)
                { return CheckInstallation(dir, TrustedAccounts::OfThisProcess()); });
}

TVDDS_PLUGIN_FUNCTION(SameDirectory)
{
    Stack stack(top, stringSize);
    const std::wstring dir = stack.Pop();
    const std::wstring other = stack.Pop();
    stack.Push(IsSameDirectory(dir, other) ? L"same" : L"different");
}

TVDDS_PLUGIN_FUNCTION(CanRemove)
{
    AnswerAbout(top, stringSize,
                [](const std::wstring& file)
                { return std::wstring(RemovalName(CanBeRemoved(file))); });
}
