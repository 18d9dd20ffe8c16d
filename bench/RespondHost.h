#pragma once

// The host's side of the respond benchmark (POSIX): each request sent, its answer awaited and
// checked byte for byte, and how far the answer's first byte came from its expected instant.

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"

using Bytes = std::vector<std::uint8_t>;

// A request, its answer and the answer's delay: recorded, or as the host expects it.
struct Exchange {
    Bytes request;
    Bytes answer;
    std::uint64_t delayMicros;  // from the request's end to the answer's first byte
};

// What each generated device says first: the host knows by it that the stand-in is up.
inline const Bytes kGreeting = {'R', 'E', 'A', 'D', 'Y'};

// Reads count bytes into `into`; the instant the first came. Nothing when they did not all come.
inline std::optional<BenchClock::time_point> readAnswer(int fd, Bytes& into, std::size_t count,
                                                        std::chrono::milliseconds limit) {
    into.clear();
    std::optional<BenchClock::time_point> first;
    const auto end = BenchClock::now() + limit;
    std::uint8_t buffer[512];
    while (into.size() < count && BenchClock::now() < end) {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 20) <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) continue;
        if (!first) first = BenchClock::now();
        into.insert(into.end(), buffer, buffer + n);
    }
    if (into.size() < count) return std::nullopt;
    return first;
}

struct HostRun {
    bool greeted = false;
    // Per exchange, how much later than expected the answer's first byte came, in ms (early is
    // negative); nothing for an answer that did not come whole and right.
    std::vector<std::optional<double>> lateness;
    std::size_t came = 0;  // answers whose every byte came, right or wrong
};

// Waits up to greetingLimit for the greeting (none when the limit is 0), then plays the
// exchanges.
inline HostRun playHost(int fd, const std::vector<Exchange>& exchanges,
                        std::chrono::seconds greetingLimit) {
    HostRun run;
    Bytes got;
    run.greeted = greetingLimit.count() == 0 ||
                  (readAnswer(fd, got, kGreeting.size(), greetingLimit) && got == kGreeting);
    if (!run.greeted) return run;
    for (const Exchange& exchange : exchanges) {
        // A pause, as a host's poll loop has: the stand-in must tell requests apart.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (::write(fd, exchange.request.data(), exchange.request.size()) !=
            static_cast<ssize_t>(exchange.request.size())) {
            break;
        }
        const auto sent = BenchClock::now();
        const auto first = readAnswer(fd, got, exchange.answer.size(), std::chrono::seconds(2));
        run.came += first ? 1 : 0;
        if (!first || got != exchange.answer) {
            run.lateness.push_back(std::nullopt);
            continue;
        }
        const double delayMs = std::chrono::duration<double, std::milli>(*first - sent).count();
        run.lateness.push_back(delayMs - static_cast<double>(exchange.delayMicros) / 1000.0);
    }
    return run;
}

// The answers that came right, as numbers.
inline std::vector<double> answered(const std::vector<std::optional<double>>& lateness) {
    std::vector<double> values;
    for (const std::optional<double>& each : lateness)
        if (each) values.push_back(*each);
    return values;
}

struct Spread {
    double p50 = 0, p99 = 0, max = 0;
};

inline Spread spreadOf(const std::vector<double>& values) {
    if (values.empty()) return {};
    return {percentile(values, 0.5), percentile(values, 0.99),
            *std::max_element(values.begin(), values.end())};
}
