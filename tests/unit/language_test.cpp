#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include <wx/filefn.h>

#include "app/catalogloader.h"
#include "app/language.h"
#include "testdir.h"

TEST(ChooseLanguage, EveryGermanLocaleRunsInPlainGermanAndAllElseInEnglish)
{
    for (const int german :
         {wxLANGUAGE_GERMAN, wxLANGUAGE_GERMAN_GERMANY, wxLANGUAGE_GERMAN_AUSTRIAN,
          wxLANGUAGE_GERMAN_BELGIUM, wxLANGUAGE_GERMAN_LIECHTENSTEIN, wxLANGUAGE_GERMAN_LUXEMBOURG,
          wxLANGUAGE_GERMAN_SWISS})
        EXPECT_EQ(wxLANGUAGE_GERMAN, ChooseLanguage(german)) << german;

    for (const int other : {wxLANGUAGE_UNKNOWN, wxLANGUAGE_DEFAULT, wxLANGUAGE_FRENCH,
                            wxLANGUAGE_ENGLISH_US, wxLANGUAGE_GERMAN_ITALY, wxLANGUAGE_DUTCH})
        EXPECT_EQ(wxLANGUAGE_ENGLISH_UK, ChooseLanguage(other)) << other;
}

TEST(CatalogCandidates, EncodingVariantThenNameThenLanguageEachBelowEveryPrefixThenExeDir)
{
    const wxString s(wxFILE_SEP_PATH);
    wxArrayString prefixes;
    prefixes.push_back(wxS("P1"));
    prefixes.push_back(wxS("P2"));
    const wxArrayString found =
        CatalogCandidates(wxS("tvdds"), wxS("de_DE"), 1252, prefixes, wxS("E"));

    const wxString expected[] = {
        "P1" + s + "de_DE.WINDOWS-1252" + s + "LC_MESSAGES" + s + "tvdds.mo",
        "P1" + s + "tvdds.mo",
        "P1" + s + "de_DE.WINDOWS-1252" + s + "tvdds.mo",
        "P2" + s + "de_DE.WINDOWS-1252" + s + "LC_MESSAGES" + s + "tvdds.mo",
        "P2" + s + "tvdds.mo",
        "P2" + s + "de_DE.WINDOWS-1252" + s + "tvdds.mo",
        "E" + s + "de_DE.WINDOWS-1252" + s + "tvdds.mo",
        "P1" + s + "de_DE" + s + "LC_MESSAGES" + s + "tvdds.mo",
    };
    ASSERT_EQ(21u, found.size());
    for (size_t i = 0; i < WXSIZEOF(expected); ++i)
        EXPECT_EQ(expected[i], found[i]) << i;
    EXPECT_EQ("E" + s + "de" + s + "tvdds.mo", found.back());
}

TEST(CatalogDirectoryNames, OnlyListedCodePagesGetTheEncodingVariant)
{
    EXPECT_EQ(2u, CatalogDirectoryNames(wxS("de_DE"), 65001).size());
    EXPECT_EQ(2u, CatalogDirectoryNames(wxS("de_DE"), 1258).size());
    EXPECT_EQ(wxS("de_DE.WINDOWS-932"), CatalogDirectoryNames(wxS("de_DE"), 932)[0]);
    EXPECT_EQ(wxS("de_DE.WINDOWS-1250"), CatalogDirectoryNames(wxS("de_DE"), 1250)[0]);
}

namespace
{

void PutWord(std::string& out, uint32_t value)
{
    out.append(reinterpret_cast<const char*>(&value), 4);
}

// A GNU message catalog holding one translation of "which", in UTF-8.
std::string CatalogTranslating(const std::string& which)
{
    const std::string ids[] = {"", "which"};
    const std::string texts[] = {"Content-Type: text/plain; charset=UTF-8\n", which};
    std::string head, strings;
    PutWord(head, 0x950412de);
    PutWord(head, 0);
    PutWord(head, 2);
    PutWord(head, 28);
    PutWord(head, 28 + 16);
    PutWord(head, 0);
    PutWord(head, 0);
    const uint32_t stringsAt = 28 + 32;
    std::string tables;
    for (const auto* list : {ids, texts})
        for (int i = 0; i < 2; ++i)
        {
            PutWord(tables, static_cast<uint32_t>(list[i].size()));
            PutWord(tables, stringsAt + static_cast<uint32_t>(strings.size()));
            strings += list[i] + '\0';
        }
    return head + tables + strings;
}

} // namespace

TEST(CatalogLoader, EveryCanonicalNameDirectoryComesBeforeAnyLanguageDirectory)
{
    TestDir dir;
    WriteFile(dir / "lang/de/LC_MESSAGES/tvdds.mo", CatalogTranslating("de"));
    WriteFile(dir / "lang/de_DE/tvdds.mo", CatalogTranslating("de_DE"));
    CCatalogLoader::AddLookupPrefix(wxString::FromUTF8(dir / "lang"));

    // The library asks the loader for the name with its own encoding suffix,
    // the canonical name and the language part, in its own order.
    wxTranslations translations;
    translations.SetLoader(new CCatalogLoader(wxS("de_DE"), 1258));
    translations.SetLanguage(wxS("de_DE"));
    ASSERT_TRUE(translations.AddCatalog(wxS("tvdds"), wxLANGUAGE_ENGLISH_US));
    const wxString* text = translations.GetTranslatedString(wxS("which"), wxS("tvdds"));
    ASSERT_TRUE(text);
    EXPECT_EQ(wxS("de_DE"), *text);
}
