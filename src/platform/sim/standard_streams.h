// The standard output and error of the simulated process: two pseudo handles (below
// every handle value the machine hands out) whose bytes are kept for tests to read
// and, with echo on, also go to this process's own stdout and stderr (the Linux
// program).
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "platform/wintypes.h"

namespace ze::sim {

class StandardStreams {
  public:
    // GetStdHandle's answer for STD_OUTPUT_HANDLE or STD_ERROR_HANDLE; nullptr otherwise.
    static HANDLE HandleOf(DWORD which);
    // The stream a handle stands for (0 output, 1 error), or -1.
    static int IndexOf(HANDLE handle);

    void Append(int index, std::string_view bytes);
    // What was written to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
    std::string Captured(DWORD which) const;
    void Echo(bool echo);

  private:
    mutable std::mutex mutex_;
    // Standard output and error, in that order.
    std::string captured_[2];
    bool echo_ = false;
};

}  // namespace ze::sim
