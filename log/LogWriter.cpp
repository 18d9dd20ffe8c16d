#include "log/LogWriter.h"

#include <cstring>

#include "log/LogSettings.h"
#include "log/LocalTime.h"

namespace {

// Writes text as a text-mode stream on Windows would: each LF goes out as CR LF.
void writeTranslated(std::FILE* file, const char* text) {
    const char* rest = text;
    while (const char* newline = std::strchr(rest, '\n')) {
        std::fwrite(rest, 1, static_cast<std::size_t>(newline - rest), file);
        std::fwrite("\r\n", 1, 2, file);
        rest = newline + 1;
    }
    std::fwrite(rest, 1, std::strlen(rest), file);
}

}  // namespace

LogWriter::LogWriter(const LogSettings& settings) {
    showDate_ = settings.showDate;
    if (settings.loggingOn) openLog(settings.logFile, settings.appendFile, settings.showDate);
}

LogWriter::~LogWriter() { close(); }

void LogWriter::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool LogWriter::openLog(const std::string& path, bool append, bool showDate) {
    close();
    showDate_ = showDate;
    // Binary mode with our own line-end translation gives the same bytes on every platform.
    file_ = std::fopen(path.c_str(), append ? "ab" : "wb");
    return file_ != nullptr;
}

void LogWriter::writeLine(const char* message) {
    if (file_ == nullptr) return;
    std::string date;
    if (auto local = toLocalTime(std::time(nullptr))) date = formatLogDate(*local);
    if (!date.empty() && showDate_) {
        std::fwrite(date.data(), 1, date.size(), file_);
        std::fwrite(" : ", 1, 3, file_);
    }
    writeTranslated(file_, message);
    std::fwrite("\r\n", 1, 2, file_);
    std::fflush(file_);
}

std::string formatLogDate(const std::tm& local) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 || local.tm_mon > 11) {
        return {};
    }
    char text[100];
    int length = std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                               kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon],
                               local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) return {};
    return std::string(text, static_cast<std::size_t>(length));
}
