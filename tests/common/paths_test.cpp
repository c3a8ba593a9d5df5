#include "common/paths.h"

#include "sim_fixture.h"

namespace ze::testing {
namespace {

TEST(PathDerivationTest, FilesAreNamedAfterTheExecutable) {
    struct Case {
        std::u16string exe, ini, dat, log, base;
    };
    for (const Case& c : {
             Case{u"C:\\Tools\\Reset\\reset.exe", u"C:\\Tools\\Reset\\reset.ini",
                  u"C:\\Tools\\Reset\\ZeCoInst.dat", u"C:\\Tools\\Reset\\reset.log", u"reset"},
             Case{u"C:\\x\\my.tool.exe", u"C:\\x\\my.tool.ini", u"C:\\x\\ZeCoInst.dat",
                  u"C:\\x\\my.tool.log", u"my.tool"},
             // No extension: the last '.' of the whole path decides the settings file.
             Case{u"C:\\a.b\\tool", u"C:\\a.ini", u"C:\\a.b\\ZeCoInst.dat", u"C:\\a.b\\tool.log",
                  u"tool"},
             // No '.' anywhere: ".ini" is appended rather than searching past the start.
             Case{u"C:\\x\\tool", u"C:\\x\\tool.ini", u"C:\\x\\ZeCoInst.dat", u"C:\\x\\tool.log",
                  u"tool"},
         }) {
        DerivedPaths paths = DerivePathsFrom(c.exe);
        EXPECT_EQ(paths.iniPath, c.ini);
        EXPECT_EQ(paths.datPath, c.dat);
        EXPECT_EQ(paths.logPath, c.log);
        EXPECT_EQ(paths.baseName, c.base);
    }
}

class DerivePathsTest : public SimTest {};

TEST_F(DerivePathsTest, GlobalsHoldThePathsOfTheRunningExecutable) {
    EXPECT_EQ(std::u16string(g_szZeRegionSvcIniPath), kIniPath);
    EXPECT_EQ(std::u16string(g_szZeCoInstDatPath), kDatPath);
    EXPECT_EQ(std::u16string(g_szZeRegionSvcLogPath), kLogPath);
}

TEST_F(DerivePathsTest, PathsThatDoNotFitTheBuffersAreRefused) {
    std::u16string baseName;
    // 259 characters fit; the derived settings file path also fits.
    Sim().Settings().modulePath = u"C:\\" + std::u16string(252, u'd') + u".exe";
    EXPECT_TRUE(DerivePaths(&baseName));
    EXPECT_EQ(std::u16string(g_szZeRegionSvcIniPath).size(), 259u);
    // 260 characters are cut by GetModuleFileNameW: refused, globals left empty.
    Sim().Settings().modulePath = u"C:\\" + std::u16string(253, u'd') + u".exe";
    EXPECT_FALSE(DerivePaths(&baseName));
    EXPECT_EQ(g_szZeRegionSvcIniPath[0], u'\0');
    // A path that fits but whose derived paths would not (a one-letter extension
    // grows by two characters in both the settings file and the log file).
    Sim().Settings().modulePath = u"C:\\" + std::u16string(253, u'd') + u".e";
    EXPECT_FALSE(DerivePaths(&baseName));
    EXPECT_EQ(g_szZeRegionSvcLogPath[0], u'\0');
}

}  // namespace
}  // namespace ze::testing

namespace ze::testing {
namespace {

class GetIniStringTest : public SimTest {};

TEST_F(GetIniStringTest, ValuesDefaultsAndCutting) {
    std::u16string longValue(600, u'v');
    WriteTextFile(kIniPath, u"[DriverKey]\r\nNetID=\r\n[Service]\r\nServiceDescription=" +
                                longValue + u"\r\nServiceDisplayName = \"Quoted Name\" \r\n");
    struct Case {
        std::u16string section, key, defaultValue, file, expected;
    };
    for (const Case& c : {
             Case{u"DriverKey", u"NetID", u"dflt", kIniPath, u""},
             Case{u"DriverKey", u"Missing", u"dflt", kIniPath, u"dflt"},
             Case{u"NoSection", u"NetID", u"dflt", kIniPath, u"dflt"},
             Case{u"DriverKey", u"NetID", u"dflt", u"C:\\no\\such.ini", u"dflt"},
             Case{u"service", u"servicedisplayname", u"", kIniPath, u"Quoted Name"},
             Case{u"Service", u"ServiceDescription", u"", kIniPath, longValue.substr(0, 511)},
         }) {
        EXPECT_EQ(GetIniString(c.section, c.key, c.defaultValue, c.file), c.expected)
            << Utf16ToUtf8(c.section + u"/" + c.key);
    }
}

}  // namespace
}  // namespace ze::testing
