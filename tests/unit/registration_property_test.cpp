#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "../subsequence.h"
#include "registration/iniedit.h"
#include "registration/registrationpass.h"
#include "vddsfixture.h"

namespace
{

// Generates registration files of the kinds found on practice machines:
// sections of other vendors, BVS lists in several spellings, comments, blank
// and malformed lines, mixed line endings and bytes of the local encoding.
class IniGenerator
{
public:
    explicit IniGenerator(unsigned seed) : m_random(seed) {}

    std::string File()
    {
        std::string text;
        for (int i = Pick(0, 30); i > 0; --i)
        {
            // A lone CR followed by an empty line's LF would read as one CR LF.
            const std::string line = Line();
            const bool afterLoneCr = !text.empty() && text.back() == '\r';
            text += line + (afterLoneCr && line.empty() ? "\r\n" : Pick({"\r\n", "\n", "\r"}));
        }
        return text;
    }

private:
    std::string Line()
    {
        switch (Pick(0, 13))
        {
        case 0:
        case 1:
            return Pick({"", " ", "\x0b"}) +
                   Pick({"[BVS]", "[bvs]", "[BVS", "[ BVS ]", "[BVS] ; Liste [alt]", "[BVS x]",
                         "[XBVS]", "[B]VS]"});
        case 2:
            return Pick({"[TIVORA]", "[ Tivora ]", "[TIVORA", "[tivora] x"});
        case 3:
            return "[" + Word() + Pick({"]", "", "] y]"});
        case 4:
            return Pick({"", " ", "\t"});
        case 5:
            return Pick({";", "#", "  ;"}) + Pick({"NAME1=A", "NAME2=TIVORA", Word()});
        case 6:
            return Word();
        case 7:
        case 8:
        case 10:
        case 11:
            return Pick({"", " ", "\xA0"}) + "NAME" + std::to_string(Pick(1, 3)) +
                   Pick(
                       {"=" + Word(), "=" + Word(), "=", "", "=\"\"", "=TIVORA", " = \"tivora\" "});
        case 9:
            return Pick({"PATDATIMPORT=C:\\Alt\\tvdds.exe", "STAGES=7", "VERSION=9", "NAME=X"});
        default:
            return Pick({"", "  "}) + Word() + Pick({"=", " = "}) + Word();
        }
    }

    std::string Word()
    {
        static const std::string letters = "abcXYZ019 _-.\\\xC4\xD6\xE4\xFC\x80\xE9";
        std::string word;
        for (int n = Pick(1, 8); n > 0; --n)
            word += letters[Pick(0, static_cast<int>(letters.size()) - 1)];
        return word;
    }

    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

    std::string Pick(std::initializer_list<std::string> choices)
    {
        return choices.begin()[Pick(0, static_cast<int>(choices.size()) - 1)];
    }

    std::mt19937 m_random;
};

std::vector<std::string> LinesOfAnsi(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        if (bytes[i] != '\r' && bytes[i] != '\n')
        {
            line += bytes[i];
            continue;
        }
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        lines.push_back(line);
        line.clear();
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

const std::string kUtf16Mark = "\xFF\xFE";

// The generated file's Windows-1252 bytes as the same characters in a
// UTF-16LE file, read as bytes of Latin-1 (0x80 is then U+0080, which
// neither folds nor is blank, as the euro sign it is in Windows-1252).
std::string AsUtf16Le(const std::string& ansi)
{
    std::string text = kUtf16Mark;
    for (const char ch : ansi)
        text.append(1, ch).append(1, '\0');
    return text;
}

// A UTF-16LE file read as Windows reads it: its mark, then code units, which
// here are all Latin-1 characters and stand as those bytes, so that the
// lines compare byte for byte and the rules below apply unchanged.
std::vector<std::string> LinesOfUtf16Le(const std::string& bytes)
{
    EXPECT_EQ(0u, bytes.compare(0, 2, kUtf16Mark)) << "the mark is kept";
    EXPECT_EQ(0u, bytes.size() % 2) << "whole code units";
    std::string latin1;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    {
        EXPECT_EQ('\0', bytes[i + 1]) << "no character beyond Latin-1 was written";
        latin1 += bytes[i];
    }
    return LinesOfAnsi(latin1);
}

// Windows trims every control character and the blank.
std::string Trim(const std::string& text)
{
    const auto blank = [](char ch) { return ch >= 0x01 && ch <= 0x20; };
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Upper case in Windows-1252, where the lower-case letters above ASCII stand
// 0x20 above their capitals.
std::string Upper(std::string text)
{
    for (char& ch : text)
    {
        const unsigned char byte = static_cast<unsigned char>(ch);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte != 0xF7 && byte != 0xFF))
            ch = static_cast<char>(byte - 0x20);
    }
    return text;
}

// What practice software sees, read here without any of the program's code,
// by the rules Windows' profile API follows: every line whose first
// non-blank character is "[" is a header, named up to its first "]"; only
// the first section of a name counts, and the first key of a name in it;
// ";" starts a comment; values lose their blanks and one pair of quotes;
// the list is counted up from NAME1 to the first number with no value.
const std::string kRepeat = "\x01repeated";

struct Reading
{
    std::map<std::string, std::map<std::string, std::string>> sections;
    // For each line, the upper case name of the section it stands in, marked
    // as a repeat where that section is not the first of its name; "" before
    // the first header.
    std::vector<std::string> owner;

    std::vector<std::string> List() const
    {
        std::vector<std::string> systems;
        const auto list = sections.find("BVS");
        for (int n = 1; list != sections.end(); ++n)
        {
            const auto entry = list->second.find("NAME" + std::to_string(n));
            if (entry == list->second.end() || entry->second.empty())
                break;
            systems.push_back(Upper(entry->second));
        }
        return systems;
    }

    std::string Program() const
    {
        const auto product = sections.find("TIVORA");
        if (product == sections.end() || !product->second.count("PATDATIMPORT"))
            return std::string();
        return product->second.at("PATDATIMPORT");
    }
};

// How a reader takes a line that starts with "[" but has no "]": Windows as
// a header; Wine as a line of the section above, which is the reader
// standing in for a system whose reader differs.
enum class BracketlessLine
{
    Header,
    LineOfSectionAbove,
};

Reading ReadAsWindows(const std::vector<std::string>& lines,
                      BracketlessLine bracketless = BracketlessLine::Header)
{
    Reading reading;
    std::map<std::string, std::string>* current = nullptr;
    std::string currentName;
    for (const std::string& line : lines)
    {
        const std::string text = Trim(line);
        const bool header = !text.empty() && text[0] == '[' &&
                            (bracketless == BracketlessLine::Header ||
                             text.find(']') != std::string::npos);
        if (header)
        {
            currentName = Upper(Trim(text.substr(1, text.find(']', 1) - 1)));
            const bool first = !reading.sections.count(currentName);
            current = first ? &reading.sections[currentName] : nullptr;
            if (!first)
                currentName += kRepeat;
        }
        reading.owner.push_back(currentName);
        const size_t equals = text.find('=');
        if (current == nullptr || text.empty() || text[0] == ';' || header ||
            equals == std::string::npos)
            continue;
        std::string value = Trim(text.substr(equals + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        current->emplace(Upper(Trim(text.substr(0, equals))), value);
    }
    return reading;
}

// The lines of every section but the list and the product's, which no
// edit may change, in order.
std::vector<std::string> OtherVendorsLines(const std::vector<std::string>& lines,
                                           const Reading& reading)
{
    std::vector<std::string> kept;
    for (size_t i = 0; i < lines.size(); ++i)
        if (reading.owner[i] != "BVS" && reading.owner[i] != "TIVORA" &&
            reading.owner[i] != "TIVORA" + kRepeat)
            kept.push_back(lines[i]);
    return kept;
}

// Every section as readers see it, but the list and the product's.
std::map<std::string, std::map<std::string, std::string>> OtherSections(const Reading& reading)
{
    auto sections = reading.sections;
    sections.erase("BVS");
    sections.erase("TIVORA");
    return sections;
}

bool StartsWith(const std::vector<std::string>& whole, const std::vector<std::string>& part)
{
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

std::vector<std::string> Without(std::vector<std::string> systems, const std::string& system)
{
    systems.erase(std::remove(systems.begin(), systems.end(), system), systems.end());
    return systems;
}

// A reader of the file at `path` by the oracle's rules, standing in for the
// system's own.
SystemReader OracleReader(BracketlessLine bracketless)
{
    return [bracketless](const wxString& path, ReadersView& view)
    {
        const std::string bytes = ReadFile(path.utf8_string());
        const bool utf16 = bytes.compare(0, 2, kUtf16Mark) == 0;
        const Reading reading =
            ReadAsWindows(utf16 ? LinesOfUtf16Le(bytes) : LinesOfAnsi(bytes), bracketless);
        const auto text = [](const std::string& latin1)
        { return wxString(latin1.data(), wxConvISO8859_1, latin1.size()); };
        view = ReadersView();
        for (const std::string& system : reading.List())
            view.systems.push_back(text(system));
        view.program = text(reading.Program());
        return PassResult::Of(PassResult::Outcome::Done);
    };
}

// A line's bytes as the Latin-1 text LinesOfUtf16Le() gives for it.
std::string Latin1Line(const std::string& bytes, bool utf16)
{
    if (!utf16)
        return bytes;
    const std::vector<std::string> lines = LinesOfUtf16Le(kUtf16Mark + bytes);
    return lines.empty() ? std::string() : lines.front();
}

// The file `lines` stood for with `changes` made, line by line in their
// order, every line ending in CR LF.
std::string WithChanges(const std::vector<std::string>& lines,
                        const std::vector<LineChange>& changes, bool utf16)
{
    std::string text;
    auto change = changes.begin();
    for (size_t i = 0; i <= lines.size(); ++i)
    {
        bool kept = i < lines.size();
        for (; change != changes.end() && change->line == i; ++change)
        {
            if (change->kind != LineChange::Kind::Add)
                kept = false;
            if (change->kind != LineChange::Kind::Remove)
                text += Latin1Line(change->bytes, utf16) + "\r\n";
        }
        if (kept)
            text += lines[i] + "\r\n";
    }
    EXPECT_TRUE(change == changes.end()) << "changes out of the file's order";
    return utf16 ? AsUtf16Le(text) : text;
}

class RegistrationPropertyTest : public VddsFixture
{
protected:
    RegistrationPropertyTest() { m_systemReader = OracleReader(BracketlessLine::Header); }
};

} // namespace

// Install, a second install and the removal of each generated file, as ANSI
// and (every other seed) as UTF-16LE text, read by an oracle of Windows'
// rules: after an install readers find the product once, calling this
// program, after the systems they found before; after a removal they find
// the list they found before without it. No other section reads otherwise,
// and its lines keep their bytes.
TEST_F(RegistrationPropertyTest, EveryGeneratedFileIsRegisteredAndRemovedAsWindowsReadsIt)
{
    for (unsigned seed = 1; seed <= 500; ++seed)
    {
        const std::string ansi = IniGenerator(seed).File();
        for (const bool utf16 : {false, true})
        {
            if (utf16 && seed % 2 == 0)
                continue;
            // Each pass keeps a backup: so many slow the search for the newest.
            std::filesystem::remove_all(AppPath());
            std::filesystem::create_directory(AppPath());
            const std::string before = utf16 ? AsUtf16Le(ansi) : ansi;
            const auto LinesOf = utf16 ? LinesOfUtf16Le : LinesOfAnsi;
            SCOPED_TRACE("seed " + std::to_string(seed) + (utf16 ? " as UTF-16LE" : "") +
                         ", file:\n" + ansi);
            const std::vector<std::string> oldLines = LinesOf(before);
            const Reading earlier = ReadAsWindows(oldLines);

            const std::string registered = RegisterInto(before, false);
            ASSERT_EQ("1", Flag());
            const std::vector<std::string> newLines = LinesOf(registered);
            const Reading readers = ReadAsWindows(newLines);
            const std::vector<std::string> list = readers.List();
            ASSERT_EQ(1, std::count(list.begin(), list.end(), "TIVORA")) << registered;
            EXPECT_TRUE(StartsWith(Without(list, "TIVORA"), Without(earlier.List(), "TIVORA")))
                << registered;
            EXPECT_EQ(AppPath() + "/tvdds", readers.Program()) << registered;
            EXPECT_EQ(OtherSections(earlier), OtherSections(readers)) << registered;
            EXPECT_TRUE(IsSubsequence(OtherVendorsLines(oldLines, earlier), newLines))
                << registered;
            EXPECT_EQ(registered, RegisterInto(registered, false)) << "a second pass";

            for (const std::string& registration : {before, registered})
            {
                const std::vector<std::string> lines = LinesOf(registration);
                const Reading seen = ReadAsWindows(lines);
                bool removed = false;
                const std::string unregistered = UnregisterFrom(registration, removed);
                EXPECT_TRUE(removed);
                const std::vector<std::string> linesAfter = LinesOf(unregistered);
                const Reading afterRemoval = ReadAsWindows(linesAfter);
                EXPECT_EQ(Without(seen.List(), "TIVORA"), afterRemoval.List()) << unregistered;
                EXPECT_EQ(OtherSections(seen), OtherSections(afterRemoval)) << unregistered;
                EXPECT_TRUE(IsSubsequence(OtherVendorsLines(lines, seen), linesAfter))
                    << unregistered;
            }
        }
    }
}

// A system whose reader differs from Windows' rules: wherever it reads the
// list otherwise than the pass, a removal that leaves it another list than
// before without the product is reported, never called done, and put back.
TEST_F(RegistrationPropertyTest, ARemovalThatADifferingReaderSeesOtherwiseIsNeverCalledDone)
{
    m_systemReader = OracleReader(BracketlessLine::LineOfSectionAbove);
    int refused = 0;
    for (unsigned seed = 1; seed <= 500; ++seed)
    {
        std::filesystem::remove_all(AppPath());
        std::filesystem::create_directory(AppPath());
        const std::string before = IniGenerator(seed).File();
        SCOPED_TRACE("seed " + std::to_string(seed) + ", file:\n" + before);
        const std::vector<std::string> seen =
            ReadAsWindows(LinesOfAnsi(before), BracketlessLine::LineOfSectionAbove).List();
        bool removed = false;
        const std::string after = UnregisterFrom(before, removed);
        if (!removed)
        {
            ++refused;
            EXPECT_EQ(before, after) << "a removal the reader sees otherwise is put back";
            continue;
        }
        EXPECT_EQ(Without(seen, "TIVORA"),
                  ReadAsWindows(LinesOfAnsi(after), BracketlessLine::LineOfSectionAbove).List())
            << after;
    }
    EXPECT_GT(refused, 0) << "no generated file showed the readers apart";
}

// The lines the registration's plan adds, replaces and removes, made in the
// old file, give exactly the bytes the pass writes, and the lines' text made
// of the plan the text of the file the pass writes; no plan, no change.
TEST_F(RegistrationPropertyTest, ThePlannedLineChangesGiveTheBytesThePassWrites)
{
    for (unsigned seed = 1; seed <= 500; ++seed)
    {
        const std::string ansi = IniGenerator(seed).File();
        const bool utf16 = seed % 2 == 1;
        std::filesystem::remove_all(AppPath());
        std::filesystem::create_directory(AppPath());
        const std::string before = utf16 ? AsUtf16Le(ansi) : ansi;
        SCOPED_TRACE("seed " + std::to_string(seed) + (utf16 ? " as UTF-16LE" : "") +
                     ", file:\n" + ansi);
        WriteFile(IniPath(), before);
        std::string bytes;
        RegistrationFileLines lines;
        ASSERT_TRUE(ReadRegistrationFile(IniPath(), bytes, lines).Is(PassResult::Outcome::Done));
        std::vector<LineChange> changes;
        const PassResult plan = CVddsRegistration(wxString::FromUTF8(AppPath()), wxString(), false)
                                    .PlanRegistration(lines, changes);

        const std::string registered = RegisterInto(before, false);
        if (plan.Is(PassResult::Outcome::AlreadyDone))
        {
            EXPECT_TRUE(changes.empty());
            EXPECT_EQ(before, registered);
            continue;
        }
        ASSERT_TRUE(plan.Is(PassResult::Outcome::Done)) << plan.Explanation();
        EXPECT_FALSE(changes.empty());
        EXPECT_EQ(registered, WithChanges(utf16 ? LinesOfUtf16Le(before) : LinesOfAnsi(before),
                                          changes, utf16));
        WriteFile(IniPath(), registered);
        RegistrationFileLines written;
        ASSERT_TRUE(ReadRegistrationFile(IniPath(), bytes, written).Is(PassResult::Outcome::Done));
        EXPECT_EQ(written.text, ChangedText(lines.text, changes));
    }
}
