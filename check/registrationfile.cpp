#include <algorithm>
#include <map>
#include <set>
#include <string>

#include <wx/filefn.h>
#include <wx/intl.h>
#include <wx/msw/wrapwin.h>

#include "check/checks.h"
#include "check/profile.h"
#include "starter/filereplace.h"
#include "starter/iniedit.h"
#include "starter/launchrules.h"
#include "starter/product.h"

namespace
{

const wxString kListSection(wxS("BVS"));

// The number of a list key "NAMEn", or 0.
int ListNumber(const wxString& key)
{
    long number = 0;
    wxString digits;
    if (!key.Upper().StartsWith(wxS("NAME"), &digits) || digits.empty() ||
        !digits.ToLong(&number) || number < 1)
        return 0;
    return static_cast<int>(number);
}

bool SameName(const wxString& a, const wxString& b)
{
    return a.IsSameAs(b, false);
}

// What breaks Windows readers in the bytes themselves: no reader reports it.
void CheckBytes(const wxString& path, const std::string& bytes, Findings& findings)
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
    const std::vector<std::string> lines = SplitLines(bytes);
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const std::string& line = lines[i];
        if (!line.empty() && ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, line.data(),
                                                   static_cast<int>(line.size()), nullptr, 0) == 0)
        {
            findings.Problem(wxString::Format(
                _("Line %d of %s is not text in this system's ANSI code page %u: readers see "
                  "other characters there. Correct the line, or ask the vendor whose line it is."),
                static_cast<int>(i + 1), path, ::GetACP()));
            break;
        }
    }
}

// How often the list section's header stands in the file: readers see the
// first one only.
int ListHeaderCount(const std::string& bytes)
{
    int count = 0;
    for (std::string line : SplitLines(bytes))
    {
        line.erase(0, line.find_first_not_of(" \t"));
        line.erase(line.find_last_not_of(" \t") + 1);
        if (wxString::FromAscii(line.c_str()).IsSameAs(wxS("[BVS]"), false))
            ++count;
    }
    return count;
}

void CheckProgramPath(const wxString& file, const Installation& installation, Findings& findings)
{
    const wxString program = ReadProfileString(file, kProductSection, wxS("PATDATIMPORT"));
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
    else if (!installed.empty() && !SameName(program, installed))
        findings.Problem(wxString::Format(
            _("PATDATIMPORT of [TIVORA] names \"%s\", not the installed program \"%s\". Remove "
              "the [TIVORA] section and its NAME entry, then install the product again."),
            program, installed));
}

void CheckList(const wxString& file, const Installation& installation, Findings& findings)
{
    const std::vector<wxString> sections = ReadProfileSectionNames(file);
    const auto hasSection = [&](const wxString& name)
    {
        return std::any_of(sections.begin(), sections.end(),
                           [&](const wxString& section) { return SameName(section, name); });
    };
    if (!hasSection(kListSection))
    {
        findings.Problem(wxString::Format(
            _("%s has no [BVS] section: the practice software finds no imaging system in it. "
              "Install the product again."),
            file));
        return;
    }

    std::map<int, wxString> list;
    for (const wxString& key : ReadProfileKeys(file, kListSection))
    {
        if (ListNumber(key) > 0)
            list[ListNumber(key)] = ReadProfileString(file, kListSection, key);
    }
    bool listed = false;
    std::set<wxString> listedSections;
    for (const auto& [number, name] : list)
    {
        listed |= SameName(name, kProductSection);
        listedSections.insert(name.Upper());
        if (!hasSection(name))
            findings.Problem(wxString::Format(
                _("NAME%d=%s in [BVS] names a section that does not exist: the practice software "
                  "offers an imaging system it cannot call. Remove the entry or install that "
                  "system again."),
                number, name));
    }
    for (int expected = 1; !list.empty() && expected < list.rbegin()->first; ++expected)
    {
        if (list.count(expected) == 0)
        {
            findings.Problem(wxString::Format(
                _("NAME%d is missing in [BVS]: readers that count up from NAME1 stop there and do "
                  "not see the entries after it. Number the entries without a gap."),
                expected));
            break;
        }
    }
    if (!listed)
        findings.Problem(_("Tivora is not listed in [BVS]: the practice software does not offer "
                           "it. Install the product again, which adds the entry."));
    if (!hasSection(kProductSection))
        findings.Problem(_("The section [TIVORA] is missing: the practice software cannot call the "
                           "product. Install the product again."));
    else
        CheckProgramPath(file, installation, findings);

    for (const wxString& section : sections)
    {
        if (SameName(section, kListSection) || SameName(section, kProductSection) ||
            listedSections.count(section.Upper()) ||
            ReadProfileString(file, section, wxS("PATDATIMPORT")).empty())
            continue;
        findings.Problem(wxString::Format(
            _("The imaging system's section [%s] is not listed in [BVS]: the practice software "
              "does not offer it. Add a NAME entry for it, or install that system again."),
            section));
    }
}

} // namespace

void CheckRegistrationFile(const Installation& installation, Findings& findings)
{
    if (::GetACP() == CP_UTF8)
        findings.Problem(
            _("This system uses UTF-8 as its ANSI code page (the option \"Use Unicode UTF-8 for "
              "worldwide language support\"): every program that reads vdds_mmi.ini as ANSI text "
              "reads umlauts differently. Turn the option off in the region settings."));
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
    unsigned long error = 0;
    if (!ReadWholeFile(file, bytes, error))
    {
        findings.CouldNotCheck(
            wxString::Format(_("%s could not be read (%s)."), file, wxSysErrorMsgStr(error)));
        return;
    }
    if (::GetFileAttributesW(file.wc_str()) & FILE_ATTRIBUTE_READONLY)
        findings.Problem(wxString::Format(
            _("%s is read-only: no imaging system can register in it. Remove the read-only "
              "attribute (Properties), then install the product again."),
            file));
    CheckBytes(file, bytes, findings);
    const int listHeaders = ListHeaderCount(bytes);
    if (listHeaders > 1)
        findings.Problem(wxString::Format(
            _("[BVS] stands %d times in %s: readers see only the first one. Move the entries of "
              "the others into the first and remove the other headers."),
            listHeaders, file));
    CheckList(file, installation, findings);
}
