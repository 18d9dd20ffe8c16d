#include <cstdlib>

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

// The far end belongs to the wrapper script, which outlives this process.
bool SerialPair::stop() { return false; }
