#pragma once

#include <cstdio>
#include <ctime>
#include <string>

struct LogSettings;

// The log of one run (a recording, a playback or an import): built at the run's start from the
// run's logging settings, it opens the log file when logging is on; one writeLine per
// event; destroyed at the run's end, which closes the file. Every failure is silent.
//
// File format: each line is [DATE " : "] MESSAGE CR LF, flushed at once. The message is written
// as a text-mode stream writes it: every LF becomes CR LF, so a message ending in "\r\n" is
// followed on disk by CR CR LF and then the line's own CR LF. The bytes are the same on every
// platform.
class LogWriter {
public:
    explicit LogWriter(const LogSettings& settings);
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Closes any open file, then opens path for appending (created if missing) or truncated.
    bool openLog(const std::string& path, bool append, bool showDate);
    bool isOpen() const { return file_ != nullptr; }
    void writeLine(const char* message);
    void writeLine(const std::string& message) { writeLine(message.c_str()); }

private:
    void close();

    std::FILE* file_ = nullptr;
    bool showDate_ = true;
};

// "Sun, 06 Dec 2026 10:32:53 GMT": English names whatever the locale; the time given is local
// time, yet the text says GMT, as log readers expect.
std::string formatLogDate(const std::tm& local);
