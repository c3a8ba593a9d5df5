#include "platform/sim/machine_registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>

#include "platform/sim/service_state.h"

namespace ze::sim {
namespace {

namespace fs = std::filesystem;

// Files at least this large get a progress line while they are imported.
constexpr std::uintmax_t kLargeFile = 8u << 20;
constexpr std::size_t kShownWarnings = 20;

// What the registry remembers of the file it was imported from. The change time and
// the inode move with any write, rename or copy, even one that restores the size and
// the modification time (touch -r, cp -p, tar, rsync -t).
struct SourceStamp {
    std::string size;
    std::string time;
    std::string change;
    std::string hash;
};

// FNV-1a over the file's bytes, fed piece by piece.
class Fingerprint {
  public:
    void Add(std::string_view bytes) {
        for (char c : bytes) {
            hash_ ^= static_cast<unsigned char>(c);
            hash_ *= 0x100000001b3ULL;
        }
    }
    std::string Hex() const {
        char text[20];
        std::snprintf(text, sizeof text, "%016" PRIx64, hash_);
        return text;
    }

  private:
    std::uint64_t hash_ = 0xcbf29ce484222325ULL;
};

std::string Nanoseconds(const struct timespec& time) {
    return std::to_string(time.tv_sec) + "." + std::to_string(time.tv_nsec);
}

// Size, modification time, change time and inode: the quick check for a changed file.
std::optional<SourceStamp> StatOf(const fs::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return SourceStamp{std::to_string(info.st_size), Nanoseconds(info.st_mtim),
                       std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":" +
                           Nanoseconds(info.st_ctim),
                       ""};
}

// Reads a file in pieces, handing each to `take`; false when it cannot be read.
bool ReadPieces(const fs::path& file, const std::function<void(std::string_view)>& take) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::string buffer(1u << 20, '\0');
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        if (in.gcount() > 0)
            take(std::string_view(buffer.data(), static_cast<std::size_t>(in.gcount())));
    }
    return in.eof();
}

std::optional<std::string> HashOf(const fs::path& file) {
    Fingerprint fingerprint;
    if (!ReadPieces(file, [&](std::string_view piece) { fingerprint.Add(piece); }))
        return std::nullopt;
    return fingerprint.Hex();
}

LONG SaveStamp(RegistryStore& registry, const SourceStamp& stamp) {
    return registry.Transaction([&]() -> LONG {
        if (LONG error = registry.SetMeta("source.size", stamp.size))
            return error;
        if (LONG error = registry.SetMeta("source.time", stamp.time))
            return error;
        if (LONG error = registry.SetMeta("source.change", stamp.change))
            return error;
        return registry.SetMeta("source.hash", stamp.hash);
    });
}

void ShowWarnings(const RegReadResult& read, std::FILE* messages) {
    if (messages == nullptr)
        return;
    for (std::size_t i = 0; i < read.warnings.size() && i < kShownWarnings; ++i)
        std::fprintf(messages, "%s\n", read.warnings[i].c_str());
    std::size_t rest =
        read.moreWarnings +
        (read.warnings.size() > kShownWarnings ? read.warnings.size() - kShownWarnings : 0);
    if (rest > 0)
        std::fprintf(messages, "... and %zu more lines skipped\n", rest);
}

// registry.reg against what the registry recorded when it was imported.
bool SourceUnchanged(RegistryStore& registry, const fs::path& regFile) {
    std::optional<SourceStamp> now = StatOf(regFile);
    if (!now)
        return true;  // no registry.reg: the database alone is the machine
    std::optional<std::string> size = registry.Meta("source.size");
    if (size && *size == now->size && registry.Meta("source.time") == now->time &&
        registry.Meta("source.change") == now->change) {
        return true;
    }
    std::optional<std::string> hash = registry.Meta("source.hash");
    if (!size || !hash || *size != now->size || HashOf(regFile) != *hash)
        return false;
    now->hash = *hash;
    SaveStamp(registry, *now);  // touched, not changed
    return true;
}

bool OnReadOnlyFileSystem(const fs::path& dir) {
    struct statvfs info {};
    return ::statvfs(dir.c_str(), &info) == 0 && (info.f_flag & ST_RDONLY) != 0;
}

constexpr char kFreshPrefix[] = "registry.db.new-";

// An exclusive lock on a file beside registry.db, held while the database is made, so
// that one process makes it and the others wait and use it. Released by the kernel
// when its process dies.
class CreationLock {
  public:
    explicit CreationLock(const fs::path& file)
        : fd_(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~CreationLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    CreationLock(const CreationLock&) = delete;
    CreationLock& operator=(const CreationLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_;
};

// registry.db.new-<pid> files (and their journals) left by a process that died while
// it made the database.
void RemoveStaleFreshFiles(const fs::path& dir) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(kFreshPrefix, 0) != 0)
            continue;
        long pid = std::strtol(name.c_str() + std::strlen(kFreshPrefix), nullptr, 10);
        if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
            errno == ESRCH) {
            fs::remove(entry.path(), ec);
        }
    }
}

bool BuildDatabase(const fs::path& fresh, const fs::path& reg, std::FILE* messages,
                   std::string* error) {
    std::unique_ptr<RegistryStore> registry = RegistryStore::Open(fresh, true, error);
    if (!registry)
        return false;
    registry->BeginBulkLoad();
    std::error_code ec;
    return (!fs::exists(reg, ec) || ImportRegFile(*registry, reg, false, true, messages, error)) &&
           CreateServiceStateTables(registry->DatabaseOf()) == ERROR_SUCCESS &&
           registry->MakeDurable() == ERROR_SUCCESS;
}

// Makes registry.db from registry.reg (or empty), with the service manager's tables,
// under a name of its own, syncs it and renames it into place (no hard link, so that
// file systems without them do). The creation lock makes the first process the only
// one to build it; the others find it made when they get the lock.
std::unique_ptr<RegistryStore> CreateDatabase(const fs::path& dir, std::FILE* messages,
                                              std::string* error) {
    fs::path db = dir / kRegistryDb;
    CreationLock lock(dir / (std::string(kRegistryDb) + ".lock"));
    if (!lock.Held()) {
        *error = db.string() + ": cannot be created: the folder cannot be locked (" +
                 std::strerror(errno) + ")";
        return nullptr;
    }
    std::error_code ec;
    if (fs::exists(db, ec))
        return RegistryStore::Open(db, false, error);
    RemoveStaleFreshFiles(dir);
    fs::path fresh = dir / (kFreshPrefix + std::to_string(::getpid()));
    fs::remove(fresh, ec);
    bool made =
        BuildDatabase(fresh, dir / kRegistryReg, messages, error) && PublishFile(fresh, db, error);
    fs::remove(fresh, ec);
    if (!made) {
        if (error->empty())
            *error = db.string() + ": cannot be created";
        return nullptr;
    }
    return RegistryStore::Open(db, false, error);
}

}  // namespace

bool ImportRegFile(RegistryStore& registry, const fs::path& file, bool replace, bool isSource,
                   std::FILE* messages, std::string* error) {
    std::optional<SourceStamp> stamp = StatOf(file);
    if (!stamp) {
        *error = file.string() + ": cannot be read";
        return false;
    }
    bool large = std::stoull(stamp->size) >= kLargeFile && messages != nullptr;
    auto started = std::chrono::steady_clock::now();
    if (large) {
        std::fprintf(messages, "importing %s (%.1f MB) into the machine's registry...",
                     file.string().c_str(), std::stoull(stamp->size) / 1048576.0);
        std::fflush(messages);
    }
    RegistryImport sink(registry);
    RegReader reader(file.string(), sink);
    Fingerprint fingerprint;
    RegReadResult read;
    bool readable = true;
    LONG result = registry.Transaction([&]() -> LONG {
        if (replace) {
            if (LONG cleared = registry.Clear())
                return cleared;
        }
        readable = ReadPieces(file, [&](std::string_view piece) {
            fingerprint.Add(piece);
            reader.Feed(piece);
        });
        read = reader.Finish();
        if (!readable || read.refused)
            return ERROR_INVALID_DATA;
        if (read.stopped)
            return sink.Error();
        stamp->hash = fingerprint.Hex();
        return isSource ? SaveStamp(registry, *stamp) : ERROR_SUCCESS;
    });
    if (large) {
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        std::fprintf(messages, " %s in %.1f s\n", result == ERROR_SUCCESS ? "done" : "failed",
                     took.count());
    }
    if (!readable) {
        *error = file.string() + ": cannot be read";
    } else if (read.refused) {
        *error = read.error;
    } else if (result != ERROR_SUCCESS) {
        *error = file.string() + ": the registry failed during the import (error " +
                 std::to_string(result) + "); nothing was imported";
    } else {
        ShowWarnings(read, messages);
    }
    return result == ERROR_SUCCESS;
}

bool PublishFile(const fs::path& temporary, const fs::path& target, std::string* error) {
    auto synced = [](const fs::path& file) {
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        bool done = fd >= 0 && ::fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        return done;
    };
    if (!synced(temporary) || ::rename(temporary.c_str(), target.c_str()) != 0) {
        *error = target.string() + ": cannot be written: " + std::strerror(errno);
        return false;
    }
    // The rename itself is made durable with the folder; some file systems cannot
    // sync a folder, and the file is in place either way.
    synced(target.parent_path().empty() ? fs::path(".") : target.parent_path());
    return true;
}

void RecordSource(RegistryStore& registry, const fs::path& regFile) {
    std::optional<SourceStamp> stamp = StatOf(regFile);
    std::optional<std::string> hash = HashOf(regFile);
    if (stamp && hash) {
        stamp->hash = *hash;
        SaveStamp(registry, *stamp);
    }
}

std::unique_ptr<RegistryStore> OpenMachineRegistry(const fs::path& dir, bool checkSource,
                                                   std::FILE* messages, std::string* error) {
    if (OnReadOnlyFileSystem(dir)) {
        *error = dir.string() +
                 " is on a read-only file system: the machine's registry (registry.db) must be "
                 "writable";
        return nullptr;
    }
    fs::path db = dir / kRegistryDb;
    std::error_code ec;
    std::unique_ptr<RegistryStore> registry = fs::exists(db, ec)
                                                  ? RegistryStore::Open(db, false, error)
                                                  : CreateDatabase(dir, messages, error);
    if (!registry)
        return nullptr;
    fs::path reg = dir / kRegistryReg;
    if (checkSource && !SourceUnchanged(*registry, reg)) {
        *error = reg.string() + " changed after the machine's registry was imported from it (" +
                 db.string() + "). To use it, either run `zemachine --machine " + dir.string() +
                 " import " + reg.string() +
                 "` (replaces the registry; add --merge to merge it), or delete " + db.string() +
                 " so that it is imported afresh (the changes made to the machine since are lost)";
        return nullptr;
    }
    return registry;
}

}  // namespace ze::sim
