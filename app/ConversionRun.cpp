#include "app/ConversionRun.h"

#include <windows.h>

#include <system_error>

#include "win32/ErrorBox.h"

namespace {

// Keeps the error box's text instead of showing it: no window is touched off the window's thread.
class KeptErrors : public ErrorReporter {
public:
    explicit KeptErrors(std::vector<std::string>& texts) : texts_(texts) {}
    void showErrorBox(const std::string& text, bool withSystemText) override {
        texts_.push_back(composeErrorMessage(text, withSystemText, GetLastError()));
    }

private:
    std::vector<std::string>& texts_;
};

}  // namespace

ConversionRun::ConversionRun(Work work) {
    try {
        thread_ = std::thread(&ConversionRun::run, this, work);  // a copy: kept for the fallback
    } catch (const std::system_error&) {
        // No thread to be had: the conversion still runs, only without the window answering.
        run(std::move(work));
    }
}

ConversionRun::~ConversionRun() { stop(); }

void ConversionRun::stop() {
    cancel();
    if (thread_.joinable()) thread_.join();
}

void ConversionRun::run(Work work) {
    KeptErrors errors(errorTexts_);
    completed_ = work(
        [this](std::uint64_t done, std::uint64_t total) {
            done_.store(done);
            total_.store(total);
            return !cancelled_.load();
        },
        errors);
    ended_.store(true);
}

std::vector<std::string> ConversionRun::finish() {
    if (thread_.joinable()) thread_.join();
    return errorTexts_;
}
