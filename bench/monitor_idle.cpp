// The monitor's cost while nothing passes: the host side a pseudo-terminal that the program under
// test has opened, used and closed again, the device on a serial pair, the file written as the
// command writes it. Prints the share of one core the whole relay used over the quiet span and
// the longest gap between its idle calls (the file must reach the system every 100 ms), and how
// long it takes to end once asked.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "bench/BenchSupport.h"
#include "bench/ProcessCpu.h"
#include "conversation/ConversationWriter.h"
#include "engine/WaitableSerialPort.h"
#include "tests/support/SerialPair.h"
#include "workers/MonitorRelay.h"
#include "workers/PortOpening.h"

int main() {
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::printf("no serial pair: %s\n", why.c_str());
        return 1;
    }
    DeviceSettings settings;
    settings.port = "pty";
    OpenedPort host;
    WaitableSerialPort device;
    if (openHostSidePort(settings, &host).happened() ||
        !device.open(pair.portName(), 115200, 8, Parity::None, StopBits::One)) {
        std::printf("cannot open the ports\n");
        return 1;
    }
    const auto folder = benchFolder("monitor-idle");
    ConversationWriter writer;
    if (writer.open((folder / "idle.pcapng").string(), {"bench", {{"pty <-> pair", "115200 8N1"}}})
            .happened()) {
        std::printf("cannot write the file\n");
        return 1;
    }
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> longestIdleGap{0};
    std::uint64_t lastIdle = 0;
    MonitorJob job{{{host.port.get(), &device, "pty", pair.portName()}},
                   &stop,
                   [&](const ConversationBurst& burst) { return writer.write(burst); },
                   [&](std::uint64_t now) {
                       if (lastIdle != 0 && now - lastIdle > longestIdleGap)
                           longestIdleGap = now - lastIdle;
                       lastIdle = now;
                       return writer.flushIfDue(now);
                   }};
    MonitorCounts counts;
    std::thread relay([&] { runMonitor(job, counts); });

    // The program's visit: it opens its port, says something and goes.
    const int program = ::open(host.programPath.c_str(), O_RDWR | O_NOCTTY);
    if (program < 0 || ::write(program, "hello", 5) != 5) return 1;
    ::close(program);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const auto span = std::chrono::seconds(5);
    const auto cpuBefore = processCpuTime();
    const auto start = BenchClock::now();
    std::this_thread::sleep_for(span);
    const auto cpu = processCpuTime() - cpuBefore;
    const auto wall = BenchClock::now() - start;
    const auto asked = BenchClock::now();
    stop = true;
    relay.join();
    const double stopMs =
        std::chrono::duration<double, std::milli>(BenchClock::now() - asked).count();
    writer.close();
    std::printf(
        "monitor, program away, nothing passing: %.3f %% of a core over %.1f s; "
        "longest gap between idle calls %.1f ms; %llu host bytes passed before; "
        "ended %.1f ms after the stop flag\n",
        100.0 * double(cpu.count()) /
            double(std::chrono::duration_cast<std::chrono::microseconds>(wall).count()),
        std::chrono::duration<double>(wall).count(), double(longestIdleGap.load()) / 1000.0,
        static_cast<unsigned long long>(counts.hostBytes.load()), stopMs);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
