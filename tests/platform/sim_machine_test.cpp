#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <random>

#include <sqlite3.h>

#include "platform/handles.h"
#include "platform/names.h"
#include "platform/sim/machine_file.h"
#include "sim_fixture.h"

namespace ze::testing {
namespace {

class MachineFolderTest : public ::testing::Test {
  protected:
    MachineFolderTest() {
        std::random_device random;
        dir_ = std::filesystem::temp_directory_path() /
               ("zeregion-machine-" + std::to_string(random()));
        std::string error;
        sim::MachineSettings settings;
        settings.systemLocale = 0x0411;
        settings.presentDevices.insert(u"PCI\\VEN_1\\0");
        settings.fileSecurity.emplace_back(u"C:\\Zelvaro", u"O:BAD:(A;;FA;;;AU)");
        EXPECT_TRUE(sim::SimPlatform::CreateMachine(dir_, settings, &error)) << error;
    }
    ~MachineFolderTest() override { std::filesystem::remove_all(dir_); }

    std::unique_ptr<sim::SimPlatform> Open(bool expected = true) {
        std::string error;
        auto machine = sim::SimPlatform::OpenMachine(dir_, &error);
        EXPECT_EQ(machine != nullptr, expected) << error;
        return machine;
    }
    std::string ReadFile(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::filesystem::path dir_;
};

TEST_F(MachineFolderTest, SettingsSurviveTheRoundTrip) {
    auto machine = Open();
    EXPECT_EQ(machine->Settings().systemLocale, 0x0411u);
    EXPECT_EQ(machine->Settings().presentDevices, (std::set<std::u16string>{u"PCI\\VEN_1\\0"}));
    EXPECT_EQ(machine->Settings().fileSecurity,
              (std::vector<std::pair<std::u16string, std::u16string>>{
                  {u"C:\\Zelvaro", u"O:BAD:(A;;FA;;;AU)"}}));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "registry.db"));
}

TEST_F(MachineFolderTest, TwoProcessesOnOneMachineSeeEachOthersChanges) {
    auto first = Open();
    auto second = Open();
    const BYTE one[4] = {1, 0, 0, 0};
    {
        ScopedPlatform scope(*first);
        UniqueKey key;
        ASSERT_EQ(OS().RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Z", 0, nullptr, 0,
                                       KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(OS().RegSetValueExW(key.get(), u"v", 0, REG_DWORD, one, 4), ERROR_SUCCESS);
    }
    {
        ScopedPlatform scope(*second);
        UniqueKey key;
        ASSERT_EQ(OS().RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Z", 0, KEY_READ, key.put()),
                  ERROR_SUCCESS);
        DWORD data = 0;
        DWORD size = 4;
        ASSERT_EQ(OS().RegQueryValueExW(key.get(), u"v", nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(&data), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(data, 1u);
    }
    EXPECT_EQ(ReadFile(dir_ / "journal.txt"),
              "CreateKey SOFTWARE\nCreateKey SOFTWARE\\Z\nSetValue SOFTWARE\\Z \"v\" REG_DWORD "
              "0x00000001\n");
}

TEST_F(MachineFolderTest, BrokenMachinesAreRefusedAndLeftUntouched) {
    std::string error;
    EXPECT_FALSE(sim::SimPlatform::OpenMachine(dir_ / "missing", &error));
    EXPECT_NE(error.find("does not exist"), std::string::npos);

    std::ofstream(dir_ / "registry.reg", std::ios::binary | std::ios::trunc) << "not a registry";
    error.clear();
    EXPECT_FALSE(sim::SimPlatform::OpenMachine(dir_, &error));
    EXPECT_NE(error.find("registry.reg"), std::string::npos);
    EXPECT_EQ(ReadFile(dir_ / "registry.reg"), "not a registry");

    std::ofstream(dir_ / "machine.ini", std::ios::trunc) << "[Machine]\nSystemLocale=zz\n";
    EXPECT_FALSE(sim::SimPlatform::OpenMachine(dir_, &error));
}

TEST_F(MachineFolderTest, RegistryRegIsImportedOnceAndAChangedOneStopsTheMachine) {
    auto writeReg = [&](std::u16string_view value) {
        ASSERT_TRUE(sim::WriteUtf16File(
            dir_ / "registry.reg",
            u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Z]\r\n"
            u"\"v\"=\"" +
                std::u16string(value) + u"\"\r\n"));
    };
    writeReg(u"imported");
    Open()->Registry().SetString(u"SOFTWARE\\Z", u"w", u"changed by the machine");
    auto machine = Open();
    EXPECT_EQ(machine->Registry().GetValue(u"SOFTWARE\\Z", u"v")->data,
              Utf16Bytes(u"imported", true));
    EXPECT_TRUE(machine->Registry().GetValue(u"SOFTWARE\\Z", u"w"));
    machine.reset();

    // Rewritten with the same bytes (a checkout, say): still the same machine.
    std::string same = ReadFile(dir_ / "registry.reg");
    std::filesystem::last_write_time(
        dir_ / "registry.reg",
        std::filesystem::file_time_type::clock::now() + std::chrono::hours(1));
    EXPECT_TRUE(Open());

    // Edited to the same size with the modification time put back (touch -r, cp -p).
    auto time = std::filesystem::last_write_time(dir_ / "registry.reg");
    writeReg(u"IMPORTED");
    std::filesystem::last_write_time(dir_ / "registry.reg", time);
    EXPECT_FALSE(Open(false));

    writeReg(u"edited");
    std::string edited = ReadFile(dir_ / "registry.reg");
    std::string error;
    EXPECT_FALSE(sim::SimPlatform::OpenMachine(dir_, &error));
    for (auto named :
         {"registry.reg changed", "zemachine --machine", "import", "delete", "registry.db"}) {
        EXPECT_NE(error.find(named), std::string::npos) << named << " in " << error;
    }
    EXPECT_EQ(ReadFile(dir_ / "registry.reg"), edited);
}

TEST_F(MachineFolderTest, ARegistryDbThatIsNoRegistryIsRefusedAndLeftAsItIs) {
    for (std::string content : {std::string("not a database at all"), std::string()}) {
        std::ofstream(dir_ / "registry.db", std::ios::binary | std::ios::trunc) << content;
        std::string error;
        EXPECT_FALSE(sim::SimPlatform::OpenMachine(dir_, &error));
        EXPECT_NE(error.find("registry.db: not a registry database"), std::string::npos) << error;
        EXPECT_EQ(ReadFile(dir_ / "registry.db"), content);
    }
}

TEST_F(MachineFolderTest, AFirstOpenCutShortIsCleanedUpByTheNext) {
    pid_t dead = ::fork();
    if (dead == 0)
        ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    std::string stale = "registry.db.new-" + std::to_string(dead);
    std::string living = "registry.db.new-" + std::to_string(::getppid());
    for (const std::string& name : {stale, stale + "-wal", living})
        std::ofstream(dir_ / name) << "half made";
    auto machine = Open();
    EXPECT_TRUE(std::filesystem::exists(dir_ / "registry.db"));
    EXPECT_FALSE(std::filesystem::exists(dir_ / stale));
    EXPECT_FALSE(std::filesystem::exists(dir_ / (stale + "-wal")));
    EXPECT_EQ(ReadFile(dir_ / living), "half made");
}

TEST_F(MachineFolderTest, ARegistryDbOfANewerFormatIsRefusedAndLeftAsItIs) {
    Open();
    std::string error;
    ASSERT_EQ(
        sim::RegistryStore::Open(dir_ / "registry.db", false, &error)->SetMeta("format", "99"),
        ERROR_SUCCESS);
    std::string before = ReadFile(dir_ / "registry.db");
    EXPECT_FALSE(sim::SimPlatform::OpenMachine(dir_, &error));
    EXPECT_NE(error.find("registry.db: written by a newer version"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir_ / "registry.db"), before);
}

// A registry.db of the format that folded a to z only: its names beyond ASCII are
// folded afresh on open, and two that then fall together refuse the open.
TEST_F(MachineFolderTest, AnOlderRegistryDbIsRefoldedOrRefusedWhenNamesFallTogether) {
    auto oldFormat = [&](std::vector<std::u16string> names) {
        std::filesystem::remove(dir_ / "registry.db");
        Open();
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((dir_ / "registry.db").c_str(), &db), SQLITE_OK);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO key(parent, name, upper) VALUES(1, ?1, ?2)", -1,
                           &insert, nullptr);
        for (const std::u16string& name : names) {
            std::string le, be;
            for (char16_t c : name) {
                char16_t upper = UpperLetter(c);
                le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
                be += {static_cast<char>(upper >> 8), static_cast<char>(upper & 0xFF)};
            }
            sqlite3_bind_blob(insert, 1, le.data(), static_cast<int>(le.size()), SQLITE_TRANSIENT);
            sqlite3_bind_blob(insert, 2, be.data(), static_cast<int>(be.size()), SQLITE_TRANSIENT);
            EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "UPDATE meta SET value = '1' WHERE name = 'format'", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
    };
    oldFormat({u"Gr\u00fc\u00dfe"});
    EXPECT_TRUE(Open()->Registry().Find(u"GR\u00dc\u00dfE"));

    oldFormat({u"\u00e4", u"\u00c4"});
    std::string before = ReadFile(dir_ / "registry.db");
    std::string error;
    EXPECT_FALSE(sim::SimPlatform::OpenMachine(dir_, &error));
    EXPECT_NE(error.find("two keys under HKLM\\ named like"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir_ / "registry.db"), before);
}

TEST_F(MachineFolderTest, ARegistryHeldByAnotherProcessFailsTheCallAndTheRunGoesOn) {
    auto machine = Open();
    machine->Registry().SetBusyTimeout(std::chrono::milliseconds(20));
    std::string error;
    auto other = sim::RegistryStore::Open(dir_ / "registry.db", false, &error);
    ASSERT_TRUE(other) << error;
    ScopedPlatform scope(*machine);
    UniqueKey key;
    other->Transaction([&] {
        EXPECT_EQ(OS().RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Busy", 0, nullptr, 0,
                                       KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SHARING_VIOLATION);
        return ERROR_SUCCESS;
    });
    EXPECT_EQ(OS().RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Busy", 0, nullptr, 0,
                                   KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
}

class SimSystemTest : public SimTest {};

TEST_F(SimSystemTest, LocaleAnswersFollowTheMachineSettings) {
    Sim().Settings().systemLocale = 0x0411;
    Sim().Settings().userLocale = 0x0809;
    struct Case {
        LCID locale;
        LCTYPE type;
        std::u16string answer;
    };
    for (const Case& c : {Case{LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVCTRYNAME, u"JPN"},
                          Case{LOCALE_USER_DEFAULT, LOCALE_SABBREVCTRYNAME, u"GBR"},
                          Case{LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, u"0411"},
                          Case{LOCALE_USER_DEFAULT, LOCALE_ILANGUAGE, u"0809"},
                          Case{0x0C0A, LOCALE_ILANGUAGE, u"0c0a"}}) {
        char16_t buffer[64] = {};
        EXPECT_EQ(OS().GetLocaleInfoW(c.locale, c.type, buffer, 64),
                  static_cast<int>(c.answer.size() + 1));
        EXPECT_EQ(std::u16string(buffer), c.answer);
    }
    char16_t tiny[3];
    EXPECT_EQ(OS().GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVCTRYNAME, tiny, 3), 0);
    EXPECT_EQ(OS().GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(OS().GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_SABBREVCTRYNAME, nullptr, 0), 4);
}

TEST_F(SimSystemTest, DirectoriesAreReportedWithWindowsSizes) {
    char16_t buffer[MAX_PATH];
    EXPECT_EQ(OS().GetSystemDirectoryW(buffer, MAX_PATH), 19u);
    EXPECT_EQ(std::u16string(buffer), u"C:\\windows\\system32");
    EXPECT_EQ(OS().GetWindowsDirectoryW(buffer, 5), 11u);
}

TEST_F(SimSystemTest, FilesAreFoundIgnoringCaseAndSharingIsEnforced) {
    WriteTextFile(u"C:\\windows\\system32\\ZC1234.ini", u"[a]\r\n");
    WIN32_FIND_DATAW found{};
    UniqueFind find(OS().FindFirstFileW(u"c:\\WINDOWS\\System32\\zc1234.INI", &found));
    ASSERT_TRUE(find);
    EXPECT_EQ(std::u16string(found.cFileName), u"ZC1234.ini");
    EXPECT_EQ(OS().FindFirstFileW(u"C:\\windows\\system32\\ZC.ini", &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OS().GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    UniqueFile first(OS().CreateFileW(u"C:\\f.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(first);
    UniqueFile second(OS().CreateFileW(u"C:\\f.txt", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(second);
    EXPECT_EQ(OS().GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    UniqueFile reader(OS().CreateFileW(u"C:\\f.txt", GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(reader);
    UniqueFile nowhere(OS().CreateFileW(u"C:\\no\\such\\dir\\f.txt", FILE_APPEND_DATA, 0, nullptr,
                                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(nowhere);
    EXPECT_EQ(OS().GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
}  // namespace ze::testing
