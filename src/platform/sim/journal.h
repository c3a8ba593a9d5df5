// The record of every change made to a simulated machine, in order.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace ze::sim {

struct JournalEntry {
    // CreateKey, SetValue, DeleteKey, WriteProfileString, DeleteProfileKey,
    // DeleteProfileSection, DisableDevice, EnableDevice, CreateService, ChangeService,
    // DeleteService, StartService, StopService, ServiceStatus.
    std::string action;
    std::u16string path;  // key path under HKLM, file, device instance or service name
    std::u16string name;  // value name, or "section\key" for profile writes
    DWORD type = 0;       // registry type, or the new state for services
    std::vector<BYTE> data;

    // One line, e.g. SetValue SYSTEM\...\0007 "CountryRegion" REG_SZ "1", the data as
    // the preview shows it.
    std::string ToString() const;
};

// Appends the line to the file in one write in append mode, so that the lines of
// processes sharing a machine never interleave.
void AppendLine(const std::filesystem::path& file, const std::string& line);

class Journal {
  public:
    void Record(JournalEntry entry);
    std::vector<JournalEntry> Entries() const;
    std::vector<std::string> Lines() const;
    std::size_t Size() const;
    void Clear();
    // Also append each entry's line to this file (persisted machines).
    void MirrorTo(std::filesystem::path file);

  private:
    mutable std::mutex mutex_;
    std::vector<JournalEntry> entries_;
    std::filesystem::path mirror_;
};

}  // namespace ze::sim
