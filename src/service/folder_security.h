// Whether the program's folder is safe to run from: the service runs the executable as
// LocalSystem and trusts the data and settings files beside it, so anyone who can
// write them can run code as LocalSystem.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ze {

// The program's folder, its executable, data file or settings file can be written by
// someone other than SYSTEM, Administrators, TrustedInstaller or the owner of the
// system directory: the exit code of "/install" and the service-specific exit code of
// the service, which both refuse to run.
constexpr int ZE_EXIT_UNSAFE_FOLDER = -111;

// The principal (SID text or SDDL alias, as the descriptor names it) that the
// descriptor, in SDDL, lets write or take over the object although it is none of
// `trusted` (SID texts), or nothing when only trusted principals can. Write is any of
// writing or appending data, adding or deleting entries of a folder, deleting the
// object, changing its access list or owner, and the generic write or all rights. An
// owner that is not trusted can change the access list, unless an OWNER RIGHTS entry
// says what it may do; a missing access list lets everyone write; deny entries are not
// counted, so a descriptor they would make safe is still refused. A text that does not
// parse is refused as "(unreadable access list)".
std::optional<std::u16string> UntrustedWriter(std::u16string_view sddl,
                                              const std::vector<std::u16string>& trusted);

// Checks the program's folder, executable, data file and settings file (those that
// exist). 0 when only trusted principals can write them; otherwise logs why (and, when
// `console` is set, prints it on standard error) and returns ZE_EXIT_UNSAFE_FOLDER.
int RefuseUnsafeFolder(bool console);

}  // namespace ze
