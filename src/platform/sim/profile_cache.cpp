// Parsed INI files kept between calls, never hiding a change made to a file.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <fstream>

#include "platform/sim/profile.h"

namespace ze::sim::profile {
namespace {

bool ReadFile(const std::filesystem::path& file, std::string* bytes) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    bytes->resize(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(bytes->data(), static_cast<std::streamsize>(bytes->size()));
    bytes->resize(static_cast<std::size_t>(in.gcount()));
    return !in.bad();
}

long long Nanoseconds(const timespec& time) {
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

}  // namespace

DocumentCache::DocumentCache(std::chrono::nanoseconds settle, std::size_t capacity)
    : settle_(settle), capacity_(capacity) {}

std::optional<DocumentCache::Stamp> DocumentCache::StampOf(const std::filesystem::path& file,
                                                           int* error) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        *error = errno;
        return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
        *error = EISDIR;
        return std::nullopt;
    }
    return Stamp{static_cast<unsigned long long>(status.st_dev),
                 static_cast<unsigned long long>(status.st_ino),
                 static_cast<unsigned long long>(status.st_size), Nanoseconds(status.st_mtim),
                 Nanoseconds(status.st_ctim)};
}

bool DocumentCache::Settled(const Stamp& stamp) const {
    auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return now.count() - stamp.changed > settle_.count();
}

void DocumentCache::Put(const std::filesystem::path& file, Entry entry) {
    entry.lastUse = ++uses_;
    entries_[file] = std::move(entry);
    if (entries_.size() > capacity_) {
        entries_.erase(std::min_element(entries_.begin(), entries_.end(), [](auto& a, auto& b) {
            return a.second.lastUse < b.second.lastUse;
        }));
    }
}

std::shared_ptr<const Document> DocumentCache::Load(const std::filesystem::path& file,
                                                    LONG* error) {
    int cause = 0;
    std::optional<Stamp> stamp = StampOf(file, &cause);
    if (!stamp) {
        std::error_code ec;
        bool folderExists = std::filesystem::is_directory(file.parent_path(), ec);
        *error = cause == EISDIR                     ? ERROR_ACCESS_DENIED
                 : (cause == ENOENT && folderExists) ? ERROR_FILE_NOT_FOUND
                                                     : ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = entries_.find(file);
    if (it != entries_.end() && it->second.trusted && it->second.stamp == *stamp) {
        it->second.lastUse = ++uses_;
        *error = ERROR_SUCCESS;
        return it->second.document;
    }
    // Whether the stamp can be trusted is judged before reading: a change after
    // this point gets a later change time.
    bool settled = Settled(*stamp);
    std::string bytes;
    if (!ReadFile(file, &bytes)) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    *error = ERROR_SUCCESS;
    if (it != entries_.end() && it->second.bytes == bytes) {
        it->second.stamp = *stamp;
        it->second.trusted = settled;
        it->second.lastUse = ++uses_;
        return it->second.document;
    }
    auto document = std::make_shared<const Document>(Document::Parse(bytes));
    Put(file, Entry{*stamp, settled, std::move(bytes), document});
    return document;
}

void DocumentCache::Store(const std::filesystem::path& file, std::string bytes) {
    int cause = 0;
    std::optional<Stamp> stamp = StampOf(file, &cause);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stamp) {
        entries_.erase(file);
        return;
    }
    auto document = std::make_shared<const Document>(Document::Parse(bytes));
    Put(file, Entry{*stamp, false, std::move(bytes), std::move(document)});
}

}  // namespace ze::sim::profile
