#include <array>

#include "common/result_codes.h"
#include "common/text.h"
#include "device/device.h"
#include "platform/sim/device_manager.h"
#include "service/service.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

constexpr char16_t kDriverPrefix[] = u"{4d36e972-e325-11ce-bfc1-08002be10318}\\";
constexpr char16_t kWifiId[] = u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03";
constexpr char16_t kWifi[] = u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03\\4&2A3B&0&00E1";
constexpr char16_t kEthernet[] = u"PCI\\VEN_8086&DEV_15B8&SUBSYS_86721043&REV_00\\3&11583659&0&FE";
constexpr char16_t kUsbWifi[] = u"USB\\VID_0BDA&PID_8179\\00E04C0001";

std::vector<std::u16string> Messages(std::initializer_list<const char16_t*> texts) {
    std::vector<std::u16string> messages;
    for (const char16_t* text : texts)
        messages.emplace_back(text);
    return messages;
}

class DeviceTest : public SimTest {
  protected:
    DeviceTest() { sim::AddSetupClass(Reg(), sim::kNetClassGuid, u"Net"); }

    // Registers a network device and plugs it in.
    void Plug(std::u16string instance, std::vector<std::u16string> hardwareIds,
              std::u16string netId) {
        sim::AddDevice(Reg(), instance, hardwareIds, kDriverPrefix + netId);
        Sim().Settings().presentDevices.insert(instance);
    }

    // The lookup with a caller's buffer that shows which units it wrote.
    struct Lookup {
        int result;
        std::u16string netId;  // the units up to the terminator
        char16_t afterTerminator;
    };
    Lookup Find(const std::u16string& hardwareId) {
        std::array<char16_t, 32> buffer;
        buffer.fill(u'#');
        int result = FindNetIdByHwId(hardwareId.c_str(), buffer.data());
        std::u16string text;
        std::size_t i = 0;
        while (i < buffer.size() && buffer[i] != u'\0' && buffer[i] != u'#')
            text.push_back(buffer[i++]);
        EXPECT_EQ(Sim().Devices().OpenSetCount(), 0u) << "device information set left open";
        return Lookup{result, text, i + 1 < buffer.size() ? buffer[i + 1] : u'?'};
    }

    DWORD ConfigFlags(const std::u16string& instance) {
        auto value = Value(std::u16string(sim::kEnumKeyPath) + u"\\" + instance, u"ConfigFlags");
        return value ? static_cast<DWORD>(value->data[0]) : 0xFFFFFFFF;
    }
};

TEST_F(DeviceTest, LookupMatchesTheFirstHardwareIdIgnoringCaseInOneDirection) {
    Plug(kWifi, {kWifiId, u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4", u"PCI\\VEN_14E4&DEV_43A0"},
         u"0007");
    Plug(kUsbWifi, {u"usb\\vid_0bda&pid_8179&rev_0000", u"USB\\VID_0BDA&PID_8179"}, u"0012");
    struct Case {
        std::u16string given;
        int result;
        std::u16string netId;
    };
    const Case cases[] = {
        {kWifiId, 0, u"0007"},
        {u"pci\\ven_14e4&dev_43a0&subsys_061114e4&rev_03", 0, u"0007"},  // lower finds upper
        {u"USB\\VID_0BDA&PID_8179", 0, u"0012"},                         // upper finds lower
        {u"PCI\\VEN_14E4&DEV_43A0", 0, u"0007"},                         // a prefix
        {u"DEV_43A0&SUBSYS", 0, u"0007"},                                // any inner part
        {u"", 0, u"0007"},  // empty: the first present device
        // The device's ID must contain the text, not the other way round.
        {std::u16string(kWifiId) + u"\\4&2A3B", -999, u""},
        // Only the first, most specific ID takes part.
        {u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_0", 0, u"0007"},
        {u"USB\\VID_0BDA&PID_8179&REV_0001", -999, u""},
        {u"PCI\\VEN_8086", -999, u""},
        // Longer than any hardware ID can be: found nowhere, not cut to size.
        {std::u16string(kWifiId) + std::u16string(300, u'X'), -999, u""},
        {u"pci", 0, u"0007"},  // PCI enumerates before USB
    };
    for (const Case& c : cases) {
        ClearLog();
        Lookup found = Find(c.given);
        EXPECT_EQ(found.result, c.result) << Utf16ToUtf8(c.given);
        EXPECT_EQ(found.netId, c.netId) << Utf16ToUtf8(c.given);
        if (c.result == 0) {
            // Exactly five units: the Net ID and its terminator, nothing after.
            EXPECT_EQ(found.afterTerminator, u'#');
            EXPECT_TRUE(LogMessages().empty());
        } else {
            EXPECT_EQ(LogMessages(), Messages({u"[ZeRegionSvc] Device not found by HW ID!\r\n"}));
        }
    }
}

TEST_F(DeviceTest, LookupTakesTheFirstPresentDeviceInEnumerationOrder) {
    // Two adapters whose IDs both contain the text; the registry enumerates the
    // instance keys in sorted order, so "4&1..." comes before "4&2...".
    Plug(u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03\\4&2", {kWifiId}, u"0003");
    Plug(u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03\\4&1", {kWifiId}, u"0011");
    EXPECT_EQ(Find(u"VEN_14E4").netId, u"0011");

    // Unplugged, the first is passed over; with none present nothing is found.
    Sim().Settings().presentDevices.erase(u"PCI\\VEN_14E4&DEV_43A0&SUBSYS_061114E4&REV_03\\4&1");
    EXPECT_EQ(Find(u"VEN_14E4").netId, u"0003");
    Sim().Settings().presentDevices.clear();
    EXPECT_EQ(Find(u"VEN_14E4").result, -999);

    // The order is the registry's, part by part (PCI before PCI2), whatever the case
    // the machine's list of present devices spells an id in.
    Plug(u"PCI2\\VEN_14E4\\1", {kWifiId}, u"0005");
    sim::AddDevice(Reg(), u"PCI\\VEN_14E4\\1", {kWifiId}, std::u16string(kDriverPrefix) + u"0006");
    Sim().Settings().presentDevices.insert(u"pci\\ven_14e4\\1");
    EXPECT_EQ(Find(u"VEN_14E4").netId, u"0006");
}

TEST_F(DeviceTest, LookupSkipsDevicesOfOtherClassesAndDevicesWithoutANetId) {
    sim::AddDevice(Reg(), kEthernet, {u"PCI\\VEN_8086&DEV_15B8"},
                   u"{4d36e96c-e325-11ce-bfc1-08002be10318}\\0001",
                   u"{4d36e96c-e325-11ce-bfc1-08002be10318}");
    Sim().Settings().presentDevices.insert(kEthernet);
    EXPECT_EQ(Find(u"PCI\\VEN_8086").result, -999);

    // No driver key name, or one shorter than four characters: never taken, and the
    // next device that matches is.
    sim::AddDevice(Reg(), u"PCI\\VEN_AAAA&DEV_0001\\1", {u"PCI\\VEN_AAAA&DEV_0001"}, u"");
    sim::AddDevice(Reg(), u"PCI\\VEN_AAAA&DEV_0002\\1", {u"PCI\\VEN_AAAA&DEV_0002"}, u"7");
    sim::AddDevice(Reg(), u"PCI\\VEN_AAAA&DEV_0003\\1", {u"PCI\\VEN_AAAA&DEV_0003"},
                   std::u16string(kDriverPrefix) + u"0004");
    for (auto id : {u"PCI\\VEN_AAAA&DEV_0001\\1", u"PCI\\VEN_AAAA&DEV_0002\\1",
                    u"PCI\\VEN_AAAA&DEV_0003\\1"}) {
        Sim().Settings().presentDevices.insert(id);
    }
    EXPECT_EQ(Find(u"VEN_AAAA&DEV_0001").result, -999);
    EXPECT_EQ(Find(u"VEN_AAAA&DEV_0002").result, -999);
    EXPECT_EQ(Find(u"VEN_AAAA").netId, u"0004");

    // A name stored without its terminator still yields its last four characters.
    Reg().SetValue(u"SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_AAAA&DEV_0003\\1", u"Driver", REG_SZ,
                   Utf16Bytes(std::u16string(kDriverPrefix) + u"0012"));
    EXPECT_EQ(Find(u"VEN_AAAA&DEV_0003").netId, u"0012");
}

TEST_F(DeviceTest, ADeviceWhoseHardwareIdCannotBeReadMatchesNothingNotEvenAnEmptyText) {
    // Enumerated first (PCI\VEN_0000 sorts before PCI\VEN_14E4), but without HardwareID.
    const std::u16string unreadable = u"PCI\\VEN_0000&DEV_0000\\1";
    Plug(unreadable, {u"PCI\\VEN_0000&DEV_0000"}, u"0001");
    Reg().DeleteValue(std::u16string(sim::kEnumKeyPath) + u"\\" + unreadable, u"HardwareID");
    Plug(kWifi, {kWifiId}, u"0007");
    EXPECT_EQ(Find(u"").netId, u"0007");
    EXPECT_EQ(Find(u"VEN_0000").result, -999);
    // The restart goes by Net ID alone and still finds it.
    EXPECT_EQ(EnableDevice(0, u"0001"), 0);
}

// Each way the device set or the class installer fails, for the lookup and for
// both halves of the restart: logged, nothing changed, no set left open.
TEST_F(DeviceTest, FailuresOfTheDeviceSetAndTheClassInstallerAreReported) {
    Plug(kWifi, {kWifiId}, u"0007");
    const std::u16string netClass =
        std::u16string(sim::kSetupClassKeyPath) + u"\\" + sim::kNetClassGuid;
    struct Case {
        std::optional<Call> call;  // nullptr: the machine has no Net class
        int result;
        bool restartOnly;
        const char16_t* message;
    };
    const Case cases[] = {
        {Call::SetupDiClassGuidsFromNameW, -999, false,
         u"[ZeRegionSvc] SetupDiClassGuidsFromName() return FALSE\r\n"},
        // The call succeeds with no GUID at all, as on a fresh Wine prefix.
        {std::nullopt, -999, false, u"[ZeRegionSvc] SetupDiClassGuidsFromName() return FALSE\r\n"},
        {Call::SetupDiGetClassDevsW, -7, false,
         u"[ZeRegionSvc] SetupDiGetClassDevs() return INVALID_HANDLE_VALUE\r\n"},
        {Call::SetupDiSetClassInstallParamsW, -999, true,
         u"[ZeRegionSvc] SetupDiSetClassInstallParams() return FALSE\r\n"},
        {Call::SetupDiCallClassInstaller, -999, true,
         u"[ZeRegionSvc] SetupDiCallClassInstaller() return FALSE\r\n"},
    };
    for (const Case& c : cases) {
        for (int operation = c.restartOnly ? 1 : 0; operation < 3; ++operation) {
            sim::AddSetupClass(Reg(), sim::kNetClassGuid, u"Net");
            Sim().ClearFaults();
            if (c.call) {
                Sim().InjectFault(*c.call, 0, ERROR_INVALID_PARAMETER);
            } else {
                Reg().Delete(netClass, true);
            }
            ClearLog();
            ClearJournal();
            int result =
                operation == 0 ? Find(kWifiId).result : EnableDevice(operation - 1, u"0007");
            std::string what = std::string(c.call ? CallName(*c.call) : "no Net class") + " #" +
                               std::to_string(operation);
            EXPECT_EQ(result, c.result) << what;
            EXPECT_EQ(LogMessages(), Messages({c.message})) << what;
            EXPECT_TRUE(JournalLines().empty()) << what;
            EXPECT_TRUE(Sim().Devices().IsStarted(kWifi)) << what;
            EXPECT_EQ(Sim().Devices().OpenSetCount(), 0u) << what;
        }
    }
}

TEST_F(DeviceTest, RestartDisablesAndEnablesOnlyTheAdapterWithThatNetId) {
    Plug(kEthernet, {u"PCI\\VEN_8086&DEV_15B8"}, u"0001");
    Plug(kWifi, {kWifiId}, u"0007");
    EXPECT_EQ(EnableDevice(0, u"0007"), 0);
    EXPECT_EQ(ConfigFlags(kWifi), CONFIGFLAG_DISABLED);
    EXPECT_FALSE(Sim().Devices().IsStarted(kWifi));
    EXPECT_EQ(EnableDevice(1, u"0007"), 0);
    EXPECT_TRUE(Sim().Devices().IsStarted(kWifi));
    // Any flag but 0 enables, and is logged as given.
    EXPECT_EQ(EnableDevice(2, u"0007"), 0);
    EXPECT_EQ(ConfigFlags(kWifi), 0u);
    EXPECT_EQ(ConfigFlags(kEthernet), 0u);
    EXPECT_EQ(JournalLines(), (std::vector<std::string>{
                                  "DisableDevice " + Utf16ToUtf8(kWifi),
                                  "EnableDevice " + Utf16ToUtf8(kWifi),
                                  "EnableDevice " + Utf16ToUtf8(kWifi),
                              }));
    EXPECT_EQ(LogMessages(), Messages({u"[ZeRegionSvc] EnableDevice(0): success!\r\n",
                                       u"[ZeRegionSvc] EnableDevice(1): success!\r\n",
                                       u"[ZeRegionSvc] EnableDevice(2): success!\r\n"}));
    EXPECT_EQ(Sim().Devices().OpenSetCount(), 0u);
}

TEST_F(DeviceTest, RestartFindsNoDeviceForANetIdThatIsNotExactlyAPresentOne) {
    Plug(kWifi, {kWifiId}, u"0007");
    sim::AddDevice(Reg(), kUsbWifi, {u"USB\\VID_0BDA&PID_8179"},
                   std::u16string(kDriverPrefix) + u"0012");  // not plugged in
    // A device whose driver key name is shorter than four characters.
    sim::AddDevice(Reg(), kEthernet, {u"PCI\\VEN_8086&DEV_15B8"}, u"7");
    Sim().Settings().presentDevices.insert(kEthernet);
    for (const char16_t* netId : {u"7", u"007", u"00070", u"", u"0012"}) {
        ClearLog();
        EXPECT_EQ(EnableDevice(0, netId), ZE_ERR_NO_ADAPTER) << Utf16ToUtf8(netId);
        EXPECT_EQ(LogMessages(), Messages({u"[ZeRegionSvc] Device not found by Net ID!\r\n"}));
    }
    EXPECT_TRUE(JournalLines().empty());
    EXPECT_EQ(Sim().Devices().OpenSetCount(), 0u);
}

// A reset that disabled the adapter enables it again, retrying the whole enable: a
// failure of any of its calls once is overcome, one that lasts is reported.
TEST_F(DeviceTest, AResetRetriesTheEnableUntilTheAdapterIsBackOrReportsThatItIsNot) {
    Plug(kWifi, {kWifiId}, u"0007");
    Sim().SetInstantSleep(true);
    // Each call and its first occurrence in the enable: the adapter's state is read
    // (its Net ID and ConfigFlags) before the disable.
    const std::pair<Call, int> calls[] = {
        {Call::SetupDiClassGuidsFromNameW, 3},    {Call::SetupDiGetClassDevsW, 3},
        {Call::SetupDiEnumDeviceInfo, 3},         {Call::SetupDiGetDeviceRegistryPropertyW, 4},
        {Call::SetupDiSetClassInstallParamsW, 2}, {Call::SetupDiCallClassInstaller, 2}};
    for (auto [call, enable] : calls) {
        for (int failures : {1, 5}) {
            Sim().ClearFaults();
            for (int occurrence = enable; occurrence < enable + failures; ++occurrence)
                Sim().InjectFault(call, occurrence, ERROR_INVALID_PARAMETER);
            std::uint64_t sleptBefore = Sim().SleptMilliseconds();
            ClearLog();
            bool recovers = failures == 1;
            EXPECT_EQ(RunResetSequence(RunInputs{kIniPath, kDatPath, u"0007", std::nullopt}),
                      recovers ? 0 : ZE_ERR_ADAPTER_NOT_ENABLED)
                << call;
            EXPECT_EQ(Sim().Devices().IsStarted(kWifi), recovers) << call;
            EXPECT_EQ(Sim().SleptMilliseconds() - sleptBefore, recovers ? 250u : 3750u) << call;
            std::vector<std::u16string> log = LogMessages();
            EXPECT_EQ(log.back(), recovers ? u"[ZeRegionSvc] EnableDevice(1): success!\r\n"
                                           : u"[ZeRegionSvc] The adapter could not be enabled "
                                             u"and stays disabled\r\n")
                << call;
            EXPECT_EQ(Sim().Devices().OpenSetCount(), 0u) << call;
            ASSERT_FALSE(Sim().Events().empty());
            EXPECT_EQ(Sim().Events().back().eventId & 0xFFFF, recovers ? 1000u : 1001u) << call;
            // An adapter left disabled keeps the restart record for the next run.
            EXPECT_EQ(PendingRestartRecords(kIniPath), recovers
                                                           ? std::vector<std::u16string>{}
                                                           : std::vector<std::u16string>{u"0007"})
                << call;
            EnableDevice(1, u"0007");
            OS().WritePrivateProfileStringW(u"Restart", nullptr, nullptr, kIniPath);
        }
    }
    // An adapter that could not be disabled is not enabled either.
    Sim().ClearFaults();
    Sim().InjectFault(Call::SetupDiCallClassInstaller, 1, ERROR_INVALID_PARAMETER);
    ClearJournal();
    EXPECT_EQ(RunResetSequence(RunInputs{kIniPath, kDatPath, u"0007", std::nullopt}), 0);
    EXPECT_EQ(
        JournalLines().back(),
        "ReportEvent ZeRegionSvc Information 1000 \"(none)\" \"0007\" \"0\" \"not restarted\"");
    // The missing data file's event before it, and the restart record written and cleared.
    EXPECT_EQ(JournalLines().size(), 4u) << ::testing::PrintToString(JournalLines());
}

}  // namespace
}  // namespace ze::testing
