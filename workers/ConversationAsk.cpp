#include "workers/ConversationAsk.h"

#include <algorithm>

#include "workers/PerfCounter.h"
#include "workers/PreciseSleeper.h"
#include "workers/StoppableWrite.h"

namespace {

// A silence this long after some bytes ends an answer that came shorter than recorded.
constexpr std::int64_t kLeastSilenceMicros = 20'000;
constexpr std::int64_t kExtraTimeoutMicros = 1'000'000;
// Stop requests are looked at this often.
constexpr std::int64_t kLongestWaitMicros = 50'000;
// A file's pause longer than this (a hostile one's) is cut to it, keeping the counter's
// arithmetic within range.
constexpr std::uint64_t kLongestPauseMicros = 10'000'000'000'000ull;
// One exchange is held in memory: a file whose exchange is longer is refused.
constexpr std::size_t kMostExchangeBursts = 1'000'000;
constexpr std::uint64_t kMostAnswerBytes = 64ull << 20;
// Closer than this to a due instant the sleeper takes over from the port's wait.
constexpr std::int64_t kSleeperMicros = 2'000;

struct BurstPlace {
    std::uint64_t offset = 0;
    std::uint64_t micros = 0;
};

// One request of the file with its answer's bursts, as far as the file has been read.
struct RecordedExchange {
    std::vector<LineEvent> hostLineEvents;  // told before the request
    std::vector<BurstPlace> request;
    std::vector<BurstPlace> answer;
    std::optional<std::uint8_t> deviceLines;  // as recorded by the answer's end
};

// An answer being collected, compared once the next request is due.
struct LiveAnswer {
    std::uint64_t request = 0;
    std::uint64_t requestMicros = 0;
    std::vector<std::uint8_t> expected;
    std::vector<std::uint8_t> got;
    std::int64_t requestEnd = 0;   // counter: the request's last byte written
    std::int64_t lastArrival = 0;  // counter: the last bytes read
    bool timed = false;            // its answer time is in the tally
    bool late = false;             // the timeout passed before its first byte
    std::optional<std::uint8_t> expectedLines;
};

class Asker {
public:
    Asker(ConversationReader& reader, WaitablePort& port, const AskSettings& settings,
          AskTally& tally, const std::function<void(const AnswerDifference&)>& differs,
          const std::function<bool()>& stopAsked)
        : reader_(reader),
          port_(port),
          settings_(settings),
          tally_(tally),
          differs_(differs),
          stopAsked_(stopAsked),
          frequency_(perfCounterFrequency()) {}

    Failure run();

private:
    enum class Wait { Due, Stopped, Failed };

    bool ask(const RecordedExchange& exchange);
    bool readBytes(const std::vector<BurstPlace>& bursts, std::vector<std::uint8_t>& bytes);
    Wait collectUntil(std::int64_t due);
    Wait collectAnswer(std::int64_t deadline, std::int64_t silence);
    Wait takeInput(std::int64_t wakeAt);
    void compare();

    std::int64_t ticks(std::uint64_t micros) const {
        micros = std::min(micros, kLongestPauseMicros);
        return static_cast<std::int64_t>(micros / 1'000'000) * frequency_ +
               static_cast<std::int64_t>(micros % 1'000'000) * frequency_ / 1'000'000;
    }
    std::uint64_t microsOf(std::int64_t ticks) const {
        const std::uint64_t t = ticks > 0 ? static_cast<std::uint64_t>(ticks) : 0;
        const std::uint64_t f = static_cast<std::uint64_t>(frequency_);
        return t / f * 1'000'000 + t % f * 1'000'000 / f;
    }

    ConversationReader& reader_;
    WaitablePort& port_;
    const AskSettings& settings_;
    AskTally& tally_;
    const std::function<void(const AnswerDifference&)>& differs_;
    const std::function<bool()>& stopAsked_;
    std::int64_t frequency_;
    PreciseSleeper sleeper_;
    Failure failure_;

    std::optional<std::uint64_t> firstMicros_;
    std::optional<std::uint64_t> previousAnswerEndMicros_;  // recorded
    std::uint64_t requestsSeen_ = 0;
    std::optional<LiveAnswer> live_;
    // The device's lines as the recording has them so far, and as the port last showed them.
    std::optional<std::uint8_t> recordedDeviceLines_;
    std::optional<std::uint8_t> seenDeviceLines_;
};

Failure Asker::run() {
    RecordedExchange exchange;
    std::uint64_t answerBytes = 0;
    ConversationBurst burst;
    std::vector<LineEvent> hostLineEvents;
    reader_.keepLineEvents(true);
    while (reader_.next(burst)) {
        if (!firstMicros_) firstMicros_ = burst.timeMicros;
        if (burst.lineEvent) {
            if (burst.direction == Direction::Host) {
                if (hostLineEvents.size() < kMostExchangeBursts)
                    hostLineEvents.push_back(*burst.lineEvent);
            } else if (burst.lineEvent->kind == LineEventKind::ControlLines) {
                recordedDeviceLines_ = burst.lineEvent->controlLines & control_line::kDeviceLines;
            }
            continue;
        }
        const BurstPlace place{burst.offset, burst.timeMicros};
        if (burst.direction == Direction::Device) {
            // Bytes before the first request answer nothing: there is nothing to ask for them.
            if (exchange.request.empty()) continue;
            exchange.answer.push_back(place);
            answerBytes += burst.bytes.size();
        } else {
            if (!exchange.answer.empty()) {
                exchange.deviceLines = recordedDeviceLines_;
                if (!ask(exchange)) return failure_;
                exchange = {};
                answerBytes = 0;
            }
            if (exchange.request.empty()) exchange.hostLineEvents = std::move(hostLineEvents);
            hostLineEvents.clear();
            exchange.request.push_back(place);
        }
        if (exchange.request.size() > kMostExchangeBursts ||
            exchange.answer.size() > kMostExchangeBursts || answerBytes > kMostAnswerBytes) {
            return {Failure::Kind::ReadInput,
                    settings_.filePath,
                    {},
                    "request " + std::to_string(requestsSeen_ + 1) +
                        " or its answer is longer than ask can hold (a million bursts, 64 MiB)",
                    {}};
        }
    }
    if (reader_.failure().happened()) return reader_.failure();
    exchange.deviceLines = recordedDeviceLines_;
    if (!exchange.request.empty() && !ask(exchange)) return failure_;
    // Bytes that follow the last answer still belong to it.
    if (live_) {
        const std::int64_t silence = ticks(static_cast<std::uint64_t>(kLeastSilenceMicros));
        if (collectUntil(std::max(perfCounterNow(), live_->lastArrival) + silence) == Wait::Due)
            compare();
    }
    return failure_;
}

// False when asking has to end: a failure (in failure_) or a stop.
bool Asker::ask(const RecordedExchange& exchange) {
    const std::uint64_t requestStart = exchange.request.front().micros;
    std::int64_t due = perfCounterNow();
    if (live_ && previousAnswerEndMicros_) {
        const std::uint64_t pause =
            requestStart > *previousAnswerEndMicros_ ? requestStart - *previousAnswerEndMicros_ : 0;
        due = live_->lastArrival + ticks(pause);
    }
    if (live_) {
        const Wait wait = collectUntil(due);
        if (wait == Wait::Failed) return false;
        compare();  // the pause is over: the previous answer is whole even when stopped now
        if (wait == Wait::Stopped) return false;
    }

    // What the host did to the line before this request, as it did.
    for (const LineEvent& event : exchange.hostLineEvents) port_.tellLineEvent(event);

    LiveAnswer answer;
    answer.request = ++requestsSeen_;
    answer.expectedLines = exchange.deviceLines;
    answer.requestMicros = requestStart - std::min(requestStart, *firstMicros_);
    if (!readBytes(exchange.answer, answer.expected)) return false;
    live_ = std::move(answer);

    // Each burst of the request on its recorded spacing; what the device says meanwhile is
    // already its answer.
    const std::int64_t start = std::max(due, perfCounterNow());
    std::vector<std::uint8_t> bytes;
    for (const BurstPlace& place : exchange.request) {
        // Times may go back a little in a file: such a burst goes at once.
        const Wait wait = collectUntil(
            start + ticks(place.micros > requestStart ? place.micros - requestStart : 0));
        if (wait != Wait::Due) return false;
        bytes.clear();
        if (!readBytes({place}, bytes)) return false;
        // A device that reads nothing must not keep a stop waiting: the request is then cut.
        const WriteEnd write = writeUnlessStopped(port_, bytes, stopAsked_);
        if (write == WriteEnd::Failed) {
            failure_ =
                portFailure(Failure::Kind::PortLost, settings_.portName, port_.writeErrorText());
            return false;
        }
        if (write == WriteEnd::Stopped) return false;
    }
    live_->requestEnd = perfCounterNow();
    if (!live_->got.empty()) {
        tally_.answerMicros.add(0);
        live_->timed = true;
    }

    // The recorded answer's span and its longest silence between bursts.
    const std::uint64_t requestEnd = exchange.request.back().micros;
    std::uint64_t span = 0, longestGap = 0;
    for (std::size_t i = 0; i < exchange.answer.size(); ++i) {
        const std::uint64_t at = exchange.answer[i].micros;
        span = std::max(span, at > requestEnd ? at - requestEnd : 0);
        if (i > 0 && at > exchange.answer[i - 1].micros)
            longestGap = std::max(longestGap, at - exchange.answer[i - 1].micros);
    }
    previousAnswerEndMicros_ = exchange.answer.empty() ? requestEnd : exchange.answer.back().micros;
    const std::uint64_t timeoutMicros =
        settings_.timeout ? static_cast<std::uint64_t>(settings_.timeout->count()) * 1000
                          : span + kExtraTimeoutMicros;
    const std::uint64_t silence = std::max<std::uint64_t>(kLeastSilenceMicros, 2 * longestGap);
    const Wait wait = collectAnswer(live_->requestEnd + ticks(timeoutMicros), ticks(silence));
    if (live_->got.empty()) {
        live_->lastArrival = perfCounterNow();
        live_->late = wait == Wait::Due;
    }
    return wait == Wait::Due;
}

bool Asker::readBytes(const std::vector<BurstPlace>& bursts, std::vector<std::uint8_t>& bytes) {
    ConversationBurst burst;
    for (const BurstPlace& place : bursts) {
        if (!reader_.readAt(place.offset, burst)) {
            failure_ = reader_.failure();
            return false;
        }
        bytes.insert(bytes.end(), burst.bytes.begin(), burst.bytes.end());
    }
    return true;
}

// Reads what comes until the counter reaches due.
Asker::Wait Asker::collectUntil(std::int64_t due) {
    for (;;) {
        if (stopAsked_()) return Wait::Stopped;
        const std::int64_t now = perfCounterNow();
        if (now >= due) return Wait::Due;
        if (due - now <= ticks(kSleeperMicros)) {
            sleeper_.sleepUntil(due);
            continue;
        }
        if (takeInput(due - ticks(kSleeperMicros)) == Wait::Failed) return Wait::Failed;
    }
}

// Reads until the answer is as long as recorded, falls silent for `silence` after some bytes,
// or the deadline passes.
Asker::Wait Asker::collectAnswer(std::int64_t deadline, std::int64_t silence) {
    for (;;) {
        if (stopAsked_()) return Wait::Stopped;
        LiveAnswer& answer = *live_;
        if (!answer.expected.empty() && answer.got.size() >= answer.expected.size())
            return Wait::Due;
        const std::int64_t now = perfCounterNow();
        std::int64_t end = deadline;
        if (!answer.got.empty()) end = std::min(end, answer.lastArrival + silence);
        if (now >= end) return Wait::Due;
        if (takeInput(end) == Wait::Failed) return Wait::Failed;
    }
}

// Waits for bytes until wakeAt at most (and no longer than a stop may wait), and adds them to
// the answer under way.
Asker::Wait Asker::takeInput(std::int64_t wakeAt) {
    const std::int64_t left = wakeAt - perfCounterNow();
    const std::int64_t micros =
        std::min<std::int64_t>(kLongestWaitMicros, static_cast<std::int64_t>(microsOf(left)));
    WaitablePort* const ports[] = {&port_};
    const auto states =
        waitForInput(ports, std::chrono::milliseconds(std::max<std::int64_t>(1, micros / 1000)));
    if (states[0] == PortInput::None) return Wait::Due;
    std::uint8_t buffer[4096];
    std::uint32_t count = 0;
    if (states[0] == PortInput::Failed || !port_.readAvailable(buffer, sizeof buffer, &count)) {
        failure_ = portFailure(Failure::Kind::PortLost, settings_.portName, port_.errorText());
        return Wait::Failed;
    }
    for (const LineEvent& event : port_.takeLineEvents()) {
        if (event.kind == LineEventKind::ControlLines)
            seenDeviceLines_ = event.controlLines & control_line::kDeviceLines;
    }
    if (count == 0 || !live_) return Wait::Due;  // before the first request: not asked for
    const std::int64_t now = perfCounterNow();
    if (!live_->timed && live_->requestEnd != 0) {
        tally_.answerMicros.add(microsOf(now - live_->requestEnd));
        live_->timed = true;
    }
    live_->got.insert(live_->got.end(), buffer, buffer + count);
    live_->lastArrival = now;
    return Wait::Due;
}

void Asker::compare() {
    LiveAnswer& answer = *live_;
    ++tally_.requests;
    // A late answer is none in time: answers that match only after the rig gave up must not pass.
    answer.late = answer.late && !answer.got.empty() && !answer.expected.empty();
    if (answer.got == answer.expected && !answer.late) {
        ++tally_.answersMatched;
    } else {
        if (answer.late)
            ++tally_.answersLate;
        else if (answer.got.empty())
            ++tally_.answersMissing;
        else
            ++tally_.answersDiffering;
        const auto expectedAt = std::mismatch(answer.expected.begin(), answer.expected.end(),
                                              answer.got.begin(), answer.got.end())
                                    .first;
        differs_({answer.request, answer.requestMicros,
                  static_cast<std::size_t>(expectedAt - answer.expected.begin()),
                  std::move(answer.expected), std::move(answer.got), answer.late});
    }
    // Lines are compared only where both the recording and the port show them.
    if (answer.expectedLines && seenDeviceLines_) {
        ++tally_.lineStatesCompared;
        if (*answer.expectedLines != *seenDeviceLines_) {
            ++tally_.lineStatesDiffering;
            if (settings_.linesDiffer)
                settings_.linesDiffer({answer.request, answer.requestMicros, *answer.expectedLines,
                                       *seenDeviceLines_});
        }
    }
    live_.reset();
}

}  // namespace

Failure askDevice(ConversationReader& reader, WaitablePort& port, const AskSettings& settings,
                  AskTally& tally, const std::function<void(const AnswerDifference&)>& differs,
                  const std::function<bool()>& stopAsked) {
    Asker asker(reader, port, settings, tally, differs, stopAsked);
    return asker.run();
}
