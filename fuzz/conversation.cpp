// The conversation reader over any bytes, with and without the line's events: it ends with the
// bursts, a cut last block or one failure, never a crash; times never step back by more than a
// second; keeping the events changes none of the bursts; after a reading without a failure every
// burst and event reads again the same at its offset, from the file's end and by its place. And
// the writer's round trip: the same bytes taken as records of bursts and events, written and read
// back.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>

#include "conversation/ConversationReader.h"
#include "conversation/ConversationWriter.h"
#include "conversation/LineEventText.h"
#include "fuzz/FuzzSupport.h"

namespace {

struct Seen {
    std::uint64_t offset;
    std::uint64_t time;
    Direction direction;
    std::uint8_t controlLines;
    Bytes bytes;
    std::optional<LineEvent> event = std::nullopt;
    bool operator==(const Seen&) const = default;
};

Seen seen(const ConversationBurst& burst) {
    return {burst.offset,
            burst.timeMicros,
            burst.direction,
            burst.controlLines,
            Bytes(burst.bytes.begin(), burst.bytes.end()),
            burst.lineEvent};
}

std::vector<Seen> burstsOf(const std::vector<Seen>& all) {
    std::vector<Seen> bursts;
    std::copy_if(all.begin(), all.end(), std::back_inserter(bursts),
                 [](const Seen& item) { return !item.event; });
    return bursts;
}

// What reads again from the end and by place must be what next gave.
void checkReadAgain(ConversationReader& reader, const std::vector<Seen>& all) {
    // Backwards, so that no read leans on the one before it.
    for (auto earlier = all.rbegin(); earlier != all.rend(); ++earlier) {
        ConversationBurst read;
        check(reader.readAt(earlier->offset, read), "a burst reads again at its offset");
        check(seen(read) == *earlier, "the same burst");
    }
    ConversationBurst last;
    if (!reader.endedInCutBlock() && reader.readLast(last))
        check(!all.empty() && seen(last) == all.back(), "the last burst from the end");
    if (all.empty()) return;
    check(reader.continueFrom(all.front().offset), "read on from the first");
    BurstPlace place;
    for (const Seen& item : all) {
        check(reader.nextPlace(place), "each burst has its place");
        check(place.offset == item.offset && place.timeMicros == item.time &&
                  place.direction == item.direction && place.lineEvent == item.event &&
                  place.length == item.bytes.size(),
              "the same place");
    }
}

std::vector<Seen> readAll(const std::string& path, bool keepLineEvents, Failure& failure) {
    ConversationReader reader;
    std::vector<Seen> all;
    failure = reader.open(path);
    if (failure.happened()) return all;
    reader.keepLineEvents(keepLineEvents);
    ConversationBurst burst;
    std::optional<std::uint64_t> lastBurstTime;
    while (reader.next(burst)) {
        check(all.empty() || all.back().offset < burst.offset, "bursts in file order");
        check(!lastBurstTime || burst.timeMicros >= *lastBurstTime ||
                  *lastBurstTime - burst.timeMicros <= 1'000'000,
              "no step back of more than a second");
        check(keepLineEvents || !burst.lineEvent, "events only when kept");
        check(!burst.lineEvent || burst.bytes.empty(), "an event holds no bytes");
        if (!burst.lineEvent) lastBurstTime = burst.timeMicros;
        all.push_back(seen(burst));
    }
    failure = reader.failure();
    check(!failure.happened() || failure.kind == Failure::Kind::ReadInput, "a read failure");
    check(!failure.happened() || !failure.detail.empty(), "a failure says what is wrong");
    check(!(failure.happened() && reader.endedInCutBlock()), "a failure or a cut, not both");
    if (!failure.happened()) checkReadAgain(reader, all);
    return all;
}

// An event of a record: its kind from one byte, a LineSettings event's fields from four more.
LineEvent recordedEvent(const std::uint8_t* data, std::size_t left, std::size_t& used) {
    LineEvent event{static_cast<LineEventKind>(data[0] % kLineEventKinds)};
    used = 1;
    if (event.kind == LineEventKind::LineSettings && left >= 5) {
        event.speed = data[1] | data[2] << 8 | data[3] << 16;
        event.dataBits = data[4] & 0x0F;
        event.parity = static_cast<Parity>((data[4] >> 4) % 5);
        event.stopBits = static_cast<StopBits>((data[4] >> 4) / 5 % 3);
        used = 5;
    }
    return event;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Failure plainFailure, keptFailure;
    const std::string any = putScratch("any.pcapng", data, size);
    const std::vector<Seen> plain = readAll(any, false, plainFailure);
    const std::vector<Seen> kept = burstsOf(readAll(any, true, keptFailure));
    check(kept.size() <= plain.size() && std::equal(kept.begin(), kept.end(), plain.begin()),
          "keeping the events changes no burst");
    check(keptFailure.happened() || (!plainFailure.happened() && kept == plain),
          "without the events' failure, every burst");

    // Records: time step (2 bytes), then a byte of the direction (bit 0), the control lines
    // (bits 1-6) and whether it is an event (bit 7); then a burst's length and bytes, or an
    // event's kind (and a LineSettings event's four bytes of settings).
    const std::string path = scratchFile("written.pcapng");
    ConversationWriter writer;
    check(!writer.open(path, {"Veltrane fuzz", {{"COM1 <-> COM2", "9600 8N1"}}}).happened(),
          "writer opened");
    std::vector<Seen> written;
    std::uint64_t time = 1'765'000'000'000'000;
    for (std::size_t at = 0; at + 4 <= size;) {
        time += static_cast<std::uint64_t>(data[at] | data[at + 1] << 8) * 97;
        const Direction direction = data[at + 2] & 1 ? Direction::Device : Direction::Host;
        const auto controlLines = static_cast<std::uint8_t>(data[at + 2] >> 1 & 0x3F);
        if (data[at + 2] & 0x80) {
            std::size_t used = 0;
            LineEvent event = recordedEvent(data + at + 3, size - at - 3, used);
            if (event.kind == LineEventKind::ControlLines) event.controlLines = controlLines;
            check(!writer.writeLineEvent(time, direction, controlLines, event).happened(),
                  "event written");
            written.push_back({0, time, direction, controlLines, {}, event});
            at += 3 + used;
            continue;
        }
        const std::size_t length = std::min<std::size_t>(data[at + 3], size - at - 4);
        const Bytes bytes(data + at + 4, data + at + 4 + length);
        check(!writer.write({time, direction, controlLines, bytes}).happened(), "burst written");
        check(!writer.flushIfDue(time).happened(), "flushed when due");
        written.push_back({0, time, direction, controlLines, bytes});
        at += 4 + length;
    }
    check(!writer.close().happened(), "writer closed");
    Failure failure;
    std::vector<Seen> read = readAll(path, true, failure);
    check(!failure.happened(), "the writer's file reads without a failure");
    for (Seen& burst : read) burst.offset = 0;
    check(read == written, "written bursts and events read back identically");
    read = readAll(path, false, failure);
    for (Seen& burst : read) burst.offset = 0;
    check(read == burstsOf(written), "written bursts read back without the events");
    return 0;
}
