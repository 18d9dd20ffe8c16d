#pragma once

#include <string>

// The program's one error box. With withSystemText the text of the calling thread's last system
// error is appended on a new line; callers therefore report straight after the failed call.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void showErrorBox(const std::string& text, bool withSystemText) = 0;
};
