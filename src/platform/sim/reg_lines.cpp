#include "platform/sim/reg_lines.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/text.h"

namespace ze::sim {

void RegLineSplitter::Feed(std::string_view bytes) {
    if (stopped_)
        return;
    if (!encoding_) {
        start_ += bytes;
        if (start_.size() < 4)
            return;
        ChooseEncoding();
        std::string first = std::move(start_);
        Split(first);
        return;
    }
    Split(bytes);
}

void RegLineSplitter::Finish() {
    if (!encoding_ && !stopped_) {
        ChooseEncoding();
        std::string first = std::move(start_);
        Split(first);
    }
    if (!stopped_ && (!pendingBytes_.empty() || !pendingLine_.empty() || sawCarriageReturn_))
        EndLine();
}

void RegLineSplitter::HeaderRead(bool regedit4) {
    headerRead_ = true;
    ansi_ = regedit4 && *encoding_ == Encoding::Ansi8;
}

void RegLineSplitter::ChooseEncoding() {
    auto byte = [&](std::size_t i) {
        return i < start_.size() ? static_cast<unsigned char>(start_[i]) : 0x100u;
    };
    if (byte(0) == 0xFF && byte(1) == 0xFE) {
        encoding_ = Encoding::Utf16Le;
        start_.erase(0, 2);
    } else if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        encoding_ = Encoding::Utf8;
        start_.erase(0, 3);
    } else if (byte(0) != 0 && byte(0) < 0x80 && byte(1) == 0) {
        encoding_ = Encoding::Utf16Le;
    } else {
        encoding_ = Encoding::Ansi8;  // UTF-8 or ANSI: the header decides
    }
}

// Cuts the bytes at line breaks, appending whole runs to the pending line.
void RegLineSplitter::Split(std::string_view bytes) {
    anyByte_ = anyByte_ || !bytes.empty();
    if (*encoding_ != Encoding::Utf16Le) {
        while (!bytes.empty() && !stopped_) {
            std::size_t stop = std::min(bytes.find_first_of("\r\n"), bytes.size());
            if (stop > 0)
                sawCarriageReturn_ = false;
            pendingBytes_.append(bytes.substr(0, stop));
            if (stop < bytes.size())
                Take(bytes[stop]);
            bytes.remove_prefix(std::min(stop + 1, bytes.size()));
        }
        return;
    }
    if (oddByte_ && !bytes.empty()) {
        char pair[2] = {static_cast<char>(*oddByte_), bytes.front()};
        oddByte_.reset();
        bytes.remove_prefix(1);
        SplitUnits(std::string_view(pair, 2));
    }
    SplitUnits(bytes.substr(0, bytes.size() & ~std::size_t{1}));
    if (bytes.size() % 2 != 0)
        oddByte_ = static_cast<unsigned char>(bytes.back());
}

// Whole UTF-16LE code units: runs between line breaks are appended at once, and the
// breaks are found by searching the bytes, not by stepping unit by unit.
void RegLineSplitter::SplitUnits(std::string_view bytes) {
    while (!bytes.empty() && !stopped_) {
        std::size_t stop = bytes.find_first_of("\r\n");
        while (stop != std::string_view::npos && (stop % 2 != 0 || bytes[stop + 1] != '\0'))
            stop = bytes.find_first_of("\r\n", stop + 1);
        std::size_t run = stop == std::string_view::npos ? bytes.size() : stop;
        if (run > 0) {
            sawCarriageReturn_ = false;
            std::size_t at = pendingLine_.size();
            pendingLine_.resize(at + run / 2);
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(pendingLine_.data() + at, bytes.data(), run);
            } else {
                for (std::size_t k = 0; k < run / 2; ++k) {
                    pendingLine_[at + k] =
                        static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * k]) |
                                              (static_cast<unsigned char>(bytes[2 * k + 1]) << 8));
                }
            }
        }
        if (stop == std::string_view::npos)
            return;
        Take(bytes[stop]);
        bytes.remove_prefix(stop + 2);
    }
}

// A line break: CR LF, LF or a lone CR ends a line.
void RegLineSplitter::Take(char c) {
    bool secondHalf = c == '\n' && sawCarriageReturn_;
    sawCarriageReturn_ = c == '\r';
    if (!secondHalf)
        EndLine();
}

void RegLineSplitter::EndLine() {
    std::u16string line;
    if (*encoding_ == Encoding::Utf16Le) {
        line = std::move(pendingLine_);
        pendingLine_.clear();
    } else {
        line = ansi_ ? AnsiToUtf16(pendingBytes_) : Utf8ToUtf16(pendingBytes_);
        if (!headerRead_ && pendingBytes_.find('\0') != std::string::npos)
            line = u"\x01";  // not text
        pendingBytes_.clear();
    }
    if (!handler_(line))
        stopped_ = true;
}

}  // namespace ze::sim
