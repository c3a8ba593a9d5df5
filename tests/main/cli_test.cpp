// The Linux program run as a process on machine folders.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "common/text.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/registry_store.h"

namespace ze::testing {
namespace {

struct Outcome {
    int exitCode;
    std::string output;  // standard output and standard error
};

// Runs the program through the shell; its standard error joins the output unless
// `errors` says otherwise (" 2>/dev/null", say).
Outcome RunProgram(const std::string& environment, const std::string& program,
                   const std::string& arguments, const std::string& errors = " 2>&1") {
    std::string command = environment + " '" + program + "' " + arguments + errors;
    FILE* pipe = ::popen(command.c_str(), "r");
    Outcome outcome{-1, ""};
    if (pipe == nullptr)
        return outcome;
    std::array<char, 256> buffer;
    while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr)
        outcome.output += buffer.data();
    int status = ::pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

class CliTest : public ::testing::Test {
  protected:
    CliTest() {
        std::random_device random;
        dir_ =
            std::filesystem::temp_directory_path() / ("zeregion-cli-" + std::to_string(random()));
        std::filesystem::copy(std::filesystem::path(ZE_SOURCE_DIR) / "examples/demo-machine", dir_,
                              std::filesystem::copy_options::recursive);
        installed_ = dir_ / "C/Program Files/Zelvaro/ZeRegionSvc.exe";
        std::filesystem::copy_file(ZE_PROGRAM_PATH, installed_);
    }
    ~CliTest() override { std::filesystem::remove_all(dir_); }

    std::string ReadFile(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::filesystem::path dir_;
    std::filesystem::path installed_;
};

TEST_F(CliTest, TheProgramFindsTheMachineAroundItAndLogsBesideItself) {
    Outcome outcome = RunProgram("env -u ZEREGION_MACHINE", installed_.string(), "");
    EXPECT_EQ(outcome.exitCode, 149);  // -107 as the shell sees it
    std::string log = ReadFile(installed_.parent_path() / "ZeRegionSvc.log");
    EXPECT_NE(log.find(std::string("1\0000\0006\0003\0", 8)), std::string::npos);
}

TEST_F(CliTest, AMachineNamedByTheEnvironmentIsUsedFromAnywhere) {
    Outcome outcome = RunProgram("ZEREGION_MACHINE='" + dir_.string() + "'", ZE_PROGRAM_PATH, "");
    EXPECT_EQ(outcome.exitCode, 149);
    EXPECT_TRUE(std::filesystem::exists(installed_.parent_path() / "ZeRegionSvc.log"));
}

TEST_F(CliTest, MissingOrBrokenMachinesStopTheProgramWithAMessage) {
    Outcome none = RunProgram("env -u ZEREGION_MACHINE", ZE_PROGRAM_PATH, "/debug");
    EXPECT_NE(none.exitCode, 0);
    EXPECT_NE(none.output.find("no simulated machine"), std::string::npos);

    Outcome missing =
        RunProgram("ZEREGION_MACHINE=/nonexistent/machine", ZE_PROGRAM_PATH, "/debug");
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.output.find("does not exist"), std::string::npos);

    std::ofstream(dir_ / "registry.reg", std::ios::trunc) << "garbage";
    Outcome corrupt = RunProgram("", installed_.string(), "/debug");
    EXPECT_NE(corrupt.exitCode, 0);
    EXPECT_NE(corrupt.output.find("registry.reg"), std::string::npos);
    EXPECT_EQ(ReadFile(dir_ / "registry.reg"), "garbage");
    EXPECT_FALSE(std::filesystem::exists(installed_.parent_path() / "ZeRegionSvc.log"));
}

TEST_F(CliTest, AChangedRegistryRegStopsTheProgramUntilZemachineImportsIt) {
    std::string machine = "ZEREGION_MACHINE='" + dir_.string() + "'";
    EXPECT_EQ(RunProgram(machine, ZE_PROGRAM_PATH, "/debug").exitCode, 0);
    std::ofstream(dir_ / "registry.reg", std::ios::app | std::ios::binary)
        << std::string("[\0H\0K\0L\0M\0\\\0X\0]\0\r\0\n\0", 20);
    Outcome stopped = RunProgram(machine, ZE_PROGRAM_PATH, "/debug");
    EXPECT_EQ(stopped.exitCode, 2);
    EXPECT_NE(stopped.output.find("zemachine --machine"), std::string::npos) << stopped.output;

    auto zemachine = [](const std::filesystem::path& dir, const std::string& command) {
        return RunProgram("", ZE_ZEMACHINE_PATH, "--machine '" + dir.string() + "' " + command)
            .exitCode;
    };
    EXPECT_EQ(zemachine(dir_, "import '" + (dir_ / "registry.reg").string() + "' --merge"), 0);
    EXPECT_EQ(RunProgram(machine, ZE_PROGRAM_PATH, "/debug").exitCode, 0);

    // The export reads back: imported into a new machine it exports the same bytes.
    auto exported = dir_ / "exported.reg";
    auto copy = dir_ / "copy";
    Outcome created = RunProgram("", ZE_ZEMACHINE_PATH, "create '" + copy.string() + "'");
    ASSERT_EQ(created.exitCode, 0) << created.output;
    EXPECT_TRUE(std::filesystem::is_directory(copy / "C/windows/system32"));
    ASSERT_EQ(zemachine(dir_, "export --output '" + exported.string() + "'"), 0);
    ASSERT_EQ(zemachine(copy, "import '" + exported.string() + "'"), 0);
    ASSERT_EQ(zemachine(copy, "export --output '" + (copy / "back.reg").string() + "'"), 0);
    EXPECT_EQ(ReadFile(exported).substr(0, 2), "\xFF\xFE");
    EXPECT_NE(ReadFile(exported).find(std::string("\\\0X\0]\0", 6)), std::string::npos);
    EXPECT_EQ(ReadFile(copy / "back.reg"), ReadFile(exported));

    // Killed part way (by the file size limit), the export leaves its target as it was.
    std::ofstream(copy / "back.reg", std::ios::trunc) << "kept";
    std::string error;
    auto holder = sim::RegistryStore::Open(copy / "registry.db", false, &error);
    ASSERT_TRUE(holder) << error;  // keeps the database's shared memory file in place
    Outcome killed = RunProgram(
        "ulimit -f 4;", ZE_ZEMACHINE_PATH,
        "--machine '" + copy.string() + "' export --output '" + (copy / "back.reg").string() + "'");
    EXPECT_NE(killed.exitCode, 0);
    EXPECT_EQ(ReadFile(copy / "back.reg"), "kept");
}

// What a user brings back from a laptop: HKLM\SYSTEM exported as Windows writes it
// (control sets and Select, no CurrentControlSet), the program's folder, the OEM INF
// and the platform file; here the demo machine's.
TEST_F(CliTest, AMachineMadeFromALaptopsExportPreviewsAsTheDemoDoes) {
    auto laptop = dir_ / "laptop";
    std::u16string demo;
    ASSERT_TRUE(sim::ReadTextFile(dir_ / "registry.reg", &demo));
    std::u16string exported;
    for (std::size_t at = 0, next; at < demo.size(); at = next + 17) {
        next = std::min(demo.find(u"CurrentControlSet", at), demo.size());
        exported += demo.substr(at, next - at) + (next < demo.size() ? u"ControlSet001" : u"");
    }
    auto writeExport = [&](std::u16string_view select) {
        ASSERT_TRUE(sim::WriteUtf16File(
            laptop / "system.reg",
            exported +
                u"\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Nls\\Language]\r\n"
                u"\"Default\"=\"0411\"\r\n"
                u"\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Enum\\PCI\\GONE\\1]\r\n"
                u"\"Driver\"=\"{4d36e972-e325-11ce-bfc1-08002be10318}\\0001\"\r\n"
                u"\"ConfigFlags\"=dword:00000002\r\n"
                u"\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Enum\\PCI\\OLD\\1]\r\n"
                u"\"Driver\"=\"{4d36e972-e325-11ce-bfc1-08002be10318}\\0002\"\r\n"
                u"\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n" +
                std::u16string(select) + u"\r\n"));
    };
    std::filesystem::create_directories(laptop);
    writeExport(u"\"Current\"=dword:00000001");
    for (auto [from, to] :
         {std::pair{"C/Program Files/Zelvaro", "program"}, std::pair{"C/windows/inf", "inf"},
          std::pair{"C/windows/system32", "system32"}}) {
        std::filesystem::copy(dir_ / from, laptop / to, std::filesystem::copy_options::recursive);
    }
    std::filesystem::remove(laptop / "program/ZeRegionSvc.exe");
    auto machine = dir_ / "from-laptop";
    auto create = [&]() {
        return RunProgram("", ZE_ZEMACHINE_PATH,
                          "create '" + machine.string() + "' --from '" + laptop.string() + "'");
    };
    Outcome created = create();
    ASSERT_EQ(created.exitCode, 0) << created.output;
    std::string settings = ReadFile(machine / "machine.ini");
    EXPECT_NE(settings.find("SystemLocale=0411"), std::string::npos) << settings;
    EXPECT_NE(settings.find("4&2a3b4c5d&0&00E0"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("GONE"), std::string::npos) << settings;
    EXPECT_EQ(settings.find("OLD"), std::string::npos) << settings;

    auto preview = [&](const std::filesystem::path& on) {
        return RunProgram("ZEREGION_MACHINE='" + on.string() + "'", ZE_PROGRAM_PATH, "/preview",
                          " 2>/dev/null");
    };
    Outcome fromLaptop = preview(machine);
    EXPECT_EQ(fromLaptop.exitCode, 1);
    EXPECT_NE(fromLaptop.output.find("Adapter restart: PCI"), std::string::npos);
    EXPECT_EQ(fromLaptop.output, preview(dir_).output);

    // What is wrong with the laptop folder is named, and no machine is left behind.
    std::filesystem::remove_all(machine);
    writeExport(u"\"Current\"=dword:00000003");
    Outcome badSelect = create();
    EXPECT_EQ(badSelect.exitCode, 4);
    EXPECT_NE(badSelect.output.find("names ControlSet003, which the export does not hold"),
              std::string::npos)
        << badSelect.output;
    EXPECT_FALSE(std::filesystem::exists(machine));
    std::filesystem::remove_all(laptop / "inf");
    Outcome noInf = create();
    EXPECT_EQ(noInf.exitCode, 3);
    EXPECT_NE(noInf.output.find("inf\\oemNN.inf"), std::string::npos) << noInf.output;
}

TEST_F(CliTest, ZemachineTakesTheMachineAnywhereOnItsLine) {
    std::string machine = "--machine '" + dir_.string() + "'";
    std::string exportTo = "export 'HKLM\\SOFTWARE' --output '" + (dir_ / "s.reg").string() + "'";
    for (std::string line : {machine + " " + exportTo, exportTo + " " + machine}) {
        std::filesystem::remove(dir_ / "s.reg");
        Outcome exported = RunProgram("", ZE_ZEMACHINE_PATH, line);
        EXPECT_EQ(exported.exitCode, 0) << line << ": " << exported.output;
        EXPECT_NE(ReadFile(dir_ / "s.reg").find(std::string("S\0O\0F\0T\0W\0A\0R\0E\0]", 15)),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace ze::testing
