#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <wx/string.h>

#include "common/passresult.h"

class wxMBConv;

// The registration file read the way practice software reads it, through
// Windows' profile API: its bytes cut into lines, what each line is to a
// reader, which sections and keys readers see, which of them is the list of
// imaging systems, and where in the file each of them stands.

// How the registration file's text is encoded: Windows' profile API reads a
// file that starts with the UTF-16LE byte-order mark FF FE as UTF-16LE, and
// any other file as bytes in the ANSI code page.
enum class FileEncoding
{
    Ansi,
    Utf16Le,
};

// The encoding of a file that starts with `bytes`.
FileEncoding EncodingOf(const std::string& bytes);

// True when `bytes` start with the UTF-16BE byte-order mark FE FF, which
// Windows reads as two ANSI bytes, so that no reader finds a section in such
// a file.
bool HasUtf16BigEndianMark(const std::string& bytes);

// The byte-order mark a file of that encoding starts with; none for ANSI.
std::string ByteOrderMark(FileEncoding encoding);

// ASCII text encoded as the file's characters.
std::string EncodedAscii(const std::string& ascii, FileEncoding encoding);

// The value of the code unit at byte `at` of `bytes` (one byte in an ANSI
// file, two in a UTF-16LE file), and how many bytes a code unit has.
unsigned CodeUnitAt(const std::string& bytes, size_t at, FileEncoding encoding);
size_t CodeUnitSize(FileEncoding encoding);

// Cuts the text after the file's byte-order mark into lines at CR LF, LF and
// a lone CR, each a code unit of the encoding; a final line break does not
// start another line. No Windows ANSI code page has a CR or LF byte inside a
// multibyte character, and no UTF-16 surrogate is a CR or LF, so lines can
// be cut before decoding.
std::vector<std::string> SplitLines(const std::string& bytes,
                                    FileEncoding encoding = FileEncoding::Ansi);

// Decodes the bytes of a file; false when they are not all text in `conv`.
bool DecodeText(const std::string& bytes, const wxMBConv& conv, wxString& text);

// True for the double-byte ANSI code pages (Japanese, Chinese, Korean), in
// which a trail byte can be "[" or "]".
bool IsDoubleByteCodePage(unsigned codePage);

// How a line of the file could be decoded.
enum class LineDecoding
{
    Text,
    // Not text in the code page, but read for its structure: every byte
    // above ASCII stands for a character no key or header holds.
    StructureOnly,
    // Not text in a double-byte code page, where a trail byte can be "[" or
    // "]", or half a character (a broken surrogate pair) in a UTF-16LE file:
    // its structure is unknown.
    Unknown,
    // Holds a NUL byte (in a UTF-16LE file the character U+0000), as a file
    // a crash cut short does.
    HoldsNul,
};

// The lines of the registration file: each line's bytes in the file's
// encoding (without the byte-order mark), its text as far as the file's
// structure needs it, and how it was decoded.
struct RegistrationFileLines
{
    std::vector<std::string> bytes;
    std::vector<wxString> text;
    std::vector<LineDecoding> decoding;
    FileEncoding encoding = FileEncoding::Ansi;
};

// Cuts the file into lines and decodes each, in UTF-16LE when the file starts
// with its byte-order mark, otherwise with `conv`, the ANSI code page;
// `doubleByte` says whether that is a double-byte code page. Done, or Refused
// naming the first line whose structure is unknown or that holds a NUL, or
// saying why the whole file cannot be read (UTF-16BE, or UTF-16LE with an odd
// number of bytes); every line is decoded either way. A refusal of a damaged
// file advises restoring the newest backup in `backupDir`, by name when there
// is one.
PassResult ReadRegistrationLines(const std::string& bytes, const wxMBConv& conv, bool doubleByte,
                                 RegistrationFileLines& lines,
                                 const wxString& backupDir = wxString());

// Reads the registration file at `path` as the pass does: its bytes, and its
// lines decoded in the system's ANSI code page or as UTF-16LE. Done, or
// Refused with the reason when the file cannot be read or its lines cannot be
// understood; `bytes` holds whatever could be read.
PassResult ReadRegistrationFile(const wxString& path, std::string& bytes,
                                RegistrationFileLines& lines,
                                const wxString& backupDir = wxString());

// One line as the profile API reads it.
struct ProfileLine
{
    enum class Kind
    {
        // Empty or blank: the reader skips it.
        Blank,
        // Its first character is "[": a header, with or without "]".
        Header,
        // Its first character is ";".
        Comment,
        // A line with "=": a key and its value.
        Entry,
        // Any other line, which is no key.
        Text,
    };

    Kind kind = Kind::Blank;
    // The section name of a header, the key of an entry, the whole of a line
    // without "=".
    wxString name;
    // What the reader returns for the key: blanks and one pair of quotes
    // around it removed.
    wxString value;
};

// Reads one line the way Windows does: the characters 0x01 to 0x20 are
// blanks; a header's name runs to its first "]", or to the end of the line,
// and is trimmed; a key runs to the first "=".
ProfileLine ReadProfileLine(const wxString& line);

// True when readers take `a` and `b` for the same section or key name.
bool IsSameProfileName(const wxString& a, const wxString& b);

// A section: its header line and the line after its last line, which is the
// next line whose first character is "[", or the end of the file.
struct ProfileSection
{
    size_t header;
    size_t end;
    wxString name;
};

// One number n of the list, as readers see it: the first key "NAMEn".
struct ListEntry
{
    int number;
    size_t line;
    wxString system;
};

// What readers of the registration file find: the imaging systems counted
// up from NAME1, and the program of the product's section.
struct ReadersView
{
    std::vector<wxString> systems;
    wxString program;

    bool Lists(const wxString& system) const;
    // The systems' names, separated by ", ".
    wxString JoinedSystems() const;
};

// The lines of a registration file and the list of imaging systems in it.
class CRegistrationList
{
public:
    explicit CRegistrationList(const std::vector<wxString>& lines);

    const std::vector<ProfileLine>& Lines() const { return m_lines; }
    const std::vector<ProfileSection>& Sections() const { return m_sections; }

    // The first section of that name in file order, as readers find it; null
    // when there is none.
    const ProfileSection* FindSection(const wxString& name) const;

    // The section that holds the list, the first one named "BVS"; null when
    // there is none.
    const ProfileSection* ListSection() const { return m_list; }

    // Every key "NAMEn" of the list (n from 1, without leading zero), in
    // file order, later keys of a number that readers never see included.
    const std::vector<ListEntry>& Keys() const { return m_keys; }
    // The list's numbers, each with its first key only, in ascending order of
    // their numbers.
    const std::vector<ListEntry>& Entries() const { return m_entries; }
    // The entry of that number, or null.
    const ListEntry* Entry(int number) const;
    // The first entry that names `system`, or null.
    const ListEntry* FindEntry(const wxString& system) const;
    // The first number readers get nothing for, counting up from NAME1: it
    // has no key, or its value is empty. Readers stop there.
    int StopNumber() const;
    // True when readers, counting up to StopNumber(), find `system`.
    bool Lists(const wxString& system) const;

    // What readers find in the file.
    ReadersView View() const;

    // The value of the first key of that name in `section`, and whether there
    // is such a key.
    bool Value(const ProfileSection& section, const wxString& key, wxString& value) const;
    // The index of the first key line of that name in `section`, or `npos`.
    size_t KeyLine(const ProfileSection& section, const wxString& key) const;
    // The line after which Windows puts a new key of `section`: its last
    // line with "=" that is no comment, or its header when it has none.
    size_t LastEntryLine(const ProfileSection& section) const;

    static const size_t npos = static_cast<size_t>(-1);

private:
    void ReadEntries();

    std::vector<ProfileLine> m_lines;
    std::vector<ProfileSection> m_sections;
    const ProfileSection* m_list = nullptr;
    std::vector<ListEntry> m_keys;
    std::vector<ListEntry> m_entries;
};

// The number n of a list key "NAMEn" (n >= 1, written without leading zero),
// or 0 for any other key.
int ListKeyNumber(const wxString& key);
