#include "e2e_fixture.h"

namespace fs = std::filesystem;

namespace
{

class Language : public OnEachBuild
{
protected:
    void SetUp() override
    {
        OnEachBuild::SetUp();
        if (!IsSkipped())
            Install();
    }

    BoxRun RunAs(const std::string& locale) { return Run("", {{"LC_ALL", locale}}); }

    fs::path Catalog() { return Prefix().UnixPath(kAppDir + "\\lang\\de\\LC_MESSAGES\\tvdds.mo"); }
};

const std::string kGermanWarning = "Keine Patientendatei gefunden";

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Language, kBuilds, BuildName);

TEST_P(Language, GermanAndSwissGermanUsersGetGermanTexts)
{
    for (const char* locale : {"de_DE.UTF-8", "de_CH.UTF-8", "de_AT.UTF-8"})
    {
        const BoxRun run = RunAs(locale);
        ASSERT_EQ(1u, run.boxes.size()) << locale;
        EXPECT_EQ("Warnung!", run.boxes[0].caption) << locale;
        EXPECT_EQ(kGermanWarning, run.boxes[0].text) << locale;
    }
}

TEST_P(Language, FrenchUserGetsEnglishWithoutError)
{
    const BoxRun run = RunAs("fr_FR.UTF-8");
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Warning!", run.boxes[0].caption);
    EXPECT_EQ("No patient data file found", run.boxes[0].text);
}

TEST_P(Language, MissingCatalogIsReportedOnceThenEnglish)
{
    const fs::path aside = Prefix().Root() + "/tvdds.mo";
    fs::rename(Catalog(), aside);
    const BoxRun run = RunAs("de_DE.UTF-8");
    fs::rename(aside, Catalog());
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ("Language initialisation error", run.boxes[0].caption);
    EXPECT_EQ("Unable to init language!", run.boxes[0].text);
    EXPECT_EQ("Warning!", run.boxes[1].caption);
    EXPECT_EQ("No patient data file found", run.boxes[1].text);
}

TEST_P(Language, CatalogDirectlyInLangDirectoryIsFound)
{
    const fs::path direct = Prefix().UnixPath(kAppDir + "\\lang\\tvdds.mo");
    fs::rename(Catalog(), direct);
    const BoxRun run = RunAs("de_DE.UTF-8");
    fs::rename(direct, Catalog());
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(kGermanWarning, run.boxes[0].text);
}
