#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include <wx/fileconf.h>
#include <wx/sstream.h>

#include "../subsequence.h"
#include "starter/iniedit.h"
#include "starter/platform.h"
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
            return "[" + Pick({"BVS", "bvs", "BVS x", "XBVS", "Bvs", "BVSX", "_BVS a"}) + "]";
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

int CountProductEntries(const std::string& bytes)
{
    wxStringInputStream in(wxString(bytes.data(), LocalEncoding(), bytes.size()));
    wxFileConfig model(in);
    model.SetPath(wxS("/") + FindBvsSection(model));
    int found = 0;
    wxString key;
    long cookie = 0;
    for (bool more = model.GetFirstEntry(key, cookie); more; more = model.GetNextEntry(key, cookie))
        if (key.Upper().StartsWith(wxS("NAME")) && model.Read(key) == wxS("TIVORA"))
            ++found;
    return found;
}

using RegistrationPropertyTest = VddsFixture;

} // namespace

TEST_F(RegistrationPropertyTest, EveryGeneratedFileKeepsItsLinesAndGainsOneRegistration)
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
        EXPECT_EQ(after.find("[TIVORA]"), after.size() - product.size());
        const std::vector<std::string> newLines =
            SplitCrLf(after.substr(0, after.size() - product.size()));
        EXPECT_TRUE(IsSubsequence(oldLines, newLines)) << "before:\n"
                                                       << before << "\nafter:\n"
                                                       << after;
        EXPECT_LE(newLines.size(), oldLines.size() + 2);
        EXPECT_EQ(1, CountProductEntries(after));
    }
}
