// The diagnostic log: every message goes to the debugger stream and/or to a
// UTF-16LE log file beside the executable, each file entry with a local timestamp.
#pragma once

#include <string>

namespace ze {

extern int g_bWriteLogFile;  // non-zero: messages go to the log file
extern int g_bDebugMode;     // non-zero: messages go to the debugger stream

// Formats with wvsprintfW rules (%s takes const char16_t*) into a 512-character
// buffer; longer messages are cut to 511 characters.
void LogPrint(const char16_t* format, ...);

// Appends one timestamped entry to the log file. While another writer holds the file
// the entry waits for it a little; any other failure drops the entry.
void AppendLogFile(std::u16string text);

// Silences the log, both destinations, for its own life; the switches it found are
// restored when it ends.
class ScopedLogSilence {
  public:
    ScopedLogSilence();
    ~ScopedLogSilence();
    ScopedLogSilence(const ScopedLogSilence&) = delete;
    ScopedLogSilence& operator=(const ScopedLogSilence&) = delete;

  private:
    int writeLogFile_;
    int debugMode_;
};

}  // namespace ze
