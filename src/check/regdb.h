// The wireless regulatory database, "regulatory.db" as wireless-regdb builds it and the
// Linux kernel reads it: per country (ISO 3166-1 alpha-2, "00" for the world domain)
// the frequency ranges a radio may use, each with its largest bandwidth, its largest
// EIRP and its restrictions.
//
// The file comes from outside, so the reader trusts nothing in it: every offset and
// length is checked against the file before it is read, and a file that is not a
// database, is cut short, points outside itself, holds a range that starts past its
// end or a country without ranges is refused whole with a message that says which.
// Nothing is read out of bounds whatever the bytes.
//
// Layout (big-endian; a pointer is a byte offset divided by 4):
//   header      "RGDB", version 20 (32 bits)
//   countries   alpha-2 (2 bytes), collection pointer (16 bits); a null pointer ends the list
//   collection  header length (8 bits, at least 3), rule count (8), DFS region (8), then
//               at the header length rounded up to 2, one 16-bit rule pointer per rule
//   rule        length (8 bits, at least 16), flags (8), max EIRP in mBm (16), start,
//               end and max bandwidth in kHz (32 each); a rule of 20 bytes or more adds
//               a CAC time (16) and a pointer to 32 bytes of WMM parameters (16)
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ze::regdb {

enum RuleFlag : std::uint8_t {
    kNoOfdm = 0x01,
    kNoOutdoor = 0x02,
    kDfs = 0x04,
    kNoIr = 0x08,
    kAutoBandwidth = 0x10,
};

struct Rule {
    std::uint32_t startKhz = 0;
    std::uint32_t endKhz = 0;
    std::uint32_t maxBandwidthKhz = 0;
    std::uint16_t maxEirpMbm = 0;  // hundredths of a dBm
    std::uint8_t flags = 0;
};

struct Country {
    std::u16string alpha2;       // as the file spells it, "00" for the world domain
    std::uint8_t dfsRegion = 0;  // 0 unset, 1 FCC, 2 ETSI, 3 JP
    std::vector<Rule> rules;     // in file order
};

struct Database {
    std::vector<Country> countries;  // in file order
    // The country of that alpha-2 code (exact match), or null.
    const Country* Find(std::u16string_view alpha2) const;
};

// The database in `bytes`. False when it is not a sound database: *error then says
// why in a few words (it is shown after the file's name) and *database is untouched.
[[nodiscard]] bool ParseDatabase(std::span<const std::uint8_t> bytes, Database* database,
                                 std::u16string* error);

// Reads the file at a Windows path through the platform and parses it; false with
// *error when the file cannot be read or is not sound.
[[nodiscard]] bool LoadDatabase(const std::u16string& path, Database* database,
                                std::u16string* error);

}  // namespace ze::regdb
