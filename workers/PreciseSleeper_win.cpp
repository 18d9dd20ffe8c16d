#include <windows.h>
// After windows.h, whose types it uses.
#include <timeapi.h>

#include "workers/PerfCounter.h"
#include "workers/PreciseSleeper.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// The last stretch of a wait is spent polling the counter: timer wake-ups can come a
// millisecond late, a chunk must not. The poll never yields: a yield hands the core to any busy
// thread for the rest of its time slice, milliseconds past the instant.
constexpr std::int64_t kSpinMicroseconds = 1000;

// Newer Windows may ignore timeBeginPeriod for a hidden or minimised window unless the process
// opts out of timer-resolution throttling.
void keepTimerResolutionWhenHidden() {
    using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return;
    auto setInformation = reinterpret_cast<SetProcessInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessInformation")));
    if (setInformation == nullptr) return;
    struct {
        ULONG version;
        ULONG controlMask;
        ULONG stateMask;
    } throttling = {1, 0x4 /* IGNORE_TIMER_RESOLUTION */, 0};
    const int kProcessPowerThrottling = 4;
    setInformation(GetCurrentProcess(), kProcessPowerThrottling, &throttling, sizeof throttling);
}

}  // namespace

struct PreciseSleeper::Impl {
    HANDLE timer = nullptr;
    std::int64_t frequency = perfCounterFrequency();
};

PreciseSleeper::PreciseSleeper() : impl_(std::make_unique<Impl>()) {
    timeBeginPeriod(1);
    keepTimerResolutionWhenHidden();
    impl_->timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    if (impl_->timer == nullptr) {
        impl_->timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
}

PreciseSleeper::~PreciseSleeper() {
    if (impl_->timer != nullptr) CloseHandle(impl_->timer);
    timeEndPeriod(1);
}

void PreciseSleeper::sleepUntil(std::int64_t counterDeadline) {
    const std::int64_t frequency = impl_->frequency;
    const std::int64_t spin = kSpinMicroseconds * frequency / 1'000'000;
    std::int64_t remaining = counterDeadline - perfCounterNow();
    if (remaining > spin) {
        // Relative due times are negative, in 100 ns units.
        std::int64_t hundredNs = (remaining - spin) * 10'000'000 / frequency;
        LARGE_INTEGER due;
        due.QuadPart = -hundredNs;
        if (impl_->timer != nullptr &&
            SetWaitableTimer(impl_->timer, &due, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(impl_->timer, INFINITE);
        } else {
            Sleep(static_cast<DWORD>(hundredNs / 10'000));
        }
    }
    while (perfCounterNow() < counterDeadline) {
    }
}
