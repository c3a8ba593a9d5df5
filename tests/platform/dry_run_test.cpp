// The dry-run layer answers registry calls as the machine would after the same
// writes, and leaves the machine as it was.
#include "platform/dryrun/dry_run_platform.h"
#include "platform/handles.h"
#include "platform/sim/reg_file.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

class DryRunTest : public SimTest {
  protected:
    DryRunTest() {
        Reg().SetString(u"SOFTWARE\\T", u"b", u"x");
        Reg().SetDword(u"SOFTWARE\\T", u"a", 1);
        Reg().Create(u"SOFTWARE\\T\\M");
        Reg().Create(u"SOFTWARE\\T\\k");
    }
};

// A run of registry calls and what each answered, one line per call.
std::vector<std::string> Transcript(Platform& os) {
    std::vector<std::string> lines;
    auto note = [&](const std::string& what, LONG result) {
        lines.push_back(what + " -> " + std::to_string(result));
    };
    auto enumerate = [&](HKEY key) {
        std::string names;
        char16_t name[64];
        for (DWORD i = 0;; ++i) {
            DWORD chars = 64;
            if (os.RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != 0)
                break;
            names += Utf16ToUtf8(name) + ",";
        }
        for (DWORD i = 0;; ++i) {
            DWORD chars = 64, type = 0, size = 64;
            BYTE data[64] = {};
            if (os.RegEnumValueW(key, i, name, &chars, nullptr, &type, data, &size) != 0)
                break;
            names += " " + Utf16ToUtf8(name) + ":" + std::to_string(type) + "/" +
                     std::to_string(size) + "/" + std::to_string(data[0]);
        }
        lines.push_back(names);
    };
    HKEY t = nullptr, created = nullptr, k = nullptr;
    DWORD disposition = 0;
    note("create T\\L", os.RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T\\L", 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &created, &disposition));
    lines.push_back("disposition " + std::to_string(disposition));
    note("open T", os.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T", 0, KEY_ALL_ACCESS, &t));
    const char16_t unterminated[] = u"yz";  // counted without its terminator
    note("set b",
         os.RegSetValueExW(t, u"B", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), 4));
    DWORD five = 5;
    note("set c", os.RegSetValueExW(t, u"c", 0, REG_DWORD, reinterpret_cast<BYTE*>(&five), 4));
    enumerate(t);
    BYTE small[2];
    DWORD size = sizeof small;
    note("query b small", os.RegQueryValueExW(t, u"b", nullptr, nullptr, small, &size));
    lines.push_back("size " + std::to_string(size));
    DWORD subkeys = 0, values = 0, maxName = 0, maxData = 0;
    note("info T", os.RegQueryInfoKeyW(t, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                       &values, &maxName, &maxData, nullptr, nullptr));
    lines.push_back(std::to_string(subkeys) + " " + std::to_string(values) + " " +
                    std::to_string(maxName) + " " + std::to_string(maxData));
    note("delete T (has subkeys)", os.RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T"));
    note("open k", os.RegOpenKeyExW(t, u"k", 0, KEY_READ, &k));
    note("delete k", os.RegDeleteKeyW(t, u"K"));
    note("query deleted k", os.RegQueryValueExW(k, u"x", nullptr, nullptr, nullptr, nullptr));
    note("open deleted k", os.RegOpenKeyExW(t, u"k", 0, KEY_READ, &created));
    note("delete missing", os.RegDeleteKeyW(t, u"nothing"));
    note("create deep", os.RegCreateKeyExW(t, u"a\\b\\c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                           &created, &disposition));
    enumerate(t);
    for (HKEY key : {t, k})
        os.RegCloseKey(key);
    return lines;
}

TEST_F(DryRunTest, AnswersAsTheMachineDoesAfterTheSameWritesAndChangesNothing) {
    std::u16string before = sim::RegText(Reg());
    DryRunPlatform layer(Sim());
    std::vector<std::string> previewed = Transcript(layer);
    EXPECT_EQ(sim::RegText(Reg()), before);
    EXPECT_TRUE(JournalLines().empty());

    EXPECT_EQ(previewed, Transcript(Sim()));
    std::vector<std::u16string> changed;
    for (const KeyChange& key : layer.RegistryChanges())
        changed.push_back(key.path);
    EXPECT_EQ(changed, (std::vector<std::u16string>{u"SOFTWARE\\T", u"SOFTWARE\\T\\a",
                                                    u"SOFTWARE\\T\\a\\b", u"SOFTWARE\\T\\a\\b\\c",
                                                    u"SOFTWARE\\T\\k", u"SOFTWARE\\T\\L"}));
}

// Names fold as Windows folds them (as Wine's registry does), in the machine and in
// the dry run's pending keys alike.
TEST_F(DryRunTest, KeyNamesFoldCaseBeyondAsciiAsWindowsDoes) {
    struct Case {
        std::u16string_view created;
        std::u16string_view opened;
        bool same;
    };
    const Case cases[] = {
        {u"K\u00e4", u"K\u00c4", true},  {u"K\u00ff", u"K\u0178", true},
        {u"K\u01c5", u"K\u01c4", true},  {u"K\u10d0", u"K\u1c90", true},
        {u"K\u0430", u"K\u0410", true},  {u"K\uff41", u"K\uff21", true},
        {u"K\u0131", u"KI", false},      {u"K\u017f", u"KS", false},
        {u"K\u03c2", u"K\u03a3", false}, {u"K\u00df", u"K\u1e9e", false},
        {u"K\u00e5", u"K\u212b", false}, {u"Kk", u"K\u212a", false},
    };
    DryRunPlatform layer(Sim());
    for (Platform* os : {static_cast<Platform*>(&Sim()), static_cast<Platform*>(&layer)}) {
        for (const Case& c : cases) {
            std::u16string created = u"SOFTWARE\\Fold\\" + std::u16string(c.created);
            std::u16string opened = u"SOFTWARE\\Fold\\" + std::u16string(c.opened);
            UniqueKey key;
            ASSERT_EQ(os->RegCreateKeyExW(HKEY_LOCAL_MACHINE, created.c_str(), 0, nullptr, 0,
                                          KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                      ERROR_SUCCESS);
            EXPECT_EQ(os->RegOpenKeyExW(HKEY_LOCAL_MACHINE, opened.c_str(), 0, KEY_READ, key.put()),
                      c.same ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND)
                << Utf16ToUtf8(created) << " as " << Utf16ToUtf8(opened);
        }
    }
}

TEST_F(DryRunTest, AccessTheMachineRefusesIsRefusedToo) {
    Sim().Settings().administrator = false;
    DryRunPlatform layer(Sim());
    HKEY key = nullptr;
    EXPECT_EQ(layer.RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\New", 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(layer.RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(layer.RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\T\\M"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(layer.RegistryChanges().empty());

    // A service opened with the rights a user has cannot be deleted or started.
    Reg().SetDword(u"SYSTEM\\CurrentControlSet\\Services\\Svc", u"Type", 0x10);
    UniqueServiceHandle manager(layer.OpenSCManagerW(nullptr, nullptr, 0x0001));
    ASSERT_TRUE(manager);
    UniqueServiceHandle service(layer.OpenServiceW(manager.get(), u"Svc", SERVICE_QUERY_STATUS));
    ASSERT_TRUE(service);
    EXPECT_FALSE(layer.DeleteService(service.get()));
    EXPECT_EQ(layer.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(layer.StartServiceW(service.get(), 0, nullptr));
    EXPECT_TRUE(layer.ServiceCalls().empty());
    // The refused changes, each once, as the preview lists them.
    std::vector<std::string> refused;
    for (const RefusedChange& change : layer.Refusals())
        refused.push_back(Utf16ToUtf8(change.call + u" " + change.target) + " " +
                          std::to_string(change.error));
    EXPECT_EQ(refused, (std::vector<std::string>{"RegCreateKeyExW HKLM\\SOFTWARE\\New 5",
                                                 "RegOpenKeyExW HKLM\\SOFTWARE\\T 5",
                                                 "RegDeleteKeyW HKLM\\SOFTWARE\\T\\M 5",
                                                 "DeleteService Svc 5", "StartServiceW Svc 5"}));
}

}  // namespace
}  // namespace ze::testing
