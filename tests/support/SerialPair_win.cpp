#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "tests/support/SerialPair.h"

namespace {

// The wrapper maps two pairs; a pair in use belongs to one SerialPair at a time.
constexpr int kMappedPairs = 2;
std::mutex slotsMutex;
bool slotInUse[kMappedPairs] = {};

// The environment's names for a mapped pair: the first plain, the second with a 2.
const char* pairVariable(const char* name, int slot) {
    static thread_local std::string text;
    text = std::string(name) + (slot == 0 ? "" : "2");
    return std::getenv(text.c_str());
}

}  // namespace

SerialPair::~SerialPair() {
    if (slot_ < 0) return;
    if (away_) askWrapper("");
    std::lock_guard<std::mutex> lock(slotsMutex);
    slotInUse[slot_] = false;
}

// scripts/with-serial-pair.sh starts socat on the Linux side and maps the ends of two pairs into
// the Wine prefix; here a pair is the names of the first one no other SerialPair holds.
bool SerialPair::start(std::string* why) {
    std::lock_guard<std::mutex> lock(slotsMutex);
    for (int slot = 0; slot < kMappedPairs; ++slot) {
        if (slotInUse[slot]) continue;
        const char* port = pairVariable("VELTRANE_TEST_PORT", slot);
        const char* devicePort = pairVariable("VELTRANE_TEST_DEVICE_PORT", slot);
        if (!port || !*port || !devicePort || !*devicePort) break;
        portName_ = port;
        devicePortName_ = devicePort;
        slotInUse[slot] = true;
        slot_ = slot;
        return true;
    }
    *why = slot_ >= 0 || slotInUse[0]
               ? "every serial pair the wrapper mapped is in use"
               : "VELTRANE_TEST_PORT and VELTRANE_TEST_DEVICE_PORT are not set: run the test "
                 "through scripts/with-serial-pair.sh";
    return false;
}

// The pair belongs to the wrapper script, which ends it when asked through a file and makes a
// new one for the tests after this; the request file goes once the new pair is there.
bool SerialPair::stop() { return askWrapper(""); }

// The same request with ".away" ends the pair and takes its names out of the prefix until the
// plain request brings a new one.
bool SerialPair::takeAway() {
    away_ = askWrapper(".away");
    return away_;
}

bool SerialPair::bringBack(std::string* why) {
    if (askWrapper("")) {
        away_ = false;
        return true;
    }
    *why = "the test wrapper made no new pair";
    return false;
}

bool SerialPair::askWrapper(const char* suffix) {
    if (slot_ < 0) return false;
    const char* restart = pairVariable("VELTRANE_TEST_PAIR_RESTART", slot_);
    if (!restart || !*restart) return false;
    const std::string request = std::string(restart) + suffix;
    HANDLE file = CreateFileA(request.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (GetFileAttributesA(request.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
