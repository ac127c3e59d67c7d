#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registration/registrationfile.h"

namespace
{

std::vector<wxString> Lines(const std::string& ini)
{
    std::vector<wxString> lines;
    for (const std::string& line : SplitLines(ini))
        lines.push_back(wxString::FromUTF8(line));
    return lines;
}

std::string Joined(const std::vector<wxString>& names)
{
    std::string joined;
    for (const wxString& name : names)
        joined += (joined.empty() ? "" : ",") + name.utf8_string();
    return joined;
}

std::string SectionNames(const CRegistrationList& list)
{
    std::vector<wxString> names;
    for (const ProfileSection& section : list.Sections())
        names.push_back(section.name);
    return Joined(names);
}

} // namespace

// Each row is a file and what Windows' GetPrivateProfileString gives for it:
// the sections in file order, the list counted up from NAME1, the product's
// program. The comment names where that reading was seen on Windows: Wine's
// conformance tests dlls/kernel32/tests/profile.c (checks without todo_wine,
// which pass on Windows), the reference suite of bash/broccolini that calls
// the Windows API in CI (TestData.cs, ReferenceTest.cs), the suite of
// WelliSolutions/IniFileFormatReverseEngineering run on Windows 10, or
// Microsoft's documentation of GetPrivateProfileString.
TEST(CRegistrationList, ReadsTheFileAsWindowsProfileApiDoes)
{
    const struct
    {
        const char* ini;
        const char* sections;
        const char* list;
        const char* program;
    } cases[] = {
        // Blanks before "[" and inside the brackets: broccolini
        // RecognizesWhitespace, ParsesArbitrarySectionName; Wine
        // test_profile_sections_names ("[ section1 ]").
        {"  \t[ \tBVS \t]  \t\nNAME1=A", "BVS", "A", ""},
        // The name ends at the first "]"; the rest of the line is ignored, a
        // key on it included: broccolini VaryClosingBracket; WelliSolutions
        // SquareBracket_Tests.
        {"[BVS] ; Liste [alt]\nNAME1=A", "BVS", "A", ""},
        {"[B]VS]\nNAME1=A", "B", "", ""},
        {"[BVS]NAME1=A\nNAME2=B", "BVS", "", ""},
        // A header without "]" is a header and ends the section before it:
        // broccolini ParsesArbitrarySectionNameWithoutClosingBracket;
        // WelliSolutions Given_ASectionNameWithMissingClosingBracket.
        {"[BVS\nNAME1=A\n[CEREC\nNAME2=B", "BVS,CEREC", "A", ""},
        {"[TIVORA]\nNAME=Tivora\n[XRAY\nPATDATIMPORT=C:\\x.exe", "TIVORA,XRAY", "", ""},
        // Names and keys without regard to case, values without the blanks
        // around them: Wine test_profile_string ("NaMe1"); broccolini
        // IgnoresCaseForSectionName; WelliSolutions WhiteSpace_Tests.
        {"[bvs]\n name1 = tivora \n", "bvs", "tivora", ""},
        // Every control character is a blank, a non-breaking space is text:
        // broccolini RecognizesWhitespace and its whitespace set (c <= ' ').
        {"[BVS]\n\x0bNAME1\x0c=\x1a A \x01\nNAME2=B", "BVS", "A,B", ""},
        {"[BVS]\n\xC2\xA0NAME1=A", "BVS", "", ""},
        // Only the first section of a name counts, and the first key of a
        // name in it: WelliSolutions Reading_Tests (duplicate sections and
        // keys); broccolini IgnoresValuesFromSecondOccurrenceOfSection,
        // ReturnsValueOfFirstOccurrenceOfDuplicatedKeys.
        {"[BVS]\nNAME1=A\n[X]\n[BVS]\nNAME2=B", "BVS,X,BVS", "A", ""},
        {"[BVS]\nNAME1=A\nNAME1=B\nNAME2=C", "BVS", "A,C", ""},
        // A line without "=" is no key: Wine test_profile_string;
        // broccolini IgnoresLinesWithNoEqualsSign. An empty value returns 0
        // characters, as a missing key does: Wine test_profile_sections
        // ("name2="); broccolini ("key =").
        {"[BVS]\nNAME1=A\nNAME2\nNAME3=C", "BVS", "A", ""},
        {"[BVS]\nNAME1=A\nNAME2=\nNAME3=C", "BVS", "A", ""},
        {"[BVS]\nNAME1=A\nNAME2=\"\"\nNAME3=C", "BVS", "A", ""},
        // One pair of matching quotes goes: documentation of
        // GetPrivateProfileString; Wine test_profile_string ("val2");
        // broccolini KeyValuePairsWithQuotes.
        {"[BVS]\nNAME1=\"TIVORA\"\nNAME2='B'\nNAME3=\"C'", "BVS", "TIVORA,B,\"C'", ""},
        // Only ";" starts a comment: documentation of
        // GetPrivateProfileSection; WelliSolutions Semicolon_Tests and
        // Hashtag_Tests; broccolini ("# key = not a comment").
        {"[BVS]\n;NAME1=A\n#NAME2=B\nNAME1=C", "BVS", "C", ""},
        {"[;BVS]\nNAME1=A", ";BVS", "", ""},
        // Keys before the first header are in no section: WelliSolutions
        // Given_AValueWithoutAnySection.
        {"NAME1=A\n[BVS]\nNAME2=B", "BVS", "", ""},
        // A UTF-8 byte-order mark is text on line 1: WelliSolutions
        // UTF8_Tests (Windows 10).
        {"\xEF\xBB\xBF[BVS]\nNAME1=A", "", "", ""},
        // Readers ask for "BVS" by that name; key names are matched whole.
        {"[BVS x]\nNAME1=A", "BVS x", "", ""},
        {"[BVS]\nNAME01=A\nNAME=B\nNAME1=C", "BVS", "C", ""},
        // The product's program, from its first section, names trimmed,
        // quotes removed.
        {"[ Tivora ]\nPATDATIMPORT = \"C:\\a b\\tvdds.exe\" \n[TIVORA]\nPATDATIMPORT=C:\\y",
         "Tivora,TIVORA", "", "C:\\a b\\tvdds.exe"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.ini);
        const CRegistrationList list(Lines(c.ini));
        const ReadersView view = list.View();
        EXPECT_EQ(c.sections, SectionNames(list));
        EXPECT_EQ(c.list, Joined(view.systems));
        EXPECT_EQ(c.program, view.program.utf8_string());
    }
}
