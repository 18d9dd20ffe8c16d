#pragma once

// The window's error box for a console: its text as one line, with the system's reason for the
// failure appended when the box would show it. The line is kept rather than printed, so that the
// command says it once, under its own name.

#include <string>

#include "engine/ErrorReporter.h"

class ConsoleErrorReporter : public ErrorReporter {
public:
    void showErrorBox(const std::string& text, bool withSystemText) override;

    bool reported() const { return !line_.empty(); }
    // The first report: later ones only follow from it.
    const std::string& line() const { return line_; }

private:
    std::string line_;
};

// The box's lines joined into one: "Error reading a.ser:\r\nIs a directory" becomes
// "Error reading a.ser: Is a directory".
std::string joinedLines(const std::string& text);
