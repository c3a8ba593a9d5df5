#include "platform/sim/journal.h"

#include <fcntl.h>
#include <unistd.h>

#include "common/reg_format.h"
#include "common/text.h"
#include "platform/sim/value_data.h"

namespace ze::sim {

std::string JournalEntry::ToString() const {
    std::string line = action + " " + Utf16ToUtf8(path);
    if (action == "SetValue") {
        line += " " + Utf16ToUtf8(QuoteText(name)) + " " + Utf16ToUtf8(RegTypeName(type)) + " " +
                Utf16ToUtf8(FormatRegData(type, data));
    } else if (action == "WriteProfileString") {
        line += " " + Utf16ToUtf8(name) + "=" + Utf16ToUtf8(Utf16LeText(data));
    } else if (!name.empty()) {
        line += " " + Utf16ToUtf8(name);
    }
    return line;
}

void AppendLine(const std::filesystem::path& file, const std::string& line) {
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        ssize_t written = ::write(fd, line.data(), line.size());
        (void)written;
        ::close(fd);
    }
}

void Journal::Record(JournalEntry entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!mirror_.empty())
        AppendLine(mirror_, entry.ToString() + "\n");
    entries_.push_back(std::move(entry));
}

std::vector<JournalEntry> Journal::Entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

std::vector<std::string> Journal::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> lines;
    for (const auto& entry : entries_)
        lines.push_back(entry.ToString());
    return lines;
}

std::size_t Journal::Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

void Journal::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
}

void Journal::MirrorTo(std::filesystem::path file) {
    std::lock_guard<std::mutex> lock(mutex_);
    mirror_ = std::move(file);
}

}  // namespace ze::sim
