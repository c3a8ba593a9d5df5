// Reading regulatory.db: every field is read through Bytes, which refuses any read
// that does not lie wholly inside the file.
#include "check/regdb.h"

#include <algorithm>

#include "common/text.h"
#include "platform/handles.h"

namespace ze::regdb {

namespace {

constexpr std::uint32_t kMagic = 0x52474442;  // "RGDB"
constexpr std::uint32_t kVersion = 20;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kCountrySize = 4;
constexpr std::size_t kCollectionMinSize = 3;
constexpr std::size_t kRuleMinSize = 16;
constexpr std::size_t kRuleWmmSize = 20;
constexpr std::size_t kWmmSize = 32;
// A larger file is not a regulatory database (the real one is a few kilobytes), and
// pointers of 16 bits cannot reach past 256 KiB anyway.
constexpr std::size_t kMaxFileSize = 1 << 20;

class Bytes {
  public:
    explicit Bytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }
    bool Holds(std::size_t offset, std::size_t length) const {
        return offset <= bytes_.size() && length <= bytes_.size() - offset;
    }
    // Callers check Holds first.
    std::uint8_t U8(std::size_t offset) const { return bytes_[offset]; }
    std::uint16_t U16(std::size_t offset) const {
        return static_cast<std::uint16_t>(bytes_[offset] << 8 | bytes_[offset + 1]);
    }
    std::uint32_t U32(std::size_t offset) const {
        return static_cast<std::uint32_t>(U16(offset)) << 16 | U16(offset + 2);
    }

  private:
    std::span<const std::uint8_t> bytes_;
};

std::u16string Outside(const Bytes& bytes, const char16_t* what, std::size_t offset) {
    return Format(u"points outside the file for %s (byte %u of %u): damaged or truncated", what,
                  static_cast<unsigned>(offset), static_cast<unsigned>(bytes.size()));
}

bool ReadRule(const Bytes& bytes, std::size_t offset, Rule* rule, std::u16string* error) {
    if (!bytes.Holds(offset, 1) || !bytes.Holds(offset, bytes.U8(offset))) {
        *error = Outside(bytes, u"a rule", offset);
        return false;
    }
    std::size_t length = bytes.U8(offset);
    if (length < kRuleMinSize) {
        *error = Format(u"has a rule of %u bytes, shorter than 16", static_cast<unsigned>(length));
        return false;
    }
    if (length >= kRuleWmmSize) {
        std::size_t wmm = static_cast<std::size_t>(bytes.U16(offset + 18)) << 2;
        if (!bytes.Holds(wmm, kWmmSize)) {
            *error = Outside(bytes, u"the WMM parameters of a rule", wmm);
            return false;
        }
    }
    rule->flags = bytes.U8(offset + 1);
    rule->maxEirpMbm = bytes.U16(offset + 2);
    rule->startKhz = bytes.U32(offset + 4);
    rule->endKhz = bytes.U32(offset + 8);
    rule->maxBandwidthKhz = bytes.U32(offset + 12);
    if (rule->startKhz > rule->endKhz) {
        *error = Format(u"has a rule that starts at %u kHz, past its end at %u kHz", rule->startKhz,
                        rule->endKhz);
        return false;
    }
    return true;
}

bool ReadCollection(const Bytes& bytes, std::size_t offset, Country* country,
                    std::u16string* error) {
    if (!bytes.Holds(offset, kCollectionMinSize)) {
        *error = Outside(bytes, u"its rule list", offset);
        return false;
    }
    std::size_t headerLength = bytes.U8(offset);
    std::size_t count = bytes.U8(offset + 1);
    if (headerLength < kCollectionMinSize) {
        *error = Format(u"has a rule list header of %u bytes, shorter than 3",
                        static_cast<unsigned>(headerLength));
        return false;
    }
    if (count == 0) {
        *error = u"has no rules";
        return false;
    }
    std::size_t pointers = offset + ((headerLength + 1) & ~std::size_t{1});
    if (!bytes.Holds(pointers, 2 * count)) {
        *error = Outside(bytes, u"its rule pointers", pointers);
        return false;
    }
    country->dfsRegion = bytes.U8(offset + 2);
    for (std::size_t i = 0; i < count; ++i) {
        Rule rule;
        if (!ReadRule(bytes, static_cast<std::size_t>(bytes.U16(pointers + 2 * i)) << 2, &rule,
                      error))
            return false;
        country->rules.push_back(rule);
    }
    return true;
}

}  // namespace

const Country* Database::Find(std::u16string_view alpha2) const {
    auto found = std::find_if(countries.begin(), countries.end(),
                              [&](const Country& country) { return country.alpha2 == alpha2; });
    return found == countries.end() ? nullptr : &*found;
}

bool ParseDatabase(std::span<const std::uint8_t> data, Database* database, std::u16string* error) {
    Bytes bytes(data);
    if (!bytes.Holds(0, kHeaderSize) || bytes.U32(0) != kMagic) {
        *error = u"is not a regulatory database: it does not begin with \"RGDB\"";
        return false;
    }
    if (bytes.U32(4) != kVersion) {
        *error = Format(u"is a regulatory database of version %u; this program reads version 20",
                        bytes.U32(4));
        return false;
    }
    Database parsed;
    for (std::size_t offset = kHeaderSize;; offset += kCountrySize) {
        if (!bytes.Holds(offset, kCountrySize)) {
            *error = u"is truncated: its country list has no end";
            return false;
        }
        std::size_t collection = static_cast<std::size_t>(bytes.U16(offset + 2)) << 2;
        if (collection == 0)
            break;
        Country country;
        country.alpha2 = {static_cast<char16_t>(bytes.U8(offset)),
                          static_cast<char16_t>(bytes.U8(offset + 1))};
        if (!ReadCollection(bytes, collection, &country, error)) {
            *error = u"country " + country.alpha2 + u" " + *error;
            return false;
        }
        parsed.countries.push_back(std::move(country));
    }
    *database = std::move(parsed);
    return true;
}

bool LoadDatabase(const std::u16string& path, Database* database, std::u16string* error) {
    UniqueFile file(OS().CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        *error = Format(u"cannot be opened (error %u)", OS().GetLastError());
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    DWORD read = 0;
    while (bytes.size() <= kMaxFileSize) {
        if (!OS().ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr)) {
            *error = Format(u"cannot be read (error %u)", OS().GetLastError());
            return false;
        }
        if (read == 0)
            return ParseDatabase(bytes, database, error);
        bytes.insert(bytes.end(), chunk, chunk + read);
    }
    *error = u"is larger than 1 MiB: not a regulatory database";
    return false;
}

}  // namespace ze::regdb
