#include <gtest/gtest.h>

#include <wx/filefn.h>

#include "app/language.h"

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
