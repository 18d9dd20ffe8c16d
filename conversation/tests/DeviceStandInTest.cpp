#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "conversation/DeviceStandIn.h"
#include "conversation/tests/SaidBursts.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Bytes that do not repeat within a request, different for each seed.
std::string noise(std::size_t length, std::uint32_t seed) {
    std::string text(length, '\0');
    for (char& c : text) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return text;
}

// A conversation file of these bursts, and the stand-in answering from it.
class DeviceStandInTest : public ::testing::Test {
protected:
    void answerFrom(const std::vector<Said>& said, std::uint64_t gapMicros = 2000) {
        const std::string path = dir_.file("talk.pcapng");
        ASSERT_TRUE(writeSaid(path, said));
        ASSERT_FALSE(index_.build(path).happened());
        standIn_ = std::make_unique<DeviceStandIn>(index_, gapMicros);
        ASSERT_FALSE(standIn_->start().happened());
    }
    void hostSends(const std::string& text, std::uint64_t at) {
        standIn_->received(bytesOf(text), at);
    }
    // What the stand-in sends from now on, as "due:bytes" words, until nothing is due.
    std::vector<std::string> sent() {
        std::vector<std::string> words;
        while (const StandInBurst* burst = standIn_->nextBurst()) {
            words.push_back(std::to_string(burst->dueMicros) + ":" +
                            std::string(burst->bytes.begin(), burst->bytes.end()));
            standIn_->burstSent();
        }
        return words;
    }

    TempDir dir_;
    RequestIndex index_;
    std::unique_ptr<DeviceStandIn> standIn_;
};

using Words = std::vector<std::string>;

}  // namespace

TEST_F(DeviceStandInTest, AnswersInFileOrderThenRepeatsInTheirOrderThenTheLastAgain) {
    answerFrom({{0, Device, "hi"},
                {1000, Device, "!"},
                {10'000, Host, "A"},
                {12'000, Device, "a1"},
                {13'500, Device, "a1+"},
                {20'000, Host, "B"},
                {20'300, Device, "b"},
                {30'000, Host, "A"},
                {35'000, Device, "a2"}});
    // The device's early bursts on their own schedule from the start.
    EXPECT_EQ(sent(), (Words{"0:hi", "1000:!"}));
    EXPECT_EQ(standIn_->lastAnsweredMicros(), std::nullopt);
    hostSends("A", 50'000);
    EXPECT_EQ(sent(), (Words{"52000:a1", "53500:a1+"}));
    hostSends("B", 60'000);
    EXPECT_EQ(sent(), (Words{"60300:b"}));
    EXPECT_EQ(standIn_->lastAnsweredMicros(), 20'000u);  // where the answered request is recorded
    hostSends("A", 70'000);
    EXPECT_EQ(sent(), (Words{"75000:a2"}));
    // Every A used: the last answer again.
    hostSends("A", 80'000);
    EXPECT_EQ(sent(), (Words{"85000:a2"}));
    EXPECT_EQ(standIn_->counts().inOrder, 3u);
    EXPECT_EQ(standIn_->counts().outOfOrder, 1u);
    auto misses = standIn_->takeMisses();
    ASSERT_EQ(misses.size(), 1u);
    EXPECT_FALSE(misses[0].expected.has_value());  // past the file's last request

    // Anew, B first: out of order, and the file's order goes on after it (the second A); the
    // first A is then the unused occurrence, and the last answers every A after that.
    standIn_ = std::make_unique<DeviceStandIn>(index_, 2000);
    ASSERT_FALSE(standIn_->start().happened());
    sent();
    Words answers;
    std::vector<std::uint64_t> places;
    for (const char* request : {"B", "A", "A", "A"}) {
        hostSends(request, 100'000);
        for (const std::string& word : sent()) answers.push_back(word);
        places.push_back(standIn_->lastAnsweredMicros().value_or(0));
    }
    EXPECT_EQ(answers, (Words{"100300:b", "105000:a2", "102000:a1", "103500:a1+", "105000:a2"}));
    EXPECT_EQ(places, (std::vector<std::uint64_t>{20'000, 30'000, 10'000, 30'000}));
    const StandInCounts& counts = standIn_->counts();
    EXPECT_EQ(counts.requests, 4u);
    EXPECT_EQ(counts.answered, 4u);
    EXPECT_EQ(counts.inOrder, 1u);
    EXPECT_EQ(counts.outOfOrder, 3u);
    EXPECT_EQ(counts.unknown, 0u);
    misses = standIn_->takeMisses();
    ASSERT_EQ(misses.size(), 3u);
    // The first miss names the request that was due and what came instead.
    EXPECT_FALSE(misses[0].unknown);
    EXPECT_EQ(misses[0].expected, 0u);
    EXPECT_EQ(misses[0].expectedBytes, bytesOf("A"));
    EXPECT_EQ(misses[0].came, bytesOf("B"));
}

TEST_F(DeviceStandInTest, ARequestThatMayGrowWaitsForTheGapAndOneThatCannotDoesNot) {
    answerFrom(
        {{0, Host, "AB"}, {4000, Device, "short"}, {10'000, Host, "ABC"}, {13'000, Device, "long"}},
        2000);
    hostSends("A", 100'000);
    hostSends("B", 100'500);
    EXPECT_EQ(standIn_->nextBurst(), nullptr);
    EXPECT_EQ(standIn_->silenceEndMicros(), 102'500u);
    standIn_->advance(102'499);
    EXPECT_EQ(standIn_->nextBurst(), nullptr);
    // Answered once the line was silent, at the delay counted from the last byte's arrival.
    standIn_->advance(102'500);
    EXPECT_EQ(sent(), (Words{"104500:short"}));

    // The longer request cannot grow further: answered at once, no gap.
    hostSends("AB", 200'000);
    hostSends("C", 200'100);
    EXPECT_EQ(sent(), (Words{"203100:long"}));
    EXPECT_EQ(standIn_->counts().inOrder, 2u);
}

TEST_F(DeviceStandInTest, BytesThatAreNoRequestAreCountedAfterTheGapAndNotAnswered) {
    answerFrom({{0, Host, "Q"}, {1000, Device, "R"}});
    hostSends("XYZ", 5000);
    standIn_->advance(6999);
    EXPECT_EQ(standIn_->counts().unknown, 0u);
    standIn_->advance(7000);
    EXPECT_EQ(standIn_->nextBurst(), nullptr);
    const auto misses = standIn_->takeMisses();
    ASSERT_EQ(misses.size(), 1u);
    EXPECT_TRUE(misses[0].unknown);
    EXPECT_EQ(misses[0].came, bytesOf("XYZ"));
    EXPECT_EQ(misses[0].expected, 0u);
    // The line is clear again: the recorded request is answered as the next in order.
    hostSends("Q", 9000);
    EXPECT_EQ(sent(), (Words{"10000:R"}));
    EXPECT_EQ(standIn_->counts().requests, 2u);
    EXPECT_EQ(standIn_->counts().unknown, 1u);
    EXPECT_EQ(standIn_->counts().inOrder, 1u);
}

// Requests longer than what is held of the bytes that came: compared with the file as they come,
// with the same order rules, including requests that share a long start and then part.
TEST_F(DeviceStandInTest, LongRequestsAreToldApartBeyondTheBytesHeld) {
    const std::string l1 = noise(10'000, 1);
    const std::string l2 = l1.substr(0, 7000) + noise(2000, 2);  // parts from l1 at byte 7000
    const std::string l3 = l1 + noise(500, 3);                   // l1 may grow into it
    answerFrom({{0, Host, l1},
                {1000, Device, "one"},
                {10'000, Host, l2},
                {11'000, Device, "two"},
                {20'000, Host, l3},
                {21'000, Device, "three"},
                {30'000, Host, l1},
                {31'000, Device, "one again"}});
    hostSends(l2, 100'000);  // at once: nothing longer begins with it
    EXPECT_EQ(sent(), (Words{"101000:two"}));
    hostSends(l3, 200'000);
    EXPECT_EQ(sent(), (Words{"201000:three"}));
    hostSends(l1, 300'000);
    EXPECT_EQ(sent(), Words{});
    standIn_->advance(302'000);
    EXPECT_EQ(sent(), (Words{"301000:one again"}));
    hostSends(l1, 400'000);
    standIn_->advance(402'000);
    EXPECT_EQ(sent(), (Words{"401000:one"}));  // the first unused one with these bytes
    // Parts from every recorded request: no request, however they began.
    hostSends(l1.substr(0, 5000) + noise(3000, 4), 500'000);
    standIn_->advance(502'000);
    EXPECT_EQ(sent(), Words{});
    const StandInCounts& counts = standIn_->counts();
    EXPECT_EQ(counts.inOrder, 2u);
    EXPECT_EQ(counts.outOfOrder, 2u);
    EXPECT_EQ(counts.unknown, 1u);

    const auto misses = standIn_->takeMisses();
    ASSERT_EQ(misses.size(), 3u);
    // A miss tells the first bytes of both requests and their whole lengths.
    EXPECT_EQ(misses[0].expected, 0u);
    EXPECT_EQ(misses[0].expectedBytes, bytesOf(l1.substr(0, RequestIndex::kPrefixLength)));
    EXPECT_EQ(misses[0].expectedLength, l1.size());
    EXPECT_EQ(misses[0].came, bytesOf(l2.substr(0, RequestIndex::kPrefixLength)));
    EXPECT_EQ(misses[0].cameLength, l2.size());
    EXPECT_TRUE(misses[2].unknown);
    EXPECT_EQ(misses[2].cameLength, 8000u);
}

// A request of several megabytes, fed as it comes off a port, costs the stand-in no more than a
// few fixed buffers, and is answered.
TEST_F(DeviceStandInTest, ARequestOfMegabytesIsMatchedWithAFewFixedBuffers) {
    const std::string part = noise(2'000'000, 5);
    answerFrom({{0, Host, part}, {100, Host, part}, {200, Host, part}, {1200, Device, "done"}});
    const std::string request = part + part + part;
    constexpr std::size_t kRead = 64 * 1024;
    std::size_t mostHeld = 0;
    for (std::size_t at = 0; at < request.size(); at += kRead) {
        hostSends(request.substr(at, kRead), 1000 + at / kRead);
        mostHeld = std::max(mostHeld, standIn_->heldRequestBytes());
    }
    EXPECT_EQ(sent(), (Words{std::to_string(1000 + request.size() / kRead + 1000) + ":done"}));
    EXPECT_EQ(standIn_->counts().inOrder, 1u);
    EXPECT_LT(mostHeld, 64u * 1024);
}

namespace {

// A source that answers "PING<n>" with "PONG<n>" once the request is whole ("\n"), refuses
// "BAD..." after the silence, and passes on the rest.
class PingSource : public AnswerSource {
public:
    explicit PingSource(std::string answer) : answer_(std::move(answer)) {}
    SourceOffer offer(std::span<const std::uint8_t> request, bool silenceFollowed) override {
        const std::string text(request.begin(), request.end());
        ++offers;
        if (text.rfind("BAD", 0) == 0) return {SourceOffer::Kind::Refused, {}, "bad"};
        if (text.rfind("PING", 0) != 0 || (text.back() != '\n' && !silenceFollowed)) return {};
        return {
            SourceOffer::Kind::Answer, {{300, bytesOf(answer_)}, {900, bytesOf("!")}}, "ping rule"};
    }
    int offers = 0;

private:
    std::string answer_;
};

}  // namespace

// The recording answers first; what it does not know goes to the sources in order, early when
// whole by their shape, after the silence otherwise; refusals are silence, counted apart.
TEST_F(DeviceStandInTest, SourcesAnswerWhatTheRecordingDoesNotInTheirOrder) {
    answerFrom({{0, Host, "PING1\n"}, {1000, Device, "recorded"}});
    PingSource first("first"), second("second");
    standIn_->addSource(first, AnswerOrigin::Rules);
    standIn_->addSource(second, AnswerOrigin::Modbus);
    standIn_->keepAnswerNotes();

    hostSends("PING1\n", 10'000);
    EXPECT_EQ(sent(), (Words{"11000:recorded"}));
    EXPECT_EQ(first.offers, 0);
    // Whole by its shape: answered at once, both bursts at their delays, by the first source.
    hostSends("PING2", 20'000);
    hostSends("\n", 20'100);
    EXPECT_EQ(sent(), (Words{"20400:first", "21000:!"}));
    // Not whole until the silence says so.
    hostSends("PING3", 30'000);
    EXPECT_EQ(standIn_->nextBurst(), nullptr);
    standIn_->advance(32'000);
    EXPECT_EQ(sent(), (Words{"30300:first", "30900:!"}));
    // Refused only after the silence, and never answered.
    hostSends("BAD", 40'000);
    EXPECT_EQ(standIn_->counts().refused, 0u);
    standIn_->advance(42'000);
    EXPECT_EQ(standIn_->nextBurst(), nullptr);

    const StandInCounts& counts = standIn_->counts();
    EXPECT_EQ(counts.requests, 4u);
    EXPECT_EQ(counts.answered, 3u);
    EXPECT_EQ(counts.inOrder, 1u);
    EXPECT_EQ(counts.byRules, 2u);
    EXPECT_EQ(counts.byModbus, 0u);
    EXPECT_EQ(counts.refused, 1u);
    EXPECT_EQ(counts.unknown, 0u);
    EXPECT_EQ(standIn_->answersByOrigin().at("ping rule"), 2u);
    const auto notes = standIn_->takeAnswerNotes();
    ASSERT_EQ(notes.size(), 4u);
    EXPECT_EQ(notes[0].origin, AnswerOrigin::Recording);
    EXPECT_EQ(notes[0].recorded, 0u);
    EXPECT_EQ(notes[1].came, bytesOf("PING2\n"));
    EXPECT_TRUE(notes[3].refused);
    EXPECT_EQ(notes[3].originWords, "bad");
    EXPECT_TRUE(standIn_->takeMisses().empty());
}

// With no recording the sources answer alone; a new request ends the answer before it.
TEST_F(DeviceStandInTest, WithoutARecordingTheSourcesAnswerAlone) {
    RequestIndex none;
    DeviceStandIn standIn(none, 2000);
    PingSource source("pong");
    standIn.addSource(source, AnswerOrigin::Modbus);
    ASSERT_FALSE(standIn.start().happened());
    standIn.received(bytesOf("PING\n"), 1000);
    ASSERT_NE(standIn.nextBurst(), nullptr);
    EXPECT_EQ(standIn.nextBurst()->dueMicros, 1300u);
    standIn.burstSent();
    standIn.received(bytesOf("PING\n"), 1500);
    standIn.burstSent();
    standIn.burstSent();
    EXPECT_EQ(standIn.nextBurst(), nullptr);
    standIn.received(bytesOf("XYZ"), 5000);
    standIn.advance(7000);
    EXPECT_EQ(standIn.counts().byModbus, 2u);
    EXPECT_EQ(standIn.counts().unknown, 1u);
}
