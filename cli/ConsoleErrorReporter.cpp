#include "cli/ConsoleErrorReporter.h"

#include "cli/SystemErrorText.h"

namespace {

void appendPart(std::string& line, std::string part) {
    while (!part.empty() && (part.back() == ' ' || part.back() == '\r' || part.back() == '\n' ||
                             part.back() == '.')) {
        part.pop_back();
    }
    if (part.empty()) return;
    if (!line.empty()) {
        // After "...:" or "...!" a space reads on; otherwise the next part is a reason.
        const char last = line.back();
        line += last == ':' || last == '!' ? " " : ": ";
    }
    line += part;
}

}  // namespace

std::string joinedLines(const std::string& text) {
    std::string line;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        appendPart(line, text.substr(start, end - start));
        start = end + 1;
    }
    return line;
}

void ConsoleErrorReporter::showErrorBox(const std::string& text, bool withSystemText) {
    // Read first: building the line may itself change the last error.
    const std::string reason = withSystemText ? lastSystemErrorText() : std::string();
    if (reported()) return;
    line_ = joinedLines(reason.empty() ? text : text + "\n" + reason);
}
