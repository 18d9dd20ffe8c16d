#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "conversation/AnswerSource.h"
#include "conversation/ConversationReader.h"
#include "conversation/PendingRequest.h"
#include "conversation/RequestBytes.h"
#include "conversation/RequestIndex.h"
#include "engine/Failure.h"

// Bytes for the host, due at an instant of the run (microseconds since its start).
struct StandInBurst {
    std::uint64_t dueMicros = 0;
    std::vector<std::uint8_t> bytes;
    bool answer = false;  // an answer's, not one of the device's early bursts
    // Set when the device's line did something here instead (bytes then empty): its control
    // lines, a break, an error, as the recording has it, for the port to show where it can.
    std::optional<LineEvent> lineEvent = std::nullopt;
};

// A request that did not come as the file has it: out of its order, or no recorded request.
struct StandInMiss {
    bool unknown = false;
    std::optional<std::size_t>
        expected;  // the request due in file order (from 0); none after the last
    std::vector<std::uint8_t> expectedBytes;  // its first bytes
    std::uint64_t expectedLength = 0;         // all of them
    std::vector<std::uint8_t> came;           // the first bytes of what came
    std::uint64_t cameLength = 0;             // all of it
};

// Where the answers come from, in the order they are asked.
enum class AnswerOrigin : std::uint8_t { Recording, Rules, Modbus };

// A request answered, or refused by a source, as the log tells it.
struct StandInAnswerNote {
    AnswerOrigin origin = AnswerOrigin::Recording;
    bool refused = false;                 // a source's request that a device would not answer
    std::string originWords;              // a source's: "rule at line 4"; why it was refused
    std::optional<std::size_t> recorded;  // the recording's: the request's number, from 0
    std::vector<std::uint8_t> came;       // the first bytes of the request
    std::uint64_t cameLength = 0;         // all of them
};

struct StandInCounts {
    std::uint64_t requests = 0;  // answered, refused and unknown
    std::uint64_t answered = 0;  // from every source
    std::uint64_t inOrder = 0;   // from the recording, in its order
    std::uint64_t outOfOrder = 0;
    std::uint64_t byRules = 0;
    std::uint64_t byModbus = 0;
    std::uint64_t refused = 0;  // a source's request that a device would not answer: silence
    std::uint64_t unknown = 0;
};

// Stands in for the device of a conversation file: fed the host's bytes with the instants they
// arrived, it tells which bursts to send when. A request is answered from the next request in
// the file's order when the bytes are that one's; else from the first occurrence of the same
// bytes not yet used; after the last occurrence, from the last again. Each answer burst is due
// at its recorded delay after the arrival of the request's last byte. Bytes that may still grow
// into a longer request, and bytes that are no request, wait for a silence of the gap first.
// Bytes that are no recorded request are offered to the answer sources in the order they were
// added (rules, then a Modbus device): early when a source finds them whole by their shape, else
// after the silence; the first source that answers does. An index built from no file (a
// default-constructed one) leaves the sources alone to answer.
class DeviceStandIn {
public:
    DeviceStandIn(const RequestIndex& index, std::uint64_t gapMicros);

    // Asked in the order added, after the recording; the source outlives the stand-in.
    void addSource(AnswerSource& source, AnswerOrigin origin);
    // Keep a note of each answer and refusal for takeAnswerNotes (for a log).
    void keepAnswerNotes() { keepNotes_ = true; }

    // Opens the file for reading and lines up the device's early bursts from instant 0.
    Failure start();

    void received(std::span<const std::uint8_t> bytes, std::uint64_t nowMicros);
    // Settles bytes whose silence has reached the gap by nowMicros.
    void advance(std::uint64_t nowMicros);
    // When the bytes waiting will have been silent for the gap; none while nothing waits.
    std::optional<std::uint64_t> silenceEndMicros() const;

    // The burst due first, or none; burstSent takes it and lines up what follows it.
    const StandInBurst* nextBurst() const;
    void burstSent();

    const StandInCounts& counts() const { return counts_; }
    // Where in the file the request answered last ends, from the file's first burst; none
    // before the first answer.
    std::optional<std::uint64_t> lastAnsweredMicros() const { return lastAnsweredMicros_; }
    // Misses since the last call, oldest first.
    std::vector<StandInMiss> takeMisses();
    // Answers and refusals since the last call, oldest first; none unless keepAnswerNotes.
    std::vector<StandInAnswerNote> takeAnswerNotes();
    // How many requests each source's origin answered ("rule at line 4": 12).
    const std::map<std::string, std::uint64_t>& answersByOrigin() const { return byOrigin_; }
    // Reading the file again failed (it changed or went away); nothing more is sent.
    const Failure& failure() const { return failure_; }
    // What is held in memory for the host's bytes and the recorded requests read again: a few
    // fixed buffers, however long the requests.
    std::size_t heldRequestBytes() const;

private:
    struct Match {
        std::size_t number = 0;
        bool inOrder = false;
        bool mayGrow = false;
    };
    // One stream of the device's bursts read from the file in order: an answer, or the early ones.
    struct Stream {
        ConversationReader reader;
        std::optional<StandInBurst> next;
        std::uint64_t fromMicros = 0;  // the file's instant that is due at `atMicros`
        std::uint64_t atMicros = 0;
        bool answer = false;
    };

    std::optional<Match> find();
    bool pendingEquals(std::size_t number);
    void answer(const Match& match, std::uint64_t arrivalMicros);
    void settleUnknown();
    // Offers the waiting bytes to the sources; true when one answered or (after the silence)
    // refused them.
    bool offerToSources(bool silenceFollowed, std::uint64_t arrivalMicros);
    void note(AnswerOrigin origin, bool refused, std::string words,
              std::optional<std::size_t> recorded);
    StandInMiss missFor(bool unknown);
    bool readExpected(StandInMiss& miss);
    void lineUpNext(Stream& stream);
    void fail(const ConversationReader& reader);

    const RequestIndex& index_;
    std::uint64_t gapMicros_;
    std::size_t keptForMiss_;  // the first bytes a miss tells of what came
    PendingRequest pending_;
    std::uint64_t lastArrival_ = 0;
    std::size_t cursor_ = 0;  // the next request in file order
    std::vector<bool> used_;
    // Per key, the first of its occurrences that may be unused: used ones are not looked at again.
    std::unordered_map<std::uint64_t, std::size_t> firstUnused_;
    RequestBytes probe_;  // a recorded request read again: where it ends, its first bytes
    Stream answer_, early_;
    struct Source {
        AnswerSource* source = nullptr;
        AnswerOrigin origin = AnswerOrigin::Rules;
    };
    std::vector<Source> sources_;
    std::deque<StandInBurst> made_;  // a source's answer, not yet sent
    bool keepNotes_ = false;
    std::vector<StandInAnswerNote> notes_;
    std::map<std::string, std::uint64_t> byOrigin_;
    StandInCounts counts_;
    std::optional<std::uint64_t> lastAnsweredMicros_;
    std::vector<StandInMiss> misses_;
    Failure failure_;
};
