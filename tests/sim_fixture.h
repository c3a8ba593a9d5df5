// A fresh simulated machine for each test, installed as the process's platform,
// with the program's paths derived for C:\Program Files\Zelvaro\ZeRegionSvc.exe and
// a fixed clock.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/sim/sim_platform.h"

namespace ze {
// Names a port call in test messages.
inline std::ostream& operator<<(std::ostream& out, Call call) {
    return out << CallName(call);
}
}  // namespace ze

namespace ze::testing {

enum class Encoding { Utf16LeBom, Utf8, Utf8Bom, Ansi };

class SimTest : public ::testing::Test {
  protected:
    SimTest();
    ~SimTest() override;

    sim::SimPlatform& Sim() { return *sim_; }
    sim::RegistryStore& Reg() { return sim_->Registry(); }

    // Writes a file of the machine, creating its folders.
    void WriteTextFile(std::u16string_view windowsPath, std::u16string_view text,
                       Encoding encoding = Encoding::Ansi);
    void WriteBytes(std::u16string_view windowsPath, const std::string& bytes);
    std::string ReadBytes(std::u16string_view windowsPath) const;
    bool FileExists(std::u16string_view windowsPath) const;

    // Runs _tmain with the executable's path and the given arguments.
    int RunMain(std::vector<std::u16string> arguments);

    // The log file's entries in order, each without its timestamp prefix.
    std::vector<std::u16string> LogMessages() const;
    void ClearLog();
    std::vector<std::string> JournalLines() const { return sim_->JournalOf().Lines(); }
    void ClearJournal() { sim_->JournalOf().Clear(); }

    // The stored bytes of a registry value; an empty optional when it is missing.
    std::optional<sim::RegValue> Value(std::u16string_view keyPath,
                                       std::u16string_view name) const {
        return sim_->Registry().GetValue(keyPath, name);
    }
    // A key's values in order; none when the key is missing.
    std::vector<sim::RegValue> ValuesOf(std::u16string_view keyPath) const {
        std::vector<sim::RegValue> values;
        if (auto key = sim_->Registry().Find(keyPath))
            sim_->Registry().Values(*key, &values);
        return values;
    }

    static constexpr char16_t kExePath[] = u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.exe";
    static constexpr char16_t kIniPath[] = u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.ini";
    static constexpr char16_t kDatPath[] = u"C:\\Program Files\\Zelvaro\\ZeCoInst.dat";
    static constexpr char16_t kLogPath[] = u"C:\\Program Files\\Zelvaro\\ZeRegionSvc.log";

  private:
    std::filesystem::path root_;
    std::unique_ptr<sim::SimPlatform> sim_;
    std::unique_ptr<ScopedPlatform> scope_;
};

// Bytes of a UTF-16LE text, optionally followed by one terminator.
std::vector<BYTE> Utf16Bytes(std::u16string_view text, bool terminator = false);
std::vector<BYTE> DwordBytes(DWORD value);

}  // namespace ze::testing
