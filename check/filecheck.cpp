#include <algorithm>
#include <set>

#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/msw/wrapwin.h>

#include "check/checks.h"
#include "common/product.h"
#include "registration/fileops.h"
#include "registration/registrationpass.h"
#include "registration/systemreader.h"

namespace
{

bool SameView(const ReadersView& a, const ReadersView& b)
{
    return a.systems.size() == b.systems.size() &&
           std::equal(a.systems.begin(), a.systems.end(), b.systems.begin(), IsSameProfileName) &&
           a.program.IsSameAs(b.program, false);
}

bool NamesProduct(const wxString& system)
{
    return IsSameProfileName(system, kProductSection);
}

wxString JoinedWith(const wxString& joined, const wxString& more)
{
    return joined.empty() ? more : joined + wxS(", ") + more;
}

bool HasLineWithoutEquals(const CRegistrationList& list, const ProfileSection& section,
                          const wxString& key)
{
    for (size_t i = section.header + 1; i < section.end; ++i)
    {
        if (list.Lines()[i].kind == ProfileLine::Kind::Text &&
            IsSameProfileName(list.Lines()[i].name, key))
            return true;
    }
    return false;
}

// Lines that are not text in the ANSI code page, which the pass reads for
// their structure only.
void CheckUndecodedLines(const wxString& path, const RegistrationFileLines& lines,
                         Findings& findings)
{
    const bool utf8 = ::GetACP() == CP_UTF8;
    for (size_t i = 0; i < lines.decoding.size(); ++i)
    {
        if (lines.decoding[i] != LineDecoding::StructureOnly)
            continue;
        const int number = static_cast<int>(i + 1);
        if (utf8)
        {
            findings.Note(wxString::Format(
                _("Line %d of %s is not UTF-8 text, the ANSI code page of this system: "
                  "readers here see other characters in it. Tivora keeps the line as it is."),
                number, path));
            continue;
        }
        findings.Problem(wxString::Format(
            _("Line %d of %s is not text in this system's ANSI code page %u: readers see "
              "other characters there. Correct the line, or ask the vendor whose line it is."),
            number, path, ::GetACP()));
        return;
    }
}

// Other systems' entries behind the number readers stop at, as the file
// stands once the product is installed again: the pass fills no gap but the
// one it takes for the product.
void CheckEntriesBehindTheStop(const wxString& path, const FileState& file, Findings& findings)
{
    // Without a plan, how the file stands once the product is installed
    // again is not known.
    if (!file.plan.Succeeded())
        return;
    const CRegistrationList after(file.after);
    const int stop = after.StopNumber();
    wxString hidden;
    for (const ListEntry& entry : after.Entries())
    {
        if (entry.number > stop && !entry.system.empty() && !NamesProduct(entry.system))
            hidden = JoinedWith(hidden, entry.system);
    }
    if (!hidden.empty())
        findings.Problem(wxString::Format(
            _("Readers that count up from NAME1 in [BVS] of %s stop where %s, and do not see %s "
              "behind it, also once Tivora is installed again: the practice software does not "
              "offer them. Ask their vendors to install them again, or number the entries "
              "without a gap."),
            path, WhereReadersStop(after), hidden));
}

// Whether Windows' own reader of the file reads it as the program does.
void CheckSystemReader(const wxString& path, const FileState& file, const Answered& answered,
                       Findings& findings)
{
    // A byte-order mark before the first header is reported as the cause.
    if (!HasSystemReader() || answered.systemReader || file.ByteOrderMarkHidesFirstHeader())
        return;
    if (!file.SystemRead())
    {
        findings.CouldNotCheck(wxString::Format(_("Windows' own reader could not read %s: %s."),
                                                path, file.systemReading.Explanation()));
        return;
    }
    const ReadersView own = CRegistrationList(file.lines.text).View();
    if (!SameView(own, file.system))
        findings.Problem(wxString::Format(
            _("Windows' own reader of %s reads it otherwise than Windows' rules for such files "
              "say: it finds the list %s and PATDATIMPORT of [TIVORA] %s, the rules find %s and "
              "%s. A line of the file is read differently on this system: correct the lines the "
              "two readings differ in."),
            path, OrNothing(file.system.JoinedSystems()), OrNothing(file.system.program),
            OrNothing(own.JoinedSystems()), OrNothing(own.program)));
}

// The systems that later [BVS] sections list and readers do not see, who
// read only the first.
void CheckLaterListSections(const wxString& path, const CRegistrationList& list, Findings& findings)
{
    const ReadersView view = list.View();
    for (const ProfileSection& section : list.Sections())
    {
        if (&section == list.ListSection() || !IsSameProfileName(section.name, kListSectionName))
            continue;
        wxString unseen;
        for (size_t i = section.header + 1; i < section.end; ++i)
        {
            const ProfileLine& line = list.Lines()[i];
            if (line.kind == ProfileLine::Kind::Entry && ListKeyNumber(line.name) != 0 &&
                !line.value.empty() && !NamesProduct(line.value) && !view.Lists(line.value))
                unseen = JoinedWith(unseen, line.value);
        }
        if (!unseen.empty())
            findings.Problem(wxString::Format(
                _("The [BVS] section in line %d of %s lists %s, which no reader sees: readers see "
                  "only the first [BVS]. Ask the vendors of these systems to install them "
                  "again."),
                static_cast<int>(section.header + 1), path, unseen));
    }
}

} // namespace

wxString WhereReadersStop(const CRegistrationList& list)
{
    const int stop = list.StopNumber();
    if (list.Entry(stop) != nullptr)
        return wxString::Format(_("NAME%d is empty"), stop);
    const ProfileSection* section = list.ListSection();
    if (section != nullptr &&
        HasLineWithoutEquals(list, *section, wxString::Format(wxS("NAME%d"), stop)))
        return wxString::Format(_("the line NAME%d has no \"=\""), stop);
    return wxString::Format(_("NAME%d is missing"), stop);
}

bool FileState::ByteOrderMarkHidesFirstHeader() const
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0 || lines.bytes.empty())
        return false;
    // Only a hidden list or a hidden product section makes readers miss the
    // product, and the pass plan a second one; a hidden header of another
    // section changes neither. The "[" after the mark and any blanks, and
    // both names, are ASCII, which every ANSI code page reads alike.
    const ProfileLine first =
        ReadProfileLine(wxString(lines.bytes.front().substr(3).c_str(), wxConvISO8859_1));
    return first.kind == ProfileLine::Kind::Header &&
           (IsSameProfileName(first.name, kListSectionName) ||
            IsSameProfileName(first.name, kProductSection));
}

FileState ReadRegistration(const Installation& installation)
{
    FileState file;
    const wxString& path = installation.registrationFile;
    if (path.empty())
        return file;
    file.exists = wxFileExists(path);
    wxString target;
    file.writeProtected = file.exists && FollowLinks(path, target) && IsWriteProtected(target);
    file.read = ReadRegistrationFile(path, file.bytes, file.lines, installation.appPath);
    if (file.Unreadable())
        return file;
    if (HasSystemReader())
        file.systemReading = ReadWithSystemReader(path, file.system);
    if (!file.read.Is(PassResult::Outcome::Done))
    {
        file.plan = file.read;
        return file;
    }
    const CVddsRegistration pass(installation.appPath, installation.dataConfigPath, false);
    file.plan = pass.PlanRegistration(file.lines, file.changes);
    file.after = ChangedText(file.lines.text, file.changes);
    return file;
}

void CheckWhatStopsReaders(const Installation& installation, const FileState& file,
                           const Answered& answered, Findings& findings)
{
    if (::GetACP() == CP_UTF8)
        findings.Note(
            _("This system uses UTF-8 as its ANSI code page (the option \"Use Unicode UTF-8 for "
              "worldwide language support\"): programs that read vdds_mmi.ini as ANSI text read "
              "umlauts as UTF-8."));
    const wxString& path = installation.registrationFile;
    if (path.empty() || file.Unreadable() || !file.exists)
        return;
    if (file.bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 && !answered.byteOrderMark)
        findings.Problem(wxString::Format(
            _("%s starts with a UTF-8 byte-order mark: Windows readers then do not see its first "
              "section header. Save it again as ANSI text (without the three bytes EF BB BF)."),
            path));
    if (file.lines.encoding == FileEncoding::Utf16Le)
        findings.Note(wxString::Format(
            _("%s is UTF-16LE text (\"Unicode\"), which Windows reads and keeps as such; Tivora "
              "reads and writes it as such too."),
            path));
    // What the pass refuses to read, the answer or the lines about installing
    // again say.
    if (!file.read.Is(PassResult::Outcome::Done))
        return;
    CheckUndecodedLines(path, file.lines, findings);
    CheckEntriesBehindTheStop(path, file, findings);
    CheckSystemReader(path, file, answered, findings);
}

void CheckOtherVendorsLines(const Installation& installation, const FileState& file,
                            Findings& findings)
{
    const wxString& path = installation.registrationFile;
    if (path.empty() || !file.exists || !file.read.Is(PassResult::Outcome::Done))
        return;
    const CRegistrationList list(file.lines.text);
    if (list.ListSection() == nullptr)
        return;
    CheckLaterListSections(path, list, findings);

    const int stop = list.StopNumber();
    std::set<wxString> listedSections;
    for (const ListEntry& key : list.Keys())
        listedSections.insert(key.system.Upper());
    for (const ListEntry& entry : list.Entries())
    {
        if (entry.number < stop && !NamesProduct(entry.system) &&
            list.FindSection(entry.system) == nullptr)
            findings.Problem(wxString::Format(
                _("NAME%d=%s in [BVS] names a section that does not exist: the practice software "
                  "offers an imaging system it cannot call. Install that system again, or ask "
                  "its vendor."),
                entry.number, entry.system));
    }
    for (const ProfileSection& section : list.Sections())
    {
        wxString program;
        if (list.FindSection(section.name) != &section ||
            IsSameProfileName(section.name, kListSectionName) || NamesProduct(section.name) ||
            listedSections.count(section.name.Upper()) ||
            !list.Value(section, wxS("PATDATIMPORT"), program) || program.empty())
            continue;
        findings.Problem(wxString::Format(
            _("The imaging system's section [%s] is not listed in [BVS]: the practice software "
              "does not offer it. Add a NAME entry for it, or install that system again."),
            section.name));
    }
}
