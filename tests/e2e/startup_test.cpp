#include <wx/cmdline.h>

#include <filesystem>
#include <tuple>

#include "e2e_fixture.h"

namespace fs = std::filesystem;

namespace
{

// The stand-in client beside the program, as the program starts it.
const std::string kClient = "\"C:\\Program Files\\Tivora\\tivoracl.exe\"";

const std::string kRegistryError = "Registry error";
const std::string kNotStarted = "ERROR: Program can't be started!\\nRegistry entries are incorrect";

// Registry settings that keep the program from starting, and what it says.
struct BrokenSettings
{
    const char* name;
    std::vector<std::pair<std::string, std::string>> values;
    const char* message;
};

const BrokenSettings kBrokenSettings[] = {
    {"MissingKey", {}, "REGISTRY ERROR: can't load configuration"},
    {"MissingValue",
     {{"BaseDataPath", "C:\\x"}},
     "REGISTRY ERROR: Missing application path entry, can't load configuration"},
    {"EmptyValue",
     {{"BaseAppPath", ""}},
     "ERROR: Application path is empty, can't load configuration"},
    {"FileNotDirectory",
     {{"BaseAppPath", kAppDir + "\\tvdds.exe"}},
     "ERROR: Application path does not exist, can't load configuration"},
};

class Refusals : public EndToEnd,
                 public ::testing::WithParamInterface<std::tuple<WindowsBuild, BrokenSettings>>
{
protected:
    const WindowsBuild& CurrentBuild() const override { return std::get<0>(GetParam()); }
    const BrokenSettings& Settings() const { return std::get<1>(GetParam()); }
};

} // namespace

TEST_P(Refusals, ShowTwoBoxesExitWithMinusOneAndStartNothing)
{
    for (const auto& [name, value] : Settings().values)
        SetValue(name, value);
    const BoxRun run = Run(" C:\\x\\patient.ini");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(-1, run.exitCode);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ(kRegistryError, run.boxes[0].caption);
    EXPECT_EQ(Settings().message, run.boxes[0].text);
    EXPECT_EQ(kRegistryError, run.boxes[1].caption);
    EXPECT_EQ(kNotStarted, run.boxes[1].text);
    EXPECT_EQ("classic", run.boxes[0].kind);
    EXPECT_EQ("classic", run.boxes[1].kind);
    EXPECT_EQ("", ClientRecord(1000));
}

INSTANTIATE_TEST_SUITE_P(
    BrokenSettings, Refusals, ::testing::Combine(kBuilds, ::testing::ValuesIn(kBrokenSettings)),
    [](const ::testing::TestParamInfo<std::tuple<WindowsBuild, BrokenSettings>>& info)
    { return std::get<1>(info.param).name + std::string("_") + std::get<0>(info.param).name; });

class Launch : public OnEachBuild
{
};

INSTANTIATE_TEST_SUITE_P(Builds, Launch, kBuilds, BuildName);

TEST_P(Launch, UnreadableAppPathIsEmptyAndTheLibraryLogFollowsTheProgramsBoxes)
{
    ASSERT_EQ(0,
              Prefix().Reg({"add", kKey, "/v", "BaseAppPath", "/t", "REG_DWORD", "/d", "1", "/f"}));
    const BoxRun run = Run(" C:\\x\\patient.ini");
    EXPECT_EQ(-1, run.exitCode);
    ASSERT_EQ(3u, run.boxes.size());
    EXPECT_EQ("ERROR: Application path is empty, can't load configuration", run.boxes[0].text);
    EXPECT_EQ(kNotStarted, run.boxes[1].text);
    EXPECT_EQ("Tvdds Error", run.boxes[2].caption);
    EXPECT_NE(std::string::npos, run.boxes[2].text.find("BaseAppPath")) << run.boxes[2].text;
}

TEST_P(Launch, PatientFileStartsClientAndProgramEndsWhileClientRuns)
{
    Install();
    const BoxRun run = Run(" C:\\VDDS\\patient.ini");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    const std::string record = ClientRecord();
    EXPECT_EQ("cmdline\t" + kClient + " C:\\VDDS\\patient.ini\narg\tC:\\VDDS\\patient.ini\n",
              record);
    EXPECT_EQ(std::string::npos, record.find("exited")) << "the client ended before tvdds";
}

TEST_P(Launch, TrailingBackslashInAppPathIsAccepted)
{
    Install();
    SetValue("BaseAppPath", kAppDir + "\\");
    const BoxRun run = Run(" C:\\VDDS\\patient.ini dswin");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_NE(std::string::npos, ClientRecord().find("arg\tC:\\VDDS\\patient.ini\n"));
}

TEST_P(Launch, NoArgumentWarnsAndStartsNothing)
{
    Install();
    const BoxRun run = Run("");
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Warning!", run.boxes[0].caption);
    EXPECT_EQ("No patient data file found", run.boxes[0].text);
    EXPECT_EQ("classic", run.boxes[0].kind);
    EXPECT_EQ("", ClientRecord(1000));
}

TEST_P(Launch, PathWithBlanksReachesClientAsOneArgument)
{
    Install();
    Run(" \"C:\\VDDS Daten\\patient.ini\" \"C:\\Programme\\dswin\\dswin.exe\"");
    EXPECT_EQ("cmdline\t" + kClient +
                  " \"C:\\VDDS Daten\\patient.ini\"\n"
                  "arg\tC:\\VDDS Daten\\patient.ini\n",
              ClientRecord());
}

TEST_P(Launch, HostileArgumentsReachTheClientExactlyAsTheProgramReadThem)
{
    Install();
    const char* const hostile[] = {
        R"( "C:\VDDS Daten\patient.ini")",
        R"( "a \"q\" b")",
        R"( "C:\My Dir\\")",
        R"( "")",
        " \"tab\there\"",
        R"( a"b c"d)",
        R"( "\\server\share name\x.ini")",
        " \"Z\xC3\xA4hne \xE2\x82\xAC.ini\"",
        R"( x\\"y z")",
        R"( "ends in quote\"")",
    };
    for (const char* tail : hostile)
    {
        const std::string commandLine = kTvdds + tail;
        // The program splits its command line by the library's DOS rules.
        const wxArrayString args = wxCmdLineParser::ConvertStringToArgs(
            wxString::FromUTF8(commandLine), wxCMD_LINE_SPLIT_DOS);
        ASSERT_EQ(2u, args.size()) << tail;

        Run(tail);
        const std::string record = ClientRecord();
        ReleaseClient();
        const std::string argLines = record.substr(std::min(record.find('\n') + 1, record.size()));
        EXPECT_EQ("arg\t" + std::string(args[1].utf8_str()) + "\n", argLines) << tail;
    }
}

// Fault guarded against: a tivoracl.exe put into the calling practice
// software's current directory, often a folder every user may write, was
// started with the patient file before the client on PATH.
TEST_P(Launch, ClientIsNeverStartedFromTheCallersCurrentDirectory)
{
    Install();
    const std::string planted = "C:\\Praxisdaten";
    const std::string onPath = "C:\\Bildgebung";
    for (const std::string& dir : {planted, onPath})
        fs::create_directories(Prefix().UnixPath(dir));
    const std::string installed = Prefix().UnixPath(kAppDir + "\\tivoracl.exe");
    fs::copy_file(installed, Prefix().UnixPath(planted + "\\tivoracl.exe"),
                  fs::copy_options::overwrite_existing);
    fs::rename(installed, Prefix().UnixPath(onPath + "\\tivoracl.exe"));
    const std::map<std::string, std::string> caller{{"BOXRUN_CURRENT_DIRECTORY", planted},
                                                    {"WINEPATH", onPath}};

    BoxRun run = Run(" C:\\VDDS\\patient.ini", caller);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("cmdline\t" + onPath +
                  "\\tivoracl.exe C:\\VDDS\\patient.ini\narg\tC:\\VDDS\\patient.ini\n",
              ClientRecord());
    ReleaseClient();

    // With no client anywhere else, the planted one is not started either.
    fs::rename(Prefix().UnixPath(onPath + "\\tivoracl.exe"),
               Prefix().UnixPath(kAppDir + "\\gone.exe"));
    run = Run(" C:\\VDDS\\patient.ini", caller);
    fs::rename(Prefix().UnixPath(kAppDir + "\\gone.exe"), installed);
    fs::remove_all(Prefix().UnixPath(planted));
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Tvdds Error", run.boxes[0].caption);
    EXPECT_EQ("Execution of command 'tivoracl.exe C:\\VDDS\\patient.ini' failed (error 2: File not "
              "found.)",
              run.boxes[0].text);
    EXPECT_EQ("", ClientRecord(1000));
}

TEST_P(Launch, InitSetupTokenStartsNothingAndShowsNothing)
{
    Install();
    for (const char* argument : {" initsetup", " x_initsetup_y"})
    {
        const BoxRun run = Run(argument);
        EXPECT_EQ(0, run.exitCode) << argument;
        EXPECT_TRUE(run.boxes.empty()) << argument;
    }
    EXPECT_EQ("", ClientRecord(1000));
}
