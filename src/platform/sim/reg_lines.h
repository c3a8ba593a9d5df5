// The first stage of reading a .reg file: its bytes, fed in pieces of any size, cut
// into lines in the file's encoding. A UTF-16LE byte-order mark, or a first character
// whose high byte is 0, means UTF-16LE; otherwise the lines are 8-bit text: UTF-8 (with
// or without its mark) unless the header turns out to be REGEDIT4 without a mark, whose
// lines are ANSI (Windows-1252). CR LF, LF or a lone CR ends a line.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ze::sim {

class RegLineSplitter {
  public:
    // Receives each line in order; false stops the splitting for good.
    using LineHandler = std::function<bool(std::u16string_view line)>;
    explicit RegLineSplitter(LineHandler handler) : handler_(std::move(handler)) {}

    void Feed(std::string_view bytes);
    // The end of the file: the last line, when it has no line break, is passed on.
    void Finish();
    // The reader has read the header line; a REGEDIT4 header makes the 8-bit lines that
    // follow ANSI text unless the file has a UTF-8 mark. Until then an 8-bit line with a
    // NUL in it is passed on as "\x01", which no header matches (the file is not text).
    void HeaderRead(bool regedit4);
    bool Stopped() const { return stopped_; }
    // Whether the file had any bytes at all (beyond a byte-order mark).
    bool AnyByte() const { return anyByte_; }

  private:
    enum class Encoding { Utf16Le, Utf8, Ansi8 };

    void ChooseEncoding();
    void Split(std::string_view bytes);
    void SplitUnits(std::string_view bytes);
    void Take(char c);
    void EndLine();

    LineHandler handler_;
    bool stopped_ = false;
    std::string start_;  // the first bytes, until the encoding is known
    std::optional<Encoding> encoding_;
    bool anyByte_ = false;
    std::optional<unsigned> oddByte_;
    std::string pendingBytes_;
    std::u16string pendingLine_;
    bool sawCarriageReturn_ = false;
    bool headerRead_ = false;
    bool ansi_ = false;  // 8-bit lines are Windows-1252 (a REGEDIT4 file without UTF-8 mark)
};

}  // namespace ze::sim
