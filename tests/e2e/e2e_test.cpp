#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "wineprefix.h"

namespace fs = std::filesystem;

namespace
{

const std::string kAppDir = "C:\\Program Files\\Tivora";
const std::string kTvdds = "\"C:\\Program Files\\Tivora\\tvdds.exe\"";
const std::string kKey = "HKLM\\SOFTWARE\\Halvorin\\TivoraClient";
const std::string kRegistryError = "Registry error";
const std::string kNotStarted = "ERROR: Program can't be started!\\nRegistry entries are incorrect";

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One prefix for the whole run: Wine's first start takes many seconds.
class WineEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/tvdds-e2e-XXXXXX";
        m_root = mkdtemp(pattern);
        prefix.reset(new WinePrefix(m_root, TVDDS_WIN64_DIR));
    }

    void TearDown() override
    {
        prefix.reset();
        fs::remove_all(m_root);
    }

    static std::unique_ptr<WinePrefix> prefix;

private:
    std::string m_root;
};

std::unique_ptr<WinePrefix> WineEnvironment::prefix;

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Prefix().Wine({"reg", "delete", "HKLM\\SOFTWARE\\Halvorin", "/f"});
        fs::remove(Prefix().UnixPath("C:\\windows\\vdds_mmi.ini"));
        for (const auto& entry : fs::directory_iterator(Prefix().UnixPath(kAppDir)))
            if (entry.path().extension() == ".bak")
                fs::remove(entry.path());
        fs::remove(m_record);
        fs::remove(m_record + ".release");
    }

    void TearDown() override
    {
        // Let a client that is still waiting finish.
        std::ofstream(m_record + ".release").close();
    }

    static const WinePrefix& Prefix() { return *WineEnvironment::prefix; }

    void SetValue(const std::string& name, const std::string& value)
    {
        ASSERT_EQ(0, Prefix().Wine({"reg", "add", kKey, "/v", name, "/d", value, "/f"}));
    }

    // A complete installation that has registered already.
    void Install()
    {
        SetValue("BaseAppPath", kAppDir);
        SetValue("BaseDataPath", "C:\\ProgramData\\Tivora");
        SetValue("VddsIniWritten", "1");
    }

    BoxRun Run(const std::string& arguments)
    {
        return RunWatched(Prefix(), kTvdds + arguments,
                          {{"TVDDS_CLIENT_RECORD", WinePrefix::WindowsPath(m_record)}});
    }

    // The client's record once it is written, or an empty text when no
    // client started within a few seconds.
    std::string ClientRecord(int waitMs = 5000)
    {
        for (int waited = 0; waited < waitMs; waited += 50)
        {
            const std::string record = ReadAll(m_record);
            if (record.find('\n') != std::string::npos)
                return record;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return std::string();
    }

    std::string m_record = fs::temp_directory_path().string() + "/tvdds-client-" +
                           std::to_string(getpid()) + ".txt";
};

struct Refusal
{
    const char* name;
    void (*arrange)(EndToEnd&);
    const char* message;
};

} // namespace

class Refusals : public EndToEnd, public ::testing::WithParamInterface<Refusal>
{
public:
    using EndToEnd::SetValue;
};

TEST_P(Refusals, ShowTwoBoxesExitWithMinusOneAndStartNothing)
{
    GetParam().arrange(*this);
    const BoxRun run = Run(" C:\\x\\patient.ini");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(-1, run.exitCode);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ(kRegistryError, run.boxes[0].caption);
    EXPECT_EQ(GetParam().message, run.boxes[0].text);
    EXPECT_EQ(kRegistryError, run.boxes[1].caption);
    EXPECT_EQ(kNotStarted, run.boxes[1].text);
    EXPECT_EQ("", ClientRecord(1000));
}

INSTANTIATE_TEST_SUITE_P(
    BrokenSettings, Refusals,
    ::testing::Values(
        Refusal{"MissingKey", [](EndToEnd&) {}, "REGISTRY ERROR: can't load configuration"},
        Refusal{"MissingValue",
                [](EndToEnd& t) { static_cast<Refusals&>(t).SetValue("BaseDataPath", "C:\\x"); },
                "REGISTRY ERROR: Missing application path entry, can't load configuration"},
        Refusal{"EmptyValue",
                [](EndToEnd& t) { static_cast<Refusals&>(t).SetValue("BaseAppPath", ""); },
                "ERROR: Application path is empty, can't load configuration"},
        Refusal{"FileNotDirectory",
                [](EndToEnd& t) {
                    static_cast<Refusals&>(t).SetValue("BaseAppPath", kAppDir + "\\tvdds.exe");
                },
                "ERROR: Application path does not exist, can't load configuration"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(EndToEnd, PatientFileStartsClientAndProgramEndsWhileClientRuns)
{
    Install();
    const BoxRun run = Run(" C:\\VDDS\\patient.ini");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    const std::string record = ClientRecord();
    EXPECT_EQ("cmdline\ttivoracl.exe C:\\VDDS\\patient.ini\narg\tC:\\VDDS\\patient.ini\n", record);
    EXPECT_EQ(std::string::npos, record.find("exited")) << "the client ended before tvdds";
}

TEST_F(EndToEnd, TrailingBackslashInAppPathIsAccepted)
{
    Install();
    SetValue("BaseAppPath", kAppDir + "\\");
    const BoxRun run = Run(" C:\\VDDS\\patient.ini dswin");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_NE(std::string::npos, ClientRecord().find("arg\tC:\\VDDS\\patient.ini\n"));
}

TEST_F(EndToEnd, NoArgumentWarnsAndStartsNothing)
{
    Install();
    const BoxRun run = Run("");
    EXPECT_EQ(0, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ("Warning!", run.boxes[0].caption);
    EXPECT_EQ("No patient data file found", run.boxes[0].text);
    EXPECT_EQ("", ClientRecord(1000));
}

TEST_F(EndToEnd, PathWithBlanksAndQuotesReachesClientAsOneArgument)
{
    Install();
    Run(" \"C:\\VDDS Daten\\patient.ini\" \"C:\\Programme\\dswin\\dswin.exe\"");
    EXPECT_EQ("cmdline\ttivoracl.exe \"C:\\VDDS Daten\\patient.ini\"\n"
              "arg\tC:\\VDDS Daten\\patient.ini\n",
              ClientRecord());

    fs::remove(m_record);
    // The program keeps a backslash before a quote as part of the argument.
    Run(" \"a \\\"q\\\" b\"");
    EXPECT_NE(std::string::npos, ClientRecord().find("\narg\ta \\\"q\\\" b\n"));
}

TEST_F(EndToEnd, InitSetupTokenStartsNothingAndShowsNothing)
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

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new WineEnvironment);
    return RUN_ALL_TESTS();
}
