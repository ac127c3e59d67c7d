#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/product.h"
#include "registration/iniedit.h"
#include "registration/listreader.h"

namespace
{

std::vector<wxString> Lines(const std::string& ini)
{
    std::vector<wxString> lines;
    for (const std::string& line : SplitLines(ini))
        lines.push_back(wxString::FromUTF8(line));
    return lines;
}

// The list as "n=system" pairs, in order.
std::string Entries(const CRegistrationList& list)
{
    std::string entries;
    for (const ListEntry& entry : list.Entries())
        entries += std::to_string(entry.number) + "=" + entry.system.utf8_string() + " ";
    return entries;
}

} // namespace

// Each case is read as GetPrivateProfileString reads it: the first [BVS] in
// file order, first key of each number, values without blanks and quotes.
TEST(CRegistrationList, ReadsTheListAsTheProfileApiDoes)
{
    const struct
    {
        const char* ini;
        const char* listSection;
        const char* entries;
        bool listed;
        int firstFree;
    } cases[] = {
        {"[BVS]\nNAME1=A\nNAME3=C\n", "BVS", "1=A 3=C ", false, 2},
        // Readers stop at the first missing number.
        {"[BVS]\nNAME2=TIVORA\n", "BVS", "2=TIVORA ", false, 1},
        {"[bvs]\nname1 = tivora \n", "bvs", "1=tivora ", true, 2},
        // Only the first section of a name counts; the second [BVS] is unread.
        {"[BVS]\nNAME1=A\n[X]\n[BVS]\nNAME2=TIVORA\n", "BVS", "1=A ", false, 2},
        // The first key of a number wins.
        {"[BVS]\nNAME1=A\nNAME1=TIVORA\n", "BVS", "1=A ", false, 2},
        // Quotes around a value go, other keys and leading zeros are no entries.
        {"[BVS]\nNAME1=\"TIVORA\"\nLAST=B\nNAME02=C\nNAME=D\n;NAME3=E\n", "BVS", "1=TIVORA ", true,
         2},
        {"[BVS]\nNAME1='A'\nNAME2=\"B\nNAME3=x\"\n", "BVS", "1=A 2=\"B 3=x\" ", false, 4},
        // A header's name runs to its last "]", untrimmed; a line without "]"
        // is a key.
        {"[ BVS]\nNAME1=A\n[BVS] ]\nNAME1=B\n[BVS\nNAME1=C\n", "", "", false, 1},
        {"  [BVS]  \n\tNAME1\t=\tA\t\n", "BVS", "1=A ", false, 2},
        // Sections named "x BVS y" serve only files without [BVS].
        {"[Z BVS y]\nNAME1=Z\n[A BVS x]\nNAME1=A\n", "A BVS x", "1=A ", false, 2},
        {"[_BVS a]\nNAME1=TIVORA\n[BVS]\nNAME1=B\n", "BVS", "1=B ", false, 2},
        {"[XBVS]\n[BVSX]\nNAME1=A\n", "", "", false, 1},
        // A byte-order mark keeps the first line from being a header.
        {"\xEF\xBB\xBF[BVS]\nNAME1=A\n", "", "", false, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.ini);
        const CRegistrationList list(Lines(c.ini));
        EXPECT_EQ(c.listSection, list.ListSection() ? list.ListSection()->name.utf8_string() : "");
        EXPECT_EQ(c.entries, Entries(list));
        EXPECT_EQ(c.listed, list.Lists(kProductSection));
        EXPECT_EQ(c.firstFree, list.FirstFreeNumber());
    }
}
