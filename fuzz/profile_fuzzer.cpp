// The profile engine on arbitrary file bytes: parsing, every lookup, the buffer
// conventions and an edit. Besides crashes and undefined behaviour it checks that a
// parsed file serialises to bytes that parse to the same text, and that a value just
// set is the value found.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sim/profile.h"

namespace profile = ze::sim::profile;

namespace {

// Names the edit can write back as they stand: letters, digits, blanks inside.
bool PlainName(std::u16string_view name) {
    if (name.empty() || name.front() == u' ' || name.back() == u' ')
        return false;
    for (char16_t c : name) {
        bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                     (c >= u'0' && c <= u'9') || c == u' ' || c == u'_' || c == u'.';
        if (!plain)
            return false;
    }
    return true;
}

// The lookups with buffers of every small size, as the profile calls fill them.
void LookUpAll(const profile::Document& document) {
    char16_t buffer[16];
    auto sections = document.SectionNames();
    for (ze::DWORD size = 1; size <= 16; size += 5)
        profile::CopyNameList(sections, buffer, size);
    for (auto section : sections) {
        auto keys = document.KeyNames(section);
        if (!keys)
            continue;
        profile::CopyNameList(*keys, buffer, 16);
        for (auto key : *keys) {
            auto value = document.Value(section, key);
            if (!value)
                continue;
            profile::ProfileInt(*value);
            for (ze::DWORD size = 1; size <= 16; size += 3)
                profile::CopyValue(*value, buffer, size);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    profile::Document document = profile::Document::Parse(bytes);
    if (profile::Document::Parse(document.Serialise()).Text() != document.Text())
        std::abort();
    LookUpAll(document);

    auto sections = document.SectionNames();
    std::u16string section = sections.empty() ? u"Fuzz" : std::u16string(sections.front());
    if (PlainName(section)) {
        document.Set(section, u"FuzzKey", u"fuzz value");
        auto value = document.Value(section, u"FuzzKey");
        if (!value || *value != u"fuzz value")
            std::abort();
        document.DeleteKey(section, u"FuzzKey");
        document.DeleteSection(section);
        LookUpAll(document);
    }
    return 0;
}
