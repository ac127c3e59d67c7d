#pragma once

#include <cstddef>
#include <vector>

#include <wx/string.h>

// The registration file read the way practice software reads it, through
// Windows' profile API: which sections and keys it sees, which of them is the
// list of imaging systems, and where in the file's lines each of them stands.

// One line as the profile API reads it.
struct ProfileLine
{
    enum class Kind
    {
        // Empty or blank: the reader skips it.
        Blank,
        Header,
        // Anything else is a key, comments included; `value` is set only for
        // lines with "=".
        Key,
    };

    Kind kind = Kind::Blank;
    // The section name of a header, the key of any other line.
    wxString name;
    // What the reader returns for the key: blanks and surrounding quotes
    // removed.
    wxString value;
    bool hasValue = false;

    // A key that starts with ";" or "#": a comment to a person.
    bool IsComment() const;
    // A key with "=" that is no comment.
    bool IsEntry() const { return hasValue && !IsComment(); }
};

// Reads one line: leading and trailing blanks are ignored; a line that starts
// with "[" and holds a "]" is a header named by what stands up to the last
// "]", not trimmed; any other line is a key up to the first "=".
ProfileLine ReadProfileLine(const wxString& line);

// A section: its header line and the line after its last line.
struct ProfileSection
{
    size_t header;
    size_t end;
    wxString name;
};

// One entry "NAMEn" of the list, as readers see it.
struct ListEntry
{
    int number;
    size_t line;
    wxString system;
};

// The lines of a registration file and the list of imaging systems in it.
class CRegistrationList
{
public:
    explicit CRegistrationList(const std::vector<wxString>& lines);

    const std::vector<ProfileLine>& Lines() const { return m_lines; }
    const std::vector<ProfileSection>& Sections() const { return m_sections; }

    // The first section of that name in file order, compared without regard
    // to case, as readers find it; null when there is none.
    const ProfileSection* FindSection(const wxString& name) const;

    // The section that holds the list: the first one headed "BVS". A file
    // without one may use a section whose name holds "BVS" followed by a
    // blank (the first of them in the order of their lower-case names).
    const ProfileSection* ListSection() const { return m_list; }
    // Its name, or "BVS" for a list still to be made.
    wxString ListSectionName() const;

    // The list's entries "NAMEn" (n from 1, without leading zero), each
    // number with its first key only, in ascending order of their numbers.
    const std::vector<ListEntry>& Entries() const { return m_entries; }
    // The first entry that names `system`, compared without regard to case;
    // null when there is none.
    const ListEntry* FindEntry(const wxString& system) const;
    // True when readers, who count up from NAME1 and stop at the first
    // missing number, find an entry that names `system`.
    bool Lists(const wxString& system) const;
    // The lowest number n >= 1 that has no entry.
    int FirstFreeNumber() const;

    // The value of the first key of that name in `section`, and whether there
    // is such a key.
    bool Value(const ProfileSection& section, const wxString& key, wxString& value) const;
    // The index of the first key line of that name in `section`, or `npos`.
    size_t KeyLine(const ProfileSection& section, const wxString& key) const;
    // The line after which a new key of `section` goes: its last line with
    // "=" that is no comment, or its header when it has none.
    size_t LastEntryLine(const ProfileSection& section) const;

    static const size_t npos = static_cast<size_t>(-1);

private:
    const ProfileSection* FindListSection() const;
    void ReadEntries();

    std::vector<ProfileLine> m_lines;
    std::vector<ProfileSection> m_sections;
    const ProfileSection* m_list = nullptr;
    std::vector<ListEntry> m_entries;
};

// The number n of a list key "NAMEn" (n >= 1, written without leading zero),
// or 0 for any other key.
int ListKeyNumber(const wxString& key);
