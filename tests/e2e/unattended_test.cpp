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

// A second name an ended pass left that is no longer a name of the file may
// hold another program's write: it is kept, and the event log says where.
// Fault guarded against: it was kept without a word.
TEST_P(Unattended, AVersionAnEndedPassLeftIsKeptAndNamedInTheEventLog)
{
    WriteIni(kOtherVendors);
    const fs::path ini = Prefix().UnixPath(kIni);
    const std::string version = "[BVS]\r\nNAME1=WRITTEN MEANWHILE\r\n";
    std::ofstream(ini.string() + ".tvdds-link-99999-0", std::ios::binary) << version;
    const std::string log = "C:\\kept.log";
    fs::remove(Prefix().UnixPath(log));
    const BoxRun run =
        RunWatched(Prefix(), kTvdds + " initsetup", {{"TVDDS_LOG", log}}, Station::Hidden);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    std::vector<fs::path> kept;
    for (const fs::directory_entry& entry : fs::directory_iterator(ini.parent_path()))
        if (entry.path().filename().string().rfind("vdds_mmi.ini.tvdds-", 0) == 0)
            kept.push_back(entry.path());
    ASSERT_EQ(1u, kept.size());
    EXPECT_EQ(version, ReadAll(kept[0]));
    const std::string keptName = kIni + kept[0].filename().string().substr(12);
    EXPECT_EQ(0u, keptName.rfind(kIni + ".tvdds-kept-", 0)) << keptName;
    ASSERT_EQ((std::vector<std::string>{
                  "warning\t" + keptName + " holds a version of " + kIni +
                  " that an earlier registration left when it ended unfinished; another "
                  "program's change may be in it rather than in the file. Compare the two, "
                  "then delete the version."}),
              run.events);
    EXPECT_NE(std::string::npos,
              ReadAll(Prefix().UnixPath(log)).find("tvdds: " + run.events[0].substr(8)))
        << ReadAll(Prefix().UnixPath(log));
    EXPECT_NE(std::string::npos, Ini().find(kProduct));
    fs::remove(kept[0]);
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
