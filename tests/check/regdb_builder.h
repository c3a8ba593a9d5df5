// Hand-made regulatory databases: the layout wireless-regdb writes, from a few
// countries and ranges, so that a test can plant exactly the case it needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ze::testing {

struct TestRule {
    std::uint32_t startMhz, endMhz, bandwidthMhz;
    std::uint8_t flags = 0;
};
struct TestCountry {
    std::string alpha2;
    std::vector<TestRule> rules;
};

inline std::string BuildRegdb(const std::vector<TestCountry>& countries) {
    std::string bytes;
    auto put = [&](std::uint32_t value, int size) {
        for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
            bytes.push_back(static_cast<char>((value >> shift) & 0xFF));
    };
    auto pad = [&] { bytes.resize((bytes.size() + 3) & ~std::size_t{3}, '\0'); };
    bytes = "RGDB";
    put(20, 4);
    std::size_t list = bytes.size();
    bytes.resize(list + 4 * (countries.size() + 1), '\0');
    for (std::size_t i = 0; i < countries.size(); ++i) {
        std::size_t collection = bytes.size();
        std::size_t rules = collection + ((4 + 2 * countries[i].rules.size() + 3) & ~3u);
        bytes.replace(list + 4 * i, 2, countries[i].alpha2);
        bytes[list + 4 * i + 2] = static_cast<char>((collection >> 2) >> 8);
        bytes[list + 4 * i + 3] = static_cast<char>((collection >> 2) & 0xFF);
        put(3, 1), put(countries[i].rules.size(), 1), put(0, 1), put(0, 1);
        for (std::size_t r = 0; r < countries[i].rules.size(); ++r)
            put(static_cast<std::uint32_t>((rules + 16 * r) >> 2), 2);
        pad();
        for (const TestRule& rule : countries[i].rules) {
            put(16, 1), put(rule.flags, 1), put(2000, 2);
            put(rule.startMhz * 1000, 4), put(rule.endMhz * 1000, 4),
                put(rule.bandwidthMhz * 1000, 4);
        }
    }
    return bytes;
}

}  // namespace ze::testing
