// The conversation reader over any bytes: it ends with the bursts, a cut last block or one
// failure, never a crash; times never step back by more than a second, and after a reading without
// a failure every burst reads again the same at its offset. And the writer's round trip: the same
// bytes taken as burst records, written and read back.
#include <cstddef>
#include <cstdint>

#include "conversation/ConversationReader.h"
#include "conversation/ConversationWriter.h"
#include "fuzz/FuzzSupport.h"

namespace {

struct Seen {
    std::uint64_t offset;
    std::uint64_t time;
    Direction direction;
    std::uint8_t controlLines;
    Bytes bytes;
    bool operator==(const Seen&) const = default;
};

Seen seen(const ConversationBurst& burst) {
    return {burst.offset, burst.timeMicros, burst.direction, burst.controlLines,
            Bytes(burst.bytes.begin(), burst.bytes.end())};
}

std::vector<Seen> readAll(const std::string& path, Failure& failure) {
    ConversationReader reader;
    std::vector<Seen> all;
    failure = reader.open(path);
    if (failure.happened()) return all;
    ConversationBurst burst;
    while (reader.next(burst)) {
        check(all.empty() || all.back().offset < burst.offset, "bursts in file order");
        check(all.empty() || burst.timeMicros >= all.back().time ||
                  all.back().time - burst.timeMicros <= 1'000'000,
              "no step back of more than a second");
        all.push_back(seen(burst));
    }
    failure = reader.failure();
    check(!failure.happened() || failure.kind == Failure::Kind::ReadInput, "a read failure");
    check(!failure.happened() || !failure.detail.empty(), "a failure says what is wrong");
    check(!(failure.happened() && reader.endedInCutBlock()), "a failure or a cut, not both");

    if (failure.happened()) return all;
    // Backwards, so that no read leans on the one before it.
    for (auto earlier = all.rbegin(); earlier != all.rend(); ++earlier) {
        ConversationBurst read;
        check(reader.readAt(earlier->offset, read), "a burst reads again at its offset");
        check(seen(read) == *earlier, "the same burst");
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Failure failure;
    readAll(putScratch("any.pcapng", data, size), failure);

    // Records: time step (2 bytes), direction and control lines (1 byte), length (1 byte), bytes.
    const std::string path = scratchFile("written.pcapng");
    ConversationWriter writer;
    check(!writer.open(path, {"Veltrane fuzz", "COM1 <-> COM2", "9600 8N1"}).happened(),
          "writer opened");
    std::vector<Seen> written;
    std::uint64_t time = 1'765'000'000'000'000;
    for (std::size_t at = 0; at + 4 <= size;) {
        time += static_cast<std::uint64_t>(data[at] | data[at + 1] << 8) * 97;
        const Direction direction = data[at + 2] & 1 ? Direction::Device : Direction::Host;
        const auto controlLines = static_cast<std::uint8_t>(data[at + 2] >> 1);
        const std::size_t length = std::min<std::size_t>(data[at + 3], size - at - 4);
        const Bytes bytes(data + at + 4, data + at + 4 + length);
        check(!writer.write({time, direction, controlLines, bytes}).happened(), "burst written");
        check(!writer.flushIfDue(time).happened(), "flushed when due");
        written.push_back({0, time, direction, controlLines, bytes});
        at += 4 + length;
    }
    check(!writer.close().happened(), "writer closed");
    std::vector<Seen> read = readAll(path, failure);
    check(!failure.happened(), "the writer's file reads without a failure");
    for (Seen& burst : read) burst.offset = 0;
    check(read == written, "written bursts read back identically");
    return 0;
}
