#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/SerialPair.h"

SerialPair::~SerialPair() = default;

// scripts/with-serial-pair.sh starts socat on the Linux side and maps its two ends into the
// Wine prefix; here the pair is only their names.
bool SerialPair::start(std::string* why) {
    const char* port = std::getenv("VELTRANE_TEST_PORT");
    const char* devicePort = std::getenv("VELTRANE_TEST_DEVICE_PORT");
    if (!port || !*port || !devicePort || !*devicePort) {
        *why =
            "VELTRANE_TEST_PORT and VELTRANE_TEST_DEVICE_PORT are not set: run the test through "
            "scripts/with-serial-pair.sh";
        return false;
    }
    portName_ = port;
    devicePortName_ = devicePort;
    return true;
}

// The pair belongs to the wrapper script, which ends it when asked through a file and makes a
// new one for the tests after this; the request file goes once the new pair is there.
bool SerialPair::stop() {
    const char* request = std::getenv("VELTRANE_TEST_PAIR_RESTART");
    if (!request || !*request) return false;
    HANDLE file = CreateFileA(request, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (GetFileAttributesA(request) != INVALID_FILE_ATTRIBUTES) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
