#include <algorithm>
#include <map>
#include <set>
#include <string>

#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/msw/wrapwin.h>

#include "check/checks.h"
#include "common/pathrules.h"
#include "common/product.h"
#include "registration/registrationfile.h"
#include "registration/systemreader.h"

namespace
{

// What a reader found, or "nothing".
wxString OrNothing(const wxString& found)
{
    return found.empty() ? wxString(_("nothing")) : found;
}

bool SameView(const ReadersView& a, const ReadersView& b)
{
    return a.systems.size() == b.systems.size() &&
           std::equal(a.systems.begin(), a.systems.end(), b.systems.begin(), IsSameProfileName) &&
           a.program.IsSameAs(b.program, false);
}

// What Windows' own reader of the file returns, and whether it reads the
// file as the program does.
void CheckSystemReader(const wxString& file, const ReadersView& own, Findings& findings)
{
    ReadersView system;
    if (!ReadWithSystemReader(file, system).Is(PassResult::Outcome::Done))
        return;
    findings.Note(wxString::Format(
        _("Windows' own reader of %s finds the list: %s; and PATDATIMPORT of [TIVORA]: %s."), file,
        OrNothing(system.JoinedSystems()), OrNothing(system.program)));
    if (!SameView(own, system))
        findings.Problem(wxString::Format(
            _("Windows' own reader of %s reads it otherwise than Windows' rules for such files "
              "say (the list: %s; PATDATIMPORT of [TIVORA]: %s): a line of the file is read "
              "differently on this system. Correct the lines the two readings differ in."),
            file, OrNothing(own.JoinedSystems()), OrNothing(own.program)));
}

// What breaks Windows readers in the bytes themselves: no reader reports it.
// The lines are judged as the pass decoded them.
void CheckBytes(const wxString& path, const std::string& bytes, const RegistrationFileLines& lines,
                Findings& findings)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        findings.Problem(wxString::Format(
            _("%s starts with a UTF-8 byte-order mark: Windows readers then do not see its first "
              "section header. Save it again as ANSI text (without the three bytes EF BB BF)."),
            path));
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)
    {
        findings.Problem(wxString::Format(
            _("%s is UTF-16 text: programs that write it as ANSI text damage it. Save it again as "
              "ANSI text."),
            path));
        return;
    }
    const bool utf8 = ::GetACP() == CP_UTF8;
    for (size_t i = 0; i < lines.decoding.size(); ++i)
    {
        const int number = static_cast<int>(i + 1);
        switch (lines.decoding[i])
        {
        case LineDecoding::Text:
            continue;
        case LineDecoding::HoldsNul:
            findings.Problem(wxString::Format(
                _("Line %d of %s holds a NUL byte, as a file a crash cut short does: Windows "
                  "readers stop reading the line there, and Tivora does not register in such a "
                  "file. Remove the NUL bytes or restore the file from a backup."),
                number, path));
            continue;
        case LineDecoding::StructureOnly:
            if (utf8)
            {
                findings.Note(wxString::Format(
                    _("Line %d of %s is not UTF-8 text, the ANSI code page of this system: "
                      "readers here see other characters in it. Tivora keeps the line as it is."),
                    number, path));
                continue;
            }
            break;
        case LineDecoding::Unknown:
            break;
        }
        findings.Problem(wxString::Format(
            _("Line %d of %s is not text in this system's ANSI code page %u: readers see "
              "other characters there. Correct the line, or ask the vendor whose line it is."),
            number, path, ::GetACP()));
        return;
    }
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

void CheckProgramPath(const CRegistrationList& list, const ProfileSection& product,
                      const Installation& installation, Findings& findings)
{
    wxString program;
    list.Value(product, wxS("PATDATIMPORT"), program);
    const wxString installed = installation.appPath.empty()
                                   ? wxString()
                                   : installation.appPath + wxS("\\") + kProgramFileName;
    if (program.empty())
        findings.Problem(_("[TIVORA] has no PATDATIMPORT entry: the practice software cannot call "
                           "the product. Install the product again."));
    else if (!IsUsableInstallPath(program))
        findings.Problem(wxString::Format(
            _("PATDATIMPORT of [TIVORA] is not an absolute path: \"%s\". Install the product "
              "again."),
            program));
    else if (!wxFileExists(program))
        findings.Problem(wxString::Format(
            _("PATDATIMPORT of [TIVORA] names a program that does not exist: \"%s\". Install the "
              "product again."),
            program));
    else if (!installed.empty() && !program.IsSameAs(installed, false))
        findings.Problem(wxString::Format(
            _("PATDATIMPORT of [TIVORA] names \"%s\", not the installed program \"%s\". Install "
              "the product again, which corrects the section."),
            program, installed));
}

// Entries behind the number readers stop at are seen by nobody: says what
// stops them there.
void CheckWhereReadersStop(const CRegistrationList& list, Findings& findings)
{
    const int stop = list.StopNumber();
    if (list.Entries().empty() || list.Entries().back().number <= stop)
        return;
    const ProfileSection& section = *list.ListSection();
    wxString cause;
    if (list.Entry(stop) != nullptr)
        cause = wxString::Format(_("NAME%d in [BVS] is empty"), stop);
    else if (HasLineWithoutEquals(list, section, wxString::Format(wxS("NAME%d"), stop)))
        cause = wxString::Format(_("the line NAME%d in [BVS] has no \"=\""), stop);
    else
        cause = wxString::Format(_("NAME%d is missing in [BVS]"), stop);
    findings.Problem(wxString::Format(
        _("%s: readers that count up from NAME1 stop there and do not see the entries after "
          "it. Number the entries without a gap."),
        cause));
}

void CheckList(const CRegistrationList& list, const wxString& file,
               const Installation& installation, Findings& findings)
{
    if (list.ListSection() == nullptr)
    {
        findings.Problem(wxString::Format(
            _("%s has no [BVS] section: the practice software finds no imaging system in it. "
              "Install the product again."),
            file));
        return;
    }
    const int listHeaders =
        static_cast<int>(std::count_if(list.Sections().begin(), list.Sections().end(),
                                       [](const ProfileSection& section) {
                                           return IsSameProfileName(section.name, kListSectionName);
                                       }));
    if (listHeaders > 1)
        findings.Problem(wxString::Format(
            _("[BVS] stands %d times in %s: readers see only the first one. Move the entries of "
              "the others into the first and remove the other headers."),
            listHeaders, file));

    std::set<wxString> listedSections;
    for (const ListEntry& entry : list.Entries())
    {
        listedSections.insert(entry.system.Upper());
        if (!entry.system.empty() && list.FindSection(entry.system) == nullptr)
            findings.Problem(wxString::Format(
                _("NAME%d=%s in [BVS] names a section that does not exist: the practice software "
                  "offers an imaging system it cannot call. Remove the entry or install that "
                  "system again."),
                entry.number, entry.system));
    }
    CheckWhereReadersStop(list, findings);
    // An entry behind a gap is reported with the gap.
    if (list.FindEntry(kProductSection) == nullptr)
        findings.Problem(_("Tivora is not listed in [BVS]: the practice software does not offer "
                           "it. Install the product again, which adds the entry."));
    if (const ProfileSection* product = list.FindSection(kProductSection))
        CheckProgramPath(list, *product, installation, findings);
    else
        findings.Problem(_("The section [TIVORA] is missing: the practice software cannot call the "
                           "product. Install the product again."));

    for (const ProfileSection& section : list.Sections())
    {
        wxString program;
        if (list.FindSection(section.name) != &section ||
            IsSameProfileName(section.name, kListSectionName) ||
            IsSameProfileName(section.name, kProductSection) ||
            listedSections.count(section.name.Upper()) ||
            !list.Value(section, wxS("PATDATIMPORT"), program) || program.empty())
            continue;
        findings.Problem(wxString::Format(
            _("The imaging system's section [%s] is not listed in [BVS]: the practice software "
              "does not offer it. Add a NAME entry for it, or install that system again."),
            section.name));
    }
}

} // namespace

void CheckRegistrationFile(const Installation& installation, Findings& findings)
{
    if (::GetACP() == CP_UTF8)
        findings.Note(
            _("This system uses UTF-8 as its ANSI code page (the option \"Use Unicode UTF-8 for "
              "worldwide language support\"): programs that read vdds_mmi.ini as ANSI text read "
              "umlauts as UTF-8."));
    const wxString& file = installation.registrationFile;
    if (file.empty())
        return;
    if (!wxFileExists(file))
    {
        findings.Problem(wxString::Format(
            _("%s does not exist: no imaging system is registered on this computer. Install the "
              "product again."),
            file));
        return;
    }
    std::string bytes;
    RegistrationFileLines lines;
    const PassResult read = ReadRegistrationFile(file, bytes, lines);
    const bool readable = read.Is(PassResult::Outcome::Done);
    if (bytes.empty() && !readable)
    {
        findings.CouldNotCheck(
            wxString::Format(_("%s could not be read: %s."), file, read.Explanation()));
        return;
    }
    if (::GetFileAttributesW(file.wc_str()) & FILE_ATTRIBUTE_READONLY)
        findings.Problem(wxString::Format(
            _("%s is read-only: no imaging system can register in it. Remove the read-only "
              "attribute (Properties), then install the product again."),
            file));
    CheckBytes(file, bytes, lines, findings);
    if (!readable)
        return;
    const CRegistrationList list(lines.text);
    CheckList(list, file, installation, findings);
    CheckSystemReader(file, list.View(), findings);
}
