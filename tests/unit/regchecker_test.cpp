#include <gtest/gtest.h>

#include <cstdlib>

#include "registry/regchecker.h"
#include "registry/regkey.h"
#include "common/product.h"
#include "testdir.h"

namespace
{

// CRegChecker over the file store below a throwaway root.
class RegCheckerTest : public ::testing::Test
{
protected:
    void SetUp() override { setenv("TVDDS_REGISTRY_ROOT", m_root.Path().c_str(), 1); }
    void TearDown() override { unsetenv("TVDDS_REGISTRY_ROOT"); }

    std::string KeyDir() const
    {
        return m_root / "HKEY_LOCAL_MACHINE/SOFTWARE/Halvorin/TivoraClient";
    }

    TestDir m_root;
};

} // namespace

TEST_F(RegCheckerTest, MissingKeyOrValueReadsAsEmptyText)
{
    CRegChecker checker(kClientKeyPath, wxS("VddsIniWritten"));
    EXPECT_FALSE(checker.KeyExists());
    EXPECT_EQ(wxString(), checker.GetValue(wxString()));

    WriteFile(KeyDir() + "/BaseAppPath", "/opt/tivora");
    EXPECT_TRUE(checker.KeyExists());
    EXPECT_EQ(wxString(), checker.GetValue(wxString()));
}

TEST_F(RegCheckerTest, EmptyNameReadsTheBoundValueAndNamesCompareWithoutCase)
{
    WriteFile(m_root / "HKEY_LOCAL_MACHINE/Software/halvorin/TIVORACLIENT/vddsiniwritten", "1");
    WriteFile(m_root / "HKEY_LOCAL_MACHINE/Software/halvorin/TIVORACLIENT/BaseAppPath",
              "/opt/Tivora \xc3\xa4");

    CRegChecker checker(kClientKeyPath, wxS("VddsIniWritten"));
    EXPECT_EQ(wxS("1"), checker.GetValue(wxString()));
    EXPECT_EQ(wxString::FromUTF8("/opt/Tivora \xc3\xa4"), checker.GetValue(wxS("BASEAPPPATH")));
}

TEST_F(RegCheckerTest, SetValueCreatesOrReplacesTheValueInPlace)
{
    CRegChecker checker(kClientKeyPath, wxS("VddsIniWritten"));
    EXPECT_FALSE(checker.SetValue(wxS("1"))) << "a missing key is not created by SetValue";

    CRegistryKey(wxS("HKLM\\SOFTWARE\\Halvorin\\TivoraClient\\")).Create();
    EXPECT_TRUE(checker.KeyExists());
    EXPECT_TRUE(checker.SetValue(wxS("1")));
    EXPECT_EQ("1", ReadFile(KeyDir() + "/VddsIniWritten"));

    std::rename((KeyDir() + "/VddsIniWritten").c_str(), (KeyDir() + "/VDDSINIWRITTEN").c_str());
    EXPECT_TRUE(checker.SetValue(wxS("0")));
    EXPECT_EQ("0", ReadFile(KeyDir() + "/VDDSINIWRITTEN")) << "the stored spelling is kept";
    EXPECT_FALSE(FileExists(KeyDir() + "/VddsIniWritten"));
}

TEST_F(RegCheckerTest, RootKeyNamesAreResolvedAndUnknownRootsFail)
{
    WriteFile(KeyDir() + "/BaseAppPath", "x");
    EXPECT_TRUE(CRegistryKey(wxS("hklm\\SOFTWARE\\Halvorin\\TivoraClient")).Exists());
    EXPECT_FALSE(CRegistryKey(wxS("HKCU\\SOFTWARE\\Halvorin\\TivoraClient")).Exists());
    EXPECT_FALSE(CRegistryKey(wxS("NOROOT\\SOFTWARE\\Halvorin\\TivoraClient")).Exists());
}
