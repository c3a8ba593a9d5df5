// The registry of a machine folder: registry.db, shared by every process of the
// machine, and registry.reg, the human side it is imported from and exported to.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/sim/reg_file.h"
#include "platform/sim/registry_store.h"

namespace ze::sim {

inline constexpr char kRegistryDb[] = "registry.db";
inline constexpr char kRegistryReg[] = "registry.reg";

// Opens the registry of the machine folder `dir`:
// - registry.db when it exists. With checkSource, a registry.reg that changed since
//   the registry was imported from it (or appeared after) refuses the open, with a
//   message naming the two ways out: `zemachine import` or deleting registry.db;
// - otherwise a new registry.db made from registry.reg (one progress line on
//   `messages` for a large file, and its warnings), or empty when there is no
//   registry.reg. The new database appears whole or not at all, also when two
//   processes open a fresh folder at once.
// Returns nullptr and sets *error when the folder is on a read-only file system,
// registry.db is not a registry database, or registry.reg is refused; no file is
// changed then.
std::unique_ptr<RegistryStore> OpenMachineRegistry(const std::filesystem::path& dir,
                                                   bool checkSource, std::FILE* messages,
                                                   std::string* error);

// Imports a .reg file into the registry as one transaction, replacing everything in
// it or merged over it, and prints the reading's warnings (and, for a large file, one
// progress line) on `messages`. With isSource (the file is the machine's
// registry.reg), the registry records the file as its source. False, with *error set
// and the registry as it was, when the file cannot be read or is refused or the
// registry fails.
bool ImportRegFile(RegistryStore& registry, const std::filesystem::path& file, bool replace,
                   bool isSource, std::FILE* messages, std::string* error);

// Syncs `temporary` to disk and renames it over `target`, then syncs the folder: a
// reader sees the old file or the whole new one, also after a crash or power loss.
// False, with *error set and `temporary` still there, when it cannot.
bool PublishFile(const std::filesystem::path& temporary, const std::filesystem::path& target,
                 std::string* error);

// Records `regFile` as it is now as the file the registry holds (after an export to it).
void RecordSource(RegistryStore& registry, const std::filesystem::path& regFile);

}  // namespace ze::sim
