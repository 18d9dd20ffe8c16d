#include "bench/UmockdevScript.h"

#include <cmath>
#include <span>

#include "bench/RespondConversations.h"

namespace {

// Bytes below 32 become '^' and the byte plus 64, '^' itself "^`"; the rest stay as they are,
// a space too: the data runs to the end of the line.
std::string escaped(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (byte == '^') {
            text += "^`";
        } else if (byte < 32) {
            text += '^';
            text += static_cast<char>(byte + 64);
        } else {
            text += static_cast<char>(byte);
        }
    }
    return text;
}

std::string line(char operation, long milliseconds, std::span<const std::uint8_t> bytes) {
    return std::string(1, operation) + " " + std::to_string(milliseconds) + " " + escaped(bytes) +
           "\n";
}

}  // namespace

std::string umockdevTtyDescription() {
    return "P: /devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0\n"
           "N: ttyUSB0\n"
           "E: DEVNAME=/dev/ttyUSB0\n"
           "E: SUBSYSTEM=tty\n"
           "E: MAJOR=188\n"
           "E: MINOR=0\n"
           "A: dev=188:0\n";
}

std::string umockdevScript(const std::vector<Exchange>& recorded) {
    std::string script;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        script += line('w', 0, recorded[i].request);
        long delay = std::lround(static_cast<double>(recorded[i].delayMicros) / 1000.0);
        for (const std::span<const std::uint8_t> burst : answerBursts(recorded[i], i)) {
            script += line('r', delay, burst);
            delay = std::lround(static_cast<double>(kBurstGapMicros) / 1000.0);
        }
    }
    return script;
}
