// "/preview" on copies of the demo machine: it lists exactly what the following
// "/debug" changes, logs what "/debug" logs, and leaves the machine as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <regex>

#include "commands/commands.h"
#include "common/text.h"
#include "main/program.h"
#include "platform/dryrun/dry_run_platform.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/sim_platform.h"

namespace ze::testing {
namespace {

constexpr char16_t kDriverKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002bE10318}\\0007";
const std::filesystem::path kInstallDir = "C/Program Files/Zelvaro";

class PreviewTest : public ::testing::Test {
  protected:
    PreviewTest() {
        std::random_device random;
        dir_ = std::filesystem::temp_directory_path() /
               ("zeregion-preview-" + std::to_string(random()));
        std::filesystem::copy(std::filesystem::path(ZE_SOURCE_DIR) / "examples/demo-machine", dir_,
                              std::filesystem::copy_options::recursive);
    }
    ~PreviewTest() override { std::filesystem::remove_all(dir_); }

    void Open() {
        std::string error;
        machine_ = sim::SimPlatform::OpenMachine(dir_, &error);
        ASSERT_NE(machine_, nullptr) << error;
    }

    int Run(std::u16string command, Platform* over = nullptr) {
        std::vector<std::u16string> arguments{u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe"};
        for (std::size_t start = 0; start <= command.size();) {
            std::size_t end = std::min(command.find(u' ', start), command.size());
            arguments.push_back(command.substr(start, end - start));
            start = end + 1;
        }
        std::vector<char16_t*> argv;
        for (auto& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ScopedPlatform scope(over != nullptr ? *over : *machine_);
        return _tmain(static_cast<int>(arguments.size()), argv.data());
    }

    // Every file of the machine folder with its bytes, but the folder's lock.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_)) {
            if (!entry.is_regular_file() || entry.path().filename() == ".lock")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().lexically_relative(dir_).string()] =
                std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }

    // The log's messages without their timestamps: from UTF-16LE file bytes, or from
    // the UTF-8 text the preview shows on standard error.
    static std::vector<std::string> Messages(std::string text) {
        static const std::regex stamp(R"(\[\d+-\d+-\d+ \d+:\d+:\d+:\d+\] )");
        std::vector<std::string> messages;
        std::sregex_token_iterator part(text.begin(), text.end(), stamp, -1), end;
        for (; part != end; ++part) {
            if (part->length() > 0)
                messages.push_back(*part);
        }
        return messages;
    }
    std::string LogText() const {
        std::ifstream in(dir_ / kInstallDir / "ZeRegionSvc.log", std::ios::binary);
        std::string bytes(std::istreambuf_iterator<char>(in), {});
        std::u16string text;
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return Utf16ToUtf8(text);
    }

    std::filesystem::path dir_;
    std::unique_ptr<sim::SimPlatform> machine_;
};

// The registry as it is with the listed changes made, as .reg text.
std::u16string Applied(const std::u16string& exported, const std::vector<KeyChange>& changes) {
    auto tree = sim::RegistryStore::InMemory();
    sim::RegistryImport import(*tree);
    tree->Transaction([&] {
        sim::ReadRegBytes(Utf16ToUtf8(exported), "exported", import);
        return ERROR_SUCCESS;
    });
    // Listed by path, so a deleted key's subkeys come after it: deleted from the end.
    for (auto key = changes.rbegin(); key != changes.rend(); ++key) {
        if (key->kind == KeyChange::Kind::Deleted) {
            EXPECT_TRUE(tree->Delete(key->path)) << Utf16ToUtf8(key->path);
        }
    }
    for (const KeyChange& key : changes) {
        if (key.kind == KeyChange::Kind::Deleted)
            continue;
        tree->Create(key.path);
        for (const ValueChange& value : key.values) {
            EXPECT_TRUE(value.after.has_value());
            if (value.after)
                tree->SetValue(key.path, value.name, value.after->type, value.after->bytes);
        }
    }
    return sim::RegText(*tree);
}

TEST_F(PreviewTest, ThePreviewIsTheRunThatChangesNothing) {
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path& dir)> prepare;
        // What the preview says on standard error after the log: why it fails.
        const char* failure = "";
    };
    auto write = [](const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
    };
    const Case cases[] = {
        {"as shipped", [](const std::filesystem::path&) {}},
        {"wireless mode without 802.11n removes the ad-hoc N keys",
         [&](const std::filesystem::path& dir) {
             std::ifstream in(dir / kInstallDir / "ZeCoInst.dat");
             std::string data(std::istreambuf_iterator<char>(in), {});
             data.replace(data.find("JPN=11101110"), 12, "JPN=10001000");
             write(dir / kInstallDir / "ZeCoInst.dat", data);
         }},
        {"no Net ID recorded",
         [&](const std::filesystem::path& dir) {
             write(dir / kInstallDir / "ZeRegionSvc.ini", "[Settings]\r\nRunTimes=5\r\n");
         },
         "no adapter is recorded ([DriverKey] NetID of C:\\Program "
         "Files\\Zelvaro\\ZeRegionSvc.ini is empty)"},
        {"the recorded adapter is not present",
         [&](const std::filesystem::path& dir) {
             write(dir / kInstallDir / "ZeRegionSvc.ini", "[DriverKey]\r\nNetID=0009\r\n");
         },
         "no present network adapter has the Net ID 0009"},
        {"no country data file",
         [](const std::filesystem::path& dir) {
             std::filesystem::remove(dir / kInstallDir / "ZeCoInst.dat");
         },
         "the country data file C:\\Program Files\\Zelvaro\\ZeCoInst.dat is missing or "
         "unreadable"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir_);
        std::filesystem::copy(std::filesystem::path(ZE_SOURCE_DIR) / "examples/demo-machine", dir_,
                              std::filesystem::copy_options::recursive);
        c.prepare(dir_);
        Open();
        auto filesBefore = Files();
        std::u16string registryBefore = sim::RegText(machine_->Registry());

        // The command itself (its log on standard error), then its run over a layer of
        // the test's own, whose changes the test can read.
        int previewed = Run(u"/preview");
        std::string shown = machine_->StandardStream(STD_ERROR_HANDLE);
        std::string failure = *c.failure == '\0'
                                  ? ""
                                  : "ZeRegionSvc: /preview: the reset would fail or cannot be "
                                    "previewed: " +
                                        std::string(c.failure) + "\r\n";
        EXPECT_EQ(previewed, failure.empty() ? ZE_EXIT_CHANGES_PENDING : ZE_EXIT_PREVIEW_FAILED);
        ASSERT_TRUE(shown.ends_with(failure)) << shown;
        std::vector<std::string> previewLog =
            Messages(shown.substr(0, shown.size() - failure.size()));
        DryRunPlatform layer(*machine_);
        EXPECT_EQ(Run(u"/debug", &layer), 0);
        EXPECT_EQ(Files(), filesBefore);
        EXPECT_EQ(sim::RegText(machine_->Registry()), registryBefore);
        EXPECT_TRUE(machine_->JournalOf().Lines().empty());

        EXPECT_EQ(Run(u"/debug"), 0);
        EXPECT_EQ(Applied(registryBefore, layer.RegistryChanges()),
                  sim::RegText(machine_->Registry()));
        std::vector<DeviceChange> restarted;
        for (const auto& entry : machine_->JournalOf().Entries()) {
            if (entry.action == "DisableDevice" || entry.action == "EnableDevice")
                restarted.push_back(
                    {entry.path, entry.action == "DisableDevice" ? DICS_DISABLE : DICS_ENABLE});
        }
        ASSERT_EQ(layer.DeviceChanges().size(), restarted.size());
        for (std::size_t i = 0; i < restarted.size(); ++i) {
            EXPECT_EQ(layer.DeviceChanges()[i].instanceId, restarted[i].instanceId);
            EXPECT_EQ(layer.DeviceChanges()[i].stateChange, restarted[i].stateChange);
        }
        std::vector<std::string> runLog = Messages(LogText());
        std::replace(runLog.begin(), runLog.end(),
                     std::string("[ZeRegionSvc] argv[1] = /debug\r\n"),
                     std::string("[ZeRegionSvc] argv[1] = /preview\r\n"));
        EXPECT_EQ(previewLog, runLog);
        machine_.reset();
    }
}

TEST_F(PreviewTest, TheCommandPrintsTheChangesAndExitsOneUntilTheMachineIsInLine) {
    Open();
    auto filesBefore = Files();
    EXPECT_EQ(Run(u"/preview"), ZE_EXIT_CHANGES_PENDING);
    EXPECT_EQ(Files(), filesBefore);
    std::string shown = machine_->StandardStream(STD_OUTPUT_HANDLE);
    for (const char* line :
         {"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-"
          "08002bE10318}\\0007\r\n",
          "  CountryRegion        REG_SZ         \"0\" -> \"1\"\r\n",
          "  CountryTxPwr5G       REG_DWORD      (new) 0x0E0E0C0C\r\n",
          "  AntennaSet           REG_MULTI_SZ   (new) [\"main\"]\r\n",
          "  0  REG_SZ         \"Disable\" -> \"無効\"\r\n",
          "Adapter restart: PCI\\VEN_1D6A&DEV_7260&SUBSYS_00121D6A&REV_01\\4&2a3b4c5d&0&00E0 "
          "(disable, then enable)\r\n"}) {
        EXPECT_NE(shown.find(line), std::string::npos) << line;
    }
    EXPECT_EQ(shown.find("ZeRegionSvc.log"), std::string::npos);
    // The event the run would report is the one /debug reports.
    const std::string event = "Information 1000 \"JPN\" \"0007\" \"45\" \"restarted\"";
    EXPECT_NE(shown.find("Event \"ZeRegionSvc\": " + event + "\r\n"), std::string::npos) << shown;

    EXPECT_EQ(Run(u"/debug"), 0);
    std::ifstream events(dir_ / "events.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(events), {}),
              "ZeRegionSvc " + event + "\n");
    std::size_t before = machine_->StandardStream(STD_OUTPUT_HANDLE).size();
    EXPECT_EQ(Run(u"/PREVIEW"), 0);
    std::string again = machine_->StandardStream(STD_OUTPUT_HANDLE).substr(before);
    EXPECT_NE(again.find("Nothing to change"), std::string::npos) << again;
    EXPECT_NE(again.find("\"JPN\" \"0007\" \"0\" \"restarted\""), std::string::npos) << again;
    EXPECT_EQ(again.find("HKLM\\"), std::string::npos) << again;
    EXPECT_NE(again.find("Adapter restart: "), std::string::npos) << again;
}

TEST_F(PreviewTest, TextsThatCouldBreakALineAreShownEscapedInTextAndJson) {
    // The INF (UTF-16LE) gives SSID a text with a control character.
    auto inf = dir_ / "C/windows/inf/oem3.inf";
    std::ifstream in(inf, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    in.close();
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    std::u16string japanese = u"SSID = \"ネットワーク名 (SSID)\"";
    units.replace(units.find(japanese), japanese.size(), u"SSID = \"a\x01z\"");
    std::ofstream out(inf, std::ios::binary | std::ios::trunc);
    for (char16_t c : units)
        out << static_cast<char>(c & 0xFF) << static_cast<char>(c >> 8);
    out.close();
    Open();
    // An unpaired surrogate the INF cannot carry: the driver key's own value, renamed.
    machine_->Registry().SetValue(std::u16string(kDriverKey) + u"\\Ndi\\params\\SSID", u"ParamDesc",
                                  REG_SZ, {0x00, 0xD8, 0x0A, 0x00});
    EXPECT_EQ(Run(u"/preview json"), ZE_EXIT_CHANGES_PENDING);
    std::string json = machine_->StandardStream(STD_OUTPUT_HANDLE);
    EXPECT_NE(json.find(R"x("text": "\"\\uD800\\n\" (no terminator)")x"), std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("text": "\"a\\x01z\"")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("bytes": "00D80A00")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("events": [{"source": "ZeRegionSvc", "type": "Information", )"
                        R"("id": 1000, "inserts": ["JPN", "0007", )"),
              std::string::npos)
        << json;
    EXPECT_EQ(json.find('\x01'), std::string::npos);

    EXPECT_EQ(Run(u"/preview"), ZE_EXIT_CHANGES_PENDING);
    std::string text = machine_->StandardStream(STD_OUTPUT_HANDLE).substr(json.size());
    EXPECT_NE(text.find(R"x(  ParamDesc  REG_SZ         "\uD800\n" (no terminator) -> "a\x01z")x"
                        "\r\n"),
              std::string::npos)
        << text;
}

// A run that would fail says so, in text and in JSON (nothing but JSON on standard
// output), and exits 2; a format it does not know is refused.
TEST_F(PreviewTest, ARunThatWouldFailShowsTheFailureAndExitsTwo) {
    Open();
    machine_->Settings().administrator = false;
    EXPECT_EQ(Run(u"/preview"), ZE_EXIT_PREVIEW_FAILED);
    std::string text = machine_->StandardStream(STD_OUTPUT_HANDLE);
    const std::string driverKey = Utf16ToUtf8(kDriverKey);
    for (const std::string& line :
         {"The reset would fail:\r\n  RegOpenKeyExW HKLM\\" + driverKey +
              " would fail with error 5 (access denied: administrative rights are needed)\r\n",
          std::string("  SetupDiCallClassInstaller PCI\\VEN_1D6A&DEV_7260&SUBSYS_00121D6A&REV_01\\"
                      "4&2a3b4c5d&0&00E0 would fail with error 5")}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    EXPECT_EQ(text.find("Nothing to change"), std::string::npos) << text;
    EXPECT_EQ(text.find("Adapter restart"), std::string::npos) << text;
    std::string errors = machine_->StandardStream(STD_ERROR_HANDLE);
    EXPECT_NE(errors.find("\r\nZeRegionSvc: /preview: the reset would fail or cannot be "
                          "previewed: RegOpenKeyExW HKLM\\" +
                          driverKey + " would fail with error 5"),
              std::string::npos);

    machine_->Settings().administrator = true;
    std::u16string modulePath = machine_->Settings().modulePath;
    machine_->Settings().modulePath = u"C:\\" + std::u16string(300, u'x') + u".exe";
    EXPECT_EQ(Run(u"/preview json"), ZE_EXIT_PREVIEW_FAILED);
    EXPECT_EQ(machine_->StandardStream(STD_OUTPUT_HANDLE).substr(text.size()),
              "{\"changes\": false, \"failed\": true, \"errors\": [\"start-up failed "
              "(executable path or name too long)\"],\r\n \"registry\": [],\r\n \"startType\": "
              "null,\r\n \"devices\": [],\r\n \"files\": [],\r\n \"services\": [],\r\n "
              "\"events\": []}\r\n");

    machine_->Settings().modulePath = modulePath;
    std::size_t shown = machine_->StandardStream(STD_OUTPUT_HANDLE).size();
    auto files = Files();
    for (const char16_t* format : {u"/preview xml", u"/preview json json"})
        EXPECT_EQ(Run(format), ZE_EXIT_USAGE);
    EXPECT_EQ(machine_->StandardStream(STD_OUTPUT_HANDLE).size(), shown);
    EXPECT_EQ(Files(), files);
}

}  // namespace
}  // namespace ze::testing
