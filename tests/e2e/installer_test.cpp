#include <chrono>
#include <thread>

#include "e2e_fixture.h"

namespace fs = std::filesystem;

namespace
{

const std::string kSetupDir = "C:\\Program Files\\Tivora Setup Test";

class Installer : public RegistrationFixture
{
protected:
    BoxRun InstallSilently()
    {
        return RunWatched(Prefix(), "C:\\harness\\setup.exe /S /D=" + kSetupDir);
    }

    fs::path Installed(const std::string& relative) const
    {
        return Prefix().UnixPath(kSetupDir + "\\" + relative);
    }

    // The uninstaller runs on from a copy of itself and returns at once.
    bool UninstallAndWait()
    {
        RunWatched(Prefix(), "\"" + kSetupDir + "\\uninstall.exe\" /S");
        for (int waited = 0; waited < 20000; waited += 100)
        {
            if (!fs::exists(Installed("uninstall.exe")))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Builds, Installer, kBuilds, BuildName);

TEST_P(Installer, SilentInstallRegistersStartsClientAndUninstallLeavesTheRegistration)
{
    Prefix().Reg({"delete", "HKLM\\SOFTWARE\\Halvorin", "/f"});
    WriteIni(kOtherVendors);

    const BoxRun install = InstallSilently();
    ASSERT_FALSE(install.timedOut);
    EXPECT_EQ(0, install.exitCode);
    EXPECT_TRUE(install.boxes.empty());
    EXPECT_TRUE(fs::exists(Installed("tvdds.exe")));
    EXPECT_TRUE(fs::exists(Installed("lang\\de\\LC_MESSAGES\\tvdds.mo")));
    EXPECT_EQ(kSetupDir, RegValue("BaseAppPath"));
    EXPECT_EQ("C:\\ProgramData\\Tivora", RegValue("BaseDataPath"));
    if (CurrentBuild().name == "win32")
    {
        EXPECT_EQ("", Probe("reg64", "BaseAppPath")) << "nothing in the 64-bit view";
    }
    EXPECT_TRUE(fs::is_directory(Prefix().UnixPath("C:\\ProgramData\\Tivora\\conf")));
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
    const std::string registered = Ini();
    EXPECT_NE(std::string::npos,
              registered.find("NAME2=TIVORA\r\n\r\n[XRAY]\r\nNAME=X-Ray\r\n[TIVORA]\r\n"
                              "NAME=Tivora\r\nPATDATIMPORT=" +
                              kSetupDir + "\\tvdds.exe\r\n"));

    fs::copy_file(Prefix().UnixPath(kAppDir + "\\tivoracl.exe"), Installed("tivoracl.exe"));
    RunWatched(Prefix(), "\"" + kSetupDir + "\\tvdds.exe\" C:\\VDDS\\patient.ini",
               {{"TVDDS_CLIENT_RECORD", WinePrefix::WindowsPath(m_record)}});
    EXPECT_NE(std::string::npos, ClientRecord().find("arg\tC:\\VDDS\\patient.ini\n"));
    ReleaseClient();
    fs::remove(Installed("tivoracl.exe"));

    EXPECT_EQ(0, InstallSilently().exitCode);
    EXPECT_EQ(registered, Ini()) << "a second install changes nothing";

    ASSERT_TRUE(UninstallAndWait());
    EXPECT_FALSE(fs::exists(Installed("tvdds.exe")));
    EXPECT_FALSE(fs::exists(Installed("lang")));
    EXPECT_NE(0, Prefix().Reg({"query", kKey}));
    EXPECT_EQ(registered, Ini()) << "other vendors live in the file too";
    for (const auto& entry : fs::directory_iterator(Prefix().UnixPath(kSetupDir)))
        EXPECT_EQ(".bak", entry.path().extension()) << "only the backup stays";
}

TEST_P(Installer, ReinstallEntersALostProductAgainOnceAndOtherwiseChangesNothing)
{
    WriteIni(kOtherVendors);
    ASSERT_EQ(0, InstallSilently().exitCode);
    // Another vendor's set-up wrote the file back without the product's lines.
    WriteIni(kOtherVendors);

    const BoxRun repair = InstallSilently();
    EXPECT_EQ(0, repair.exitCode);
    EXPECT_TRUE(repair.boxes.empty());
    const std::string repaired = Ini();
    EXPECT_EQ("; practice machine\r\n[BVS]\r\nNAME1=XRAY\r\nNAME2=TIVORA\r\n\r\n[XRAY]\r\n"
              "NAME=X-Ray\r\n[TIVORA]\r\nNAME=Tivora\r\nPATDATIMPORT=" +
                  kSetupDir + "\\tvdds.exe\r\nPATDATIMPORT_OS=1\r\nSTAGES=1\r\nVERSION=1.2\r\n",
              repaired);
    EXPECT_EQ("1", RegValue("VddsIniWritten"));

    EXPECT_EQ(0, InstallSilently().exitCode);
    EXPECT_EQ(repaired, Ini());
    EXPECT_TRUE(UninstallAndWait());
}

TEST_P(Installer, ReinstallEntersALostListEntryAgainWithoutASecondSection)
{
    WriteIni(kOtherVendors);
    ASSERT_EQ(0, InstallSilently().exitCode);
    const std::string registered = Ini();
    // Another vendor's set-up rewrote the list without the product's entry.
    std::string lost = registered;
    const std::string entry = "NAME2=TIVORA\r\n";
    ASSERT_NE(std::string::npos, lost.find(entry));
    WriteIni(lost.erase(lost.find(entry), entry.size()));

    const BoxRun repair = InstallSilently();
    EXPECT_EQ(0, repair.exitCode);
    EXPECT_TRUE(repair.boxes.empty());
    EXPECT_EQ(registered, Ini());
    EXPECT_EQ("1", RegValue("VddsIniWritten"));
    EXPECT_TRUE(UninstallAndWait());
}

TEST_P(Installer, ProgramAndInstallerCarryTheProjectVersion)
{
    const std::string v = TVDDS_VERSION;
    const std::string program = "CompanyName\tHalvorin\nFileDescription\tTivora VDDS starter\n"
                                "FileVersion\t" +
                                v +
                                "\nInternalName\ttvdds\n"
                                "LegalCopyright\tCopyright (C) Halvorin\n"
                                "OriginalFilename\ttvdds.exe\nProductName\tTivora\n"
                                "ProductVersion\t" +
                                v + "\nfixed\t" + v + ".0\n";
    ASSERT_EQ(0, InstallSilently().exitCode);
    for (const std::string& exe : {kAppDir + "\\tvdds.exe", kSetupDir + "\\tvdds.exe"})
        EXPECT_EQ(program, Probe("version", exe)) << exe;
    const std::string setup = Probe("version", "C:\\harness\\setup.exe");
    for (const std::string& line :
         {std::string("ProductName\tTivora\n"), std::string("CompanyName\tHalvorin\n"),
          "ProductVersion\t" + v + "\n", "fixed\t" + v + ".0\n"})
        EXPECT_NE(std::string::npos, setup.find(line)) << setup;
    EXPECT_TRUE(UninstallAndWait());
}
