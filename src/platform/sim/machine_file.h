// Files of a persisted machine folder: text in the encodings regedit and the
// profile functions use, atomic replacement, and the machine settings file.
#pragma once

#include <filesystem>
#include <string>

#include "platform/sim/machine.h"

namespace ze::sim {

// Reads a text file: UTF-16LE with BOM, UTF-8 with or without BOM.
bool ReadTextFile(const std::filesystem::path& file, std::u16string* text);
// Writes UTF-16LE with BOM through a temporary file renamed over the target, so a
// reader in another process sees either the old or the new file whole.
bool WriteUtf16File(const std::filesystem::path& file, std::u16string_view text);
bool WriteBytesAtomically(const std::filesystem::path& file, const std::string& bytes);

// machine.ini: [Machine] SystemLocale, UserLocale (hex LCIDs), Administrator (0/1),
// WindowsDirectory, ModulePath, CommandLine; [PresentDevices] any key = instance id;
// [RestartFlags] instance id = the hex install-parameter flags its state change sets.
// [Security] Windows path = SDDL of that file or folder.
bool ReadMachineSettings(const std::filesystem::path& file, MachineSettings* settings,
                         std::string* error);
bool WriteMachineSettings(const std::filesystem::path& file, const MachineSettings& settings);

}  // namespace ze::sim
