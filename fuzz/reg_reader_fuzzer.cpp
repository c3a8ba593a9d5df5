// The .reg reader alone on arbitrary file bytes, with a sink that only records what it
// is told: no registry behind it, so that each input costs the reading and nothing
// else. Besides crashes and undefined behaviour it checks that the file read in small
// pieces tells the sink the same things, and warns the same, as the file read whole.
// (reg_import_fuzzer takes the slower round trip through the registry store.)
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/sim/reg_file.h"

namespace sim = ze::sim;

namespace {

// Everything the reader says, one entry after another.
class Transcript final : public sim::RegSink {
  public:
    bool OpenKey(std::u16string_view path) override { return Note(u'K', path); }
    bool DeleteKey(std::u16string_view path) override { return Note(u'D', path); }
    bool SetValue(std::u16string_view name, ze::DWORD type, std::vector<ze::BYTE> data) override {
        Note(u'V', name);
        text_ += std::u16string(reinterpret_cast<const char16_t*>(&type), 2);
        text_.append(data.begin(), data.end());
        return true;
    }
    bool DeleteValue(std::u16string_view name) override { return Note(u'X', name); }
    const std::u16string& Text() const { return text_; }

  private:
    bool Note(char16_t what, std::u16string_view name) {
        text_ += what;
        text_ += name;
        text_ += u'\0';
        return true;
    }
    std::u16string text_;
};

std::u16string Read(std::string_view bytes, std::size_t piece, sim::RegReadResult* result) {
    Transcript transcript;
    sim::RegReader reader("fuzz.reg", transcript);
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        reader.Feed(bytes.substr(at, piece));
    *result = reader.Finish();
    return transcript.Text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    sim::RegReadResult whole;
    sim::RegReadResult pieces;
    std::u16string said = Read(bytes, bytes.size() + 1, &whole);
    if (Read(bytes, 1 + size % 7, &pieces) != said || pieces.refused != whole.refused ||
        pieces.warnings != whole.warnings || pieces.moreWarnings != whole.moreWarnings) {
        std::abort();
    }
    if (whole.refused && !said.empty())
        std::abort();  // a refused file tells the sink nothing
    return 0;
}
