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

TEST_P(Unattended, WarningsGoToTheEventLogAndTheRegistrationOfAnotherInstallationStays)
{
    const std::string other =
        "[BVS]\r\nNAME1=TIVORA\r\n[TIVORA]\r\nPATDATIMPORT=C:\\Other\\tvdds.exe\r\n";
    WriteIni(other);
    fs::create_directories(Prefix().UnixPath("C:\\Other"));
    std::ofstream(Prefix().UnixPath("C:\\Other\\tvdds.exe")) << "another installation";
    const BoxRun run = RunHidden(kTvdds + " removesetup");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ((std::vector<std::string>{"warning\tTivora was left registered in " + kIni +
                                        ": the registration calls another installation's "
                                        "program, not " +
                                        kAppDir + "\\tvdds.exe."}),
              run.events);
    EXPECT_EQ(other, Ini());
}

// Fault guarded against: on a desktop of its own on the visible window
// station, which nobody ever sees, a box waited for an answer forever.
TEST_P(Unattended, APrivateDesktopOnTheVisibleStationGetsNoBoxEither)
{
    const std::string withNul("[BVS]\r\nNAME1=A\0B\r\n", 17);
    WriteIni(withNul);
    const BoxRun run = RunWatched(Prefix(), kTvdds + " initsetup", {}, Station::PrivateDesktop);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(1, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ((std::vector<std::string>{
                  "error\tTivora was not registered in " + kIni +
                  ": line 2 holds a NUL byte, as a file a crash cut short does; restore the file "
                  "from a backup. The file was left unchanged; the registration will be tried "
                  "again at the next start."}),
              run.events);
    EXPECT_EQ(withNul, Ini());
}
