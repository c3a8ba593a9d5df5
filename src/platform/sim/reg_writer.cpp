#include <optional>

#include "common/text.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/value_data.h"

namespace ze::sim {

namespace {

constexpr LONG kErrorWriteFault = 29;  // ERROR_WRITE_FAULT

std::u16string Quote(std::u16string_view text) {
    std::u16string out = u"\"";
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"')
            out.push_back(u'\\');
        out.push_back(c);
    }
    out.push_back(u'"');
    return out;
}

// A REG_SZ that reads back whole from a quoted text: one terminator at the end and no
// NUL, CR or LF inside. Anything else is written as hex(1) so that no byte is lost.
bool IsPlainString(const RegValue& value) {
    if (value.type != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0)
        return false;
    std::u16string text = Utf16LeText(value.data);
    return text.back() == u'\0' &&
           text.find_first_of(std::u16string_view(u"\0\r\n", 3)) == text.size() - 1;
}

// The bytes as regedit lists them: two lower-case digits each, separated by commas,
// lines continued with a backslash before they pass 80 columns.
std::u16string HexList(const std::vector<BYTE>& data, std::size_t prefixLength) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out;
    out.reserve(data.size() * 3 + data.size() / 8);
    std::size_t column = prefixLength;
    for (std::size_t i = 0; i < data.size(); ++i) {
        bool last = i + 1 == data.size();
        if (column + (last ? 2 : 3) > 77 && !last) {
            out += u"\\\r\n  ";
            column = 2;
        }
        out.push_back(kDigits[data[i] >> 4]);
        out.push_back(kDigits[data[i] & 0xF]);
        if (!last)
            out.push_back(u',');
        column += last ? 2 : 3;
    }
    return out;
}

std::u16string ValueLine(const RegValue& value) {
    std::u16string line = value.name.empty() ? u"@" : Quote(value.name);
    line += u"=";
    if (IsPlainString(value)) {
        std::u16string text = Utf16LeText(value.data);
        text.pop_back();  // the terminator
        return line + Quote(text);
    }
    std::optional<DWORD> number = DwordOfData(value.data);
    if (value.type == REG_DWORD && number)
        return line + Format(u"dword:%08x", *number);
    line += value.type == REG_BINARY ? std::u16string(u"hex:") : Format(u"hex(%x):", value.type);
    return line + HexList(value.data, line.size());
}

class RegWriter {
  public:
    RegWriter(RegistryStore& registry, const std::function<bool(std::string_view)>& write)
        : registry_(registry), write_(write) {}

    LONG Write(KeyId from) {
        std::u16string path;
        if (LONG error = registry_.PathOf(from, &path))
            return error;
        Put(u"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n");
        LONG error =
            Key(from, path.empty() ? u"HKEY_LOCAL_MACHINE" : u"HKEY_LOCAL_MACHINE\\" + path);
        if (error == ERROR_SUCCESS)
            Flush();
        return error != ERROR_SUCCESS ? error : failed_ ? kErrorWriteFault : ERROR_SUCCESS;
    }

  private:
    LONG Key(KeyId key, const std::u16string& path) {
        std::vector<RegValue> values;
        if (LONG error = registry_.Values(key, &values))
            return error;
        Put(u"[" + path + u"]\r\n");
        for (const auto& value : values)
            Put(ValueLine(value) + u"\r\n");
        Put(u"\r\n");
        std::vector<Subkey> subkeys;
        if (LONG error = registry_.Subkeys(key, &subkeys))
            return error;
        for (const auto& subkey : subkeys) {
            if (LONG error = Key(subkey.id, path + u"\\" + subkey.name))
                return error;
        }
        return ERROR_SUCCESS;
    }

    void Put(std::u16string_view text) {
        std::size_t at = buffer_.size();
        buffer_.resize(at + text.size() * 2);
        for (std::size_t i = 0; i < text.size(); ++i) {
            buffer_[at + 2 * i] = static_cast<char>(text[i] & 0xFF);
            buffer_[at + 2 * i + 1] = static_cast<char>(text[i] >> 8);
        }
        if (buffer_.size() >= (1u << 20))
            Flush();
    }

    void Flush() {
        if (!failed_ && !buffer_.empty() && !write_(buffer_))
            failed_ = true;
        buffer_.clear();
    }

    RegistryStore& registry_;
    const std::function<bool(std::string_view)>& write_;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace

LONG WriteReg(RegistryStore& registry, KeyId from,
              const std::function<bool(std::string_view bytes)>& write) {
    return RegWriter(registry, write).Write(from);
}

std::u16string RegText(RegistryStore& registry, KeyId from) {
    std::string bytes;
    WriteReg(registry, from, [&](std::string_view piece) {
        bytes += piece;
        return true;
    });
    std::u16string text = Utf16LeText(std::vector<BYTE>(bytes.begin(), bytes.end()));
    return text.empty() ? text : text.substr(1);  // without the byte-order mark
}

}  // namespace ze::sim
