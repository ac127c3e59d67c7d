#include <gtest/gtest.h>

#include <cstdlib>
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

TEST(CatalogLoader, EveryCanonicalNameDirectoryComesBeforeAnyLanguageDirectory)
{
    TestDir dir;
    // Another catalog under "de" ahead of the German one under "de_DE" in the
    // per-directory order: only the canonical name finds the German texts.
    WriteFile(dir / "de.po", "msgid \"No patient data file found\"\nmsgstr \"de\"\n");
    WriteFile(dir / "lang/de/LC_MESSAGES/tvdds.mo", "");
    ASSERT_EQ(0,
              std::system(
                  ("msgfmt -o " + dir / "lang/de/LC_MESSAGES/tvdds.mo " + dir / "de.po").c_str()));
    WriteFile(dir / "lang/de_DE/tvdds.mo", ReadFile(TVDDS_GERMAN_CATALOG));
    CCatalogLoader::AddLookupPrefix(wxString::FromUTF8(dir / "lang"));

    // The library asks the loader for the name with its own encoding suffix,
    // the canonical name and the language part, in its own order.
    wxTranslations translations;
    translations.SetLoader(new CCatalogLoader(wxS("de_DE"), 1258));
    translations.SetLanguage(wxS("de_DE"));
    ASSERT_TRUE(translations.AddCatalog(wxS("tvdds"), wxLANGUAGE_ENGLISH_US));
    const wxString* text =
        translations.GetTranslatedString(wxS("No patient data file found"), wxS("tvdds"));
    ASSERT_TRUE(text);
    EXPECT_EQ(wxString::FromUTF8("Keine Patientendatei gefunden"), *text);
}
