#include "platform/sim/standard_streams.h"

#include <cstdint>
#include <cstdio>

namespace ze::sim {
namespace {

const HANDLE kStandardHandles[2] = {reinterpret_cast<HANDLE>(std::uintptr_t{0x11}),
                                    reinterpret_cast<HANDLE>(std::uintptr_t{0x12})};

}  // namespace

HANDLE StandardStreams::HandleOf(DWORD which) {
    if (which == STD_OUTPUT_HANDLE)
        return kStandardHandles[0];
    if (which == STD_ERROR_HANDLE)
        return kStandardHandles[1];
    return nullptr;
}

int StandardStreams::IndexOf(HANDLE handle) {
    for (int i = 0; i < 2; ++i) {
        if (handle == kStandardHandles[i])
            return i;
    }
    return -1;
}

void StandardStreams::Append(int index, std::string_view bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    captured_[index].append(bytes);
    if (echo_) {
        std::FILE* stream = index == 0 ? stdout : stderr;
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::fflush(stream);
    }
}

std::string StandardStreams::Captured(DWORD which) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return captured_[which == STD_ERROR_HANDLE ? 1 : 0];
}

void StandardStreams::Echo(bool echo) {
    std::lock_guard<std::mutex> lock(mutex_);
    echo_ = echo;
}

}  // namespace ze::sim
