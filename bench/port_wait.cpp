// The wait on several ports: how long a byte takes from the device's write to the end of the
// wait that tells of it (p50, p99, max over 500 bytes), and the processor time the wait uses
// while nothing arrives. Both ends of one serial pair are watched together.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/PortWaitIdle.h"
#include "engine/SerialPort.h"
#include "engine/WaitableSerialPort.h"
#include "tests/support/SerialPair.h"

int main() {
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::printf("no serial pair: %s\n", why.c_str());
        return 1;
    }
    WaitableSerialPort host, device;
    if (!host.open(SerialPort::devicePath(pair.portName()), 115200, 8, Parity::None,
                   StopBits::One) ||
        !device.open(SerialPort::devicePath(pair.devicePortName()), 115200, 8, Parity::None,
                     StopBits::One)) {
        std::printf("cannot open the pair: %s %s\n", host.errorText(), device.errorText());
        return 1;
    }
    WaitablePort* ports[] = {&host, &device};

    std::vector<double> journeyMs;
    for (int i = 0; i < 500; ++i) {
        const std::uint8_t byte = static_cast<std::uint8_t>(i);
        std::uint32_t moved = 0;
        const auto sent = std::chrono::steady_clock::now();
        if (!device.write(&byte, 1, &moved)) break;
        std::vector<PortInput> states;
        do {
            states = waitForInput(ports, std::chrono::seconds(2));
        } while (states[0] == PortInput::None && states[1] == PortInput::None &&
                 std::chrono::steady_clock::now() - sent < std::chrono::seconds(2));
        journeyMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent)
                .count());
        std::uint8_t buffer[16];
        if (states[0] != PortInput::Ready || !host.readAvailable(buffer, sizeof buffer, &moved) ||
            moved != 1 || buffer[0] != byte) {
            std::printf("byte %d did not arrive as sent\n", i);
            return 1;
        }
    }
    std::sort(journeyMs.begin(), journeyMs.end());
    auto at = [&](double share) {
        return journeyMs[std::size_t(share * double(journeyMs.size() - 1))];
    };
    std::printf("write to end of wait over %zu bytes: p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                journeyMs.size(), at(0.5), at(0.99), journeyMs.back());

    printIdleWaitCpu("wait on both ends of an idle pair", ports, std::chrono::seconds(5));
    return 0;
}
