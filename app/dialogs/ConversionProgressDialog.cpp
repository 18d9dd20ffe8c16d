#include "app/dialogs/ConversionProgressDialog.h"

#include <utility>

#include "res/resource.h"

namespace {
constexpr UINT_PTR kPollTimer = 1;
// Short while hidden, so that a short conversion ends without a noticeable wait.
constexpr UINT kPollMs = 25;
// The bar counts in thousandths: an int range cannot hold a file's bytes.
constexpr int kBarSteps = 1000;
}  // namespace

ConversionProgressDialog::ConversionProgressDialog(HWND owner, std::string caption,
                                                   std::string fileName, ConversionRun& run,
                                                   std::chrono::milliseconds quietTime)
    : Dialog(IDD_CONVERSION_PROGRESS, owner),
      caption_(std::move(caption)),
      fileName_(std::move(fileName)),
      run_(run),
      showAt_(std::chrono::steady_clock::now() + quietTime) {}

bool ConversionProgressDialog::onInitDialog() {
    SetWindowTextA(handle(), caption_.c_str());
    Static fileText;
    fileText.attach(item(IDC_CONVERSION_FILE));
    fileText.setText(fileName_);
    bar_.attach(item(IDC_CONVERSION_BAR));
    bar_.setRange(0, kBarSteps);
    bytesText_.attach(item(IDC_CONVERSION_BYTES));
    showProgress();
    SetTimer(handle(), kPollTimer, kPollMs, nullptr);
    return true;
}

bool ConversionProgressDialog::onMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message != WM_TIMER || wParam != kPollTimer) return false;
    if (run_.ended()) {
        KillTimer(handle(), kPollTimer);
        endDialog(IDOK);
        result = 0;
        return true;
    }
    showProgress();
    if (!shown_ && std::chrono::steady_clock::now() >= showAt_) {
        shown_ = true;
        ShowWindow(handle(), SW_SHOWNORMAL);
        UpdateWindow(handle());
    }
    result = 0;
    return true;
}

void ConversionProgressDialog::showProgress() {
    const std::uint64_t done = run_.done();
    const std::uint64_t total = run_.total();
    const int steps =
        total > 0
            ? static_cast<int>(static_cast<double>(done) * kBarSteps / static_cast<double>(total))
            : 0;
    bar_.setPosition(steps);
    std::string text = std::to_string(done) + " bytes";
    if (total > 0) text = std::to_string(done) + " of " + std::to_string(total) + " bytes";
    bytesText_.setText(text);
}

void ConversionProgressDialog::onCancel() {
    KillTimer(handle(), kPollTimer);
    run_.cancel();
    endDialog(IDCANCEL);
}
