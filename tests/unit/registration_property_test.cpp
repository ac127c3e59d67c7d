#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "../subsequence.h"
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

    std::string File(std::vector<std::string>& lines)
    {
        const int count = Pick(0, 30);
        std::string text;
        for (int i = 0; i < count; ++i)
        {
            lines.push_back(Line());
            // A lone CR followed by an empty line's LF would read as one CR LF.
            const bool afterLoneCr = !text.empty() && text.back() == '\r';
            text += lines.back();
            if (i + 1 < count || Pick(0, 3) > 0)
                text += afterLoneCr && lines.back().empty() ? "\r\n"
                                                            : Pick({"\r\n", "\r\n", "\n", "\r"});
            else if (lines.back().empty())
                lines.pop_back(); // an empty last line without a line break is no line
        }
        return text;
    }

private:
    std::string Line()
    {
        switch (Pick(0, 9))
        {
        case 0:
        case 1:
            return Pick({"", " "}) + "[" +
                   Pick({"BVS", "BVS", "bvs", "BVS x", "XBVS", "Bvs", "BVSX", "_BVS a", " BVS"}) +
                   "]";
        case 8:
            // Entries that name the product, seen by readers or not.
            return Pick({"NAME1=TIVORA", "NAME2=TIVORA", "NAME3 = tivora ", "NAME2=\"TIVORA\"",
                         "LAST=TIVORA", "NAME02=TIVORA", ";NAME1=TIVORA"});
        case 2:
            return "[" + Word() + "]";
        case 3:
            return Pick({"", " ", "\t"});
        case 4:
            return Pick({";", "#", "  ;"}) + Word();
        case 5:
            return Word();
        case 6:
            return "NAME" + std::to_string(Pick(1, 5)) + "=" + Word();
        default:
            return Pick({"", "  "}) + Word() + Pick({"=", " = ", "="}) + Word();
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

std::vector<std::string> SplitCrLf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::string Trim(const std::string& text)
{
    const size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    return text;
}

// What practice software sees, read here without any of the program's code,
// by the rules of Windows' profile API: the first section of each name
// counts, the first key of each name in it; values lose blanks and quotes;
// the list is read from NAME1 up to the first missing number.
struct SeenByReaders
{
    std::vector<std::string> systems;
    std::string program;
    // No [BVS], but a section named "... BVS ...": the program keeps its
    // list there, where readers of [BVS] do not look.
    bool listElsewhere = false;
};

SeenByReaders ReadAsPracticeSoftware(const std::string& bytes)
{
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::set<std::string> seen;
    std::map<std::string, std::string>* current = nullptr;
    bool otherListName = false;
    std::string line;
    for (size_t i = 0; i <= bytes.size(); ++i)
    {
        if (i < bytes.size() && bytes[i] != '\r' && bytes[i] != '\n')
        {
            line += bytes[i];
            continue;
        }
        const std::string text = Trim(line);
        line.clear();
        if (!text.empty() && text[0] == '[' && text.find(']') != std::string::npos)
        {
            const std::string name = text.substr(1, text.rfind(']') - 1);
            otherListName |= name.find("BVS ") != std::string::npos;
            current = seen.insert(Upper(name)).second ? &sections[Upper(name)] : nullptr;
            continue;
        }
        const size_t equals = text.find('=');
        if (current == nullptr || equals == std::string::npos)
            continue;
        std::string value = Trim(text.substr(equals + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        current->emplace(Upper(Trim(text.substr(0, equals))), value);
    }
    SeenByReaders readers;
    readers.listElsewhere = !seen.count("BVS") && otherListName;
    auto& list = sections["BVS"];
    for (int n = 1; list.count("NAME" + std::to_string(n)); ++n)
        readers.systems.push_back(Upper(list["NAME" + std::to_string(n)]));
    readers.program = sections["TIVORA"]["PATDATIMPORT"];
    return readers;
}

int CountProduct(const SeenByReaders& readers)
{
    return static_cast<int>(std::count(readers.systems.begin(), readers.systems.end(), "TIVORA"));
}

using RegistrationPropertyTest = VddsFixture;

} // namespace

TEST_F(RegistrationPropertyTest, EveryGeneratedFileKeepsItsLinesAndIsSeenListedOnce)
{
    const std::string product = ProductSection(false);
    for (unsigned seed = 1; seed <= 400; ++seed)
    {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::vector<std::string> oldLines;
        const std::string before = IniGenerator(seed).File(oldLines);
        const std::string after = RegisterInto(before, false);
        ASSERT_EQ("1", Flag());

        ASSERT_GE(after.size(), product.size());
        EXPECT_EQ(product, after.substr(after.size() - product.size()));
        const std::vector<std::string> newLines =
            SplitCrLf(after.substr(0, after.size() - product.size()));
        const SeenByReaders earlier = ReadAsPracticeSoftware(before);
        const SeenByReaders readers = ReadAsPracticeSoftware(after);
        if (newLines.size() == oldLines.size())
        {
            // Product entries behind a gap were given the free number instead.
            for (size_t i = 0; i < newLines.size(); ++i)
            {
                const bool namesProduct = Upper(newLines[i]).find("TIVORA") != std::string::npos;
                EXPECT_TRUE(newLines[i] == oldLines[i] || namesProduct) << newLines[i];
            }
        }
        else
        {
            EXPECT_TRUE(IsSubsequence(oldLines, newLines)) << "before:\n"
                                                           << before << "\nafter:\n"
                                                           << after;
        }
        EXPECT_LE(newLines.size(), oldLines.size() + 2);
        if (!earlier.listElsewhere)
        {
            EXPECT_EQ(std::max(1, CountProduct(earlier)), CountProduct(readers))
                << "before:\n"
                << before << "\nafter:\n"
                << after;
        }
        EXPECT_EQ(AppPath() + "/tvdds", readers.program);
    }
}
