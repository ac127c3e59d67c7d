#include <gtest/gtest.h>

#include <wx/init.h>
#include <wx/log.h>

int main(int argc, char** argv)
{
    // The code under test relies on an initialised wx base library.
    wxInitializer wx;
    if (!wx.IsOk())
        return 1;
    // The library's own consistency checks are compiled out of the shipped
    // program; here they would only print.
    wxSetAssertHandler(nullptr);
    // Logged parse warnings are expected by some tests; keep the output clean.
    wxLog::EnableLogging(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
