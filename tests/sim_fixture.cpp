#include "sim_fixture.h"

#include <fstream>
#include <random>

#include "common/log.h"
#include "common/paths.h"
#include "common/text.h"
#include "main/program.h"

namespace ze::testing {
namespace {

std::filesystem::path FreshRoot() {
    std::random_device random;
    auto root = std::filesystem::temp_directory_path() /
                ("zeregion-test-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
    std::filesystem::create_directories(root);
    return root;
}

std::string Encode(std::u16string_view text, Encoding encoding) {
    std::string bytes;
    switch (encoding) {
        case Encoding::Utf16LeBom:
            bytes = "\xFF\xFE";
            for (char16_t c : text) {
                bytes.push_back(static_cast<char>(c & 0xFF));
                bytes.push_back(static_cast<char>(c >> 8));
            }
            return bytes;
        case Encoding::Utf8Bom:
            return "\xEF\xBB\xBF" + Utf16ToUtf8(text);
        case Encoding::Utf8:
            return Utf16ToUtf8(text);
        case Encoding::Ansi:
            for (char16_t c : text)
                bytes.push_back(static_cast<char>(c < 0x100 ? c : '?'));
            return bytes;
    }
    return bytes;
}

}  // namespace

SimTest::SimTest() : root_(FreshRoot()), sim_(std::make_unique<sim::SimPlatform>(root_)) {
    sim_->Settings().modulePath = kExePath;
    sim_->SetClock(SYSTEMTIME{2026, 1, 1, 5, 9, 3, 7, 45});
    std::filesystem::create_directories(sim_->HostPath(u"C:\\Program Files\\Zelvaro"));
    std::filesystem::create_directories(sim_->HostPath(u"C:\\windows\\system32"));
    std::filesystem::create_directories(sim_->HostPath(u"C:\\windows\\inf"));
    // The keys every Windows installation has.
    for (auto key : {u"SOFTWARE", u"SYSTEM\\CurrentControlSet\\Control\\Class",
                     u"SYSTEM\\CurrentControlSet\\Services", u"SYSTEM\\CurrentControlSet\\Enum"}) {
        sim_->Registry().Create(key);
    }
    scope_ = std::make_unique<ScopedPlatform>(*sim_);
    std::u16string baseName;
    DerivePaths(&baseName);
    g_bWriteLogFile = 1;
    g_bDebugMode = 0;
}

SimTest::~SimTest() {
    scope_.reset();
    sim_.reset();
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

void SimTest::WriteTextFile(std::u16string_view windowsPath, std::u16string_view text,
                            Encoding encoding) {
    WriteBytes(windowsPath, Encode(text, encoding));
}

void SimTest::WriteBytes(std::u16string_view windowsPath, const std::string& bytes) {
    auto host = sim_->HostPath(windowsPath);
    std::filesystem::create_directories(host.parent_path());
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string SimTest::ReadBytes(std::u16string_view windowsPath) const {
    std::ifstream in(sim_->HostPath(windowsPath), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool SimTest::FileExists(std::u16string_view windowsPath) const {
    return std::filesystem::exists(sim_->HostPath(windowsPath));
}

std::vector<std::u16string> SimTest::LogMessages() const {
    std::string bytes = ReadBytes(kLogPath);
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    // Each entry starts with "[y-m-d h:m:s:ms] ": seven decimal fields, each ended by
    // its separator, the last by the closing bracket, then one blank.
    auto isStamp = [&](std::size_t at, std::size_t* end) {
        if (text[at] != u'[')
            return false;
        std::size_t i = at + 1;
        for (char16_t separator : std::u16string_view(u"-- :::]")) {
            std::size_t first = i;
            while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
                ++i;
            if (i == first || i >= text.size() || text[i] != separator)
                return false;
            ++i;
        }
        if (i >= text.size() || text[i] != u' ')
            return false;
        *end = i + 1;
        return true;
    };
    std::vector<std::u16string> messages;
    std::size_t pos = 0;
    std::size_t end = 0;
    while (pos < text.size() && isStamp(pos, &end)) {
        std::size_t next = end;
        std::size_t ignored = 0;
        while (next < text.size() && !isStamp(next, &ignored))
            ++next;
        messages.push_back(text.substr(end, next - end));
        pos = next;
    }
    return messages;
}

int SimTest::RunMain(std::vector<std::u16string> arguments) {
    arguments.insert(arguments.begin(), kExePath);
    std::vector<char16_t*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    try {
        return _tmain(static_cast<int>(arguments.size()), argv.data());
    } catch (const sim::ProcessExit& exit) {
        return static_cast<int>(exit.code);
    }
}

void SimTest::ClearLog() {
    std::filesystem::remove(sim_->HostPath(kLogPath));
}

std::vector<BYTE> Utf16Bytes(std::u16string_view text, bool terminator) {
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c & 0xFF));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    if (terminator) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

std::vector<BYTE> DwordBytes(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

}  // namespace ze::testing
