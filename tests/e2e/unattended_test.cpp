#include <fstream>

#include "e2e_fixture.h"

namespace fs = std::filesystem;

namespace
{

// Runs where nobody can see a window: a window station of its own that is
// not visible, as services and unattended installs in session 0 have.
class Unattended : public RegistrationFixture
{
protected:
    BoxRun RunHidden(const std::string& commandLine)
    {
        return RunWatched(Prefix(), commandLine, {}, Station::Hidden);
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Unattended, kBuilds, BuildName);

TEST_P(Unattended, BrokenSettingsGoToTheEventLogAndTheProgramEndsWithMinusOne)
{
    Prefix().Reg({"delete", kKey, "/f"});
    const BoxRun run = RunHidden(kTvdds + " C:\\VDDS\\patient.ini");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(-1, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ((std::vector<std::string>{
                  "error\tREGISTRY ERROR: can't load configuration",
                  "error\tERROR: Program can't be started!\\nRegistry entries are incorrect"}),
              run.events);
    EXPECT_EQ("", ClientRecord(1000));
}

TEST_P(Unattended, LibraryWarningsGoToTheEventLogAndTheProductIsRegistered)
{
    WriteIni("[BVS] x\r\nNAME1=A\r\nNAME1=B\r\n");
    const BoxRun run = RunHidden(kTvdds + " initsetup");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    const std::string file = "file '" + kIni + "', line ";
    EXPECT_EQ(
        (std::vector<std::string>{"warning\t" + file + "1: 'x' ignored after group header.",
                                  "warning\t" + file + "3: key 'NAME1' was first found at line 1.",
                                  "warning\tentry 'NAME1' appears more than once in group '/BVS'"}),
        run.events);
    EXPECT_NE(std::string::npos, Ini().find(kProduct));
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
}
