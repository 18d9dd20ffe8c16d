#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "conversation/ConversationBurst.h"
#include "conversation/ConversationInterface.h"
#include "engine/Failure.h"

// Where a burst's bytes lie in the file, for reading a long one a piece at a time.
struct BurstPlace {
    std::uint64_t timeMicros = 0;  // since the Unix epoch
    Direction direction = Direction::Host;
    std::uint64_t offset = 0;   // where the burst's block starts, as ConversationBurst's
    std::uint64_t bytesAt = 0;  // where its first byte is
    std::uint64_t length = 0;   // its bytes
    std::optional<LineEvent> lineEvent = std::nullopt;  // as ConversationBurst's (length then 0)
    std::uint32_t interfaceIndex = 0;
};

// Reads the bursts of a conversation file: pcapng (either byte order, one section) or classic
// pcap (microseconds or nanoseconds, either byte order), link type 250. Packets whose RTAC event
// type is not data are passed over, as are blocks of kinds it does not know; asked to, it gives
// the line's events among the bursts instead (keepLineEvents). Memory stays at one block: no
// block over 16 MiB is accepted; walked by nextPlace, at a packet's head. A last block cut short
// (a recording that was killed) is dropped; everything before it is read. Bad input ends reading
// with one Failure (ReadInput, the path, what is wrong and at which byte).
class ConversationReader {
public:
    enum class Format : std::uint8_t { None, Pcapng, Pcap };

    ConversationReader() = default;
    ~ConversationReader();
    ConversationReader(const ConversationReader&) = delete;
    ConversationReader& operator=(const ConversationReader&) = delete;

    // Reads the file's header (for pcapng, its section header and the interfaces described
    // before the first packet): a file that is no conversation fails here.
    Failure open(const std::string& path);
    void close();
    Format format() const { return format_; }
    // The ports the file describes, in the order bursts name them: those before its first
    // packet after open, more as reading meets them. A classic pcap file has one, unnamed.
    const std::vector<ConversationInterface>& interfaces() const { return described_; }
    // With true, the line's events (status changes, breaks, framing and parity errors) come as
    // bursts with a lineEvent, in file order among the others, from every read below. Who did
    // one is in its packet's flags; a packet without them (a simple packet, classic pcap) is
    // taken as the device's, a break without its comment as a start. An event more than a second
    // earlier than the burst before it fails as such a burst does, but the bursts after it are
    // held to the bursts' times only: they read the same with or without the events.
    void keepLineEvents(bool keep) { keepLineEvents_ = keep; }

    // The next burst in file order; false at the end or on a failure (failure() tells).
    bool next(ConversationBurst& burst);
    // As next, but reads only the packet's head: the bytes stay in the file (readBytes).
    bool nextPlace(BurstPlace& place);
    // `count` bytes from the file at `at` (within a place's bytes). False with a failure when the
    // file no longer holds them.
    bool readBytes(std::uint64_t at, std::uint8_t* destination, std::size_t count);
    // What the reader holds of the file now, in bytes.
    std::size_t heldBytes() const { return block_.capacity(); }

    // The burst whose block starts at offset (a burst's offset from next), leaving next's place
    // as it was. False with a failure when no data packet (or kept event) starts there; like any
    // failure, that ends reading.
    bool readAt(std::uint64_t offset, ConversationBurst& burst);
    // The file's last burst, found from its end without reading what comes before: a pcapng
    // file ends in a block's length, which says where the block starts, and so on back over up
    // to 1024 packets without bytes (the line's events, when not kept). False, with no failure,
    // when that cannot be done (classic pcap, a last block cut short or not a packet).
    bool readLast(ConversationBurst& burst);

    // next() goes on from the block at offset (a burst's offset from next), as if the file began
    // there: a request and the answer after it are read again without keeping their bytes.
    // False after a failure.
    bool continueFrom(std::uint64_t offset);

    const Failure& failure() const { return failure_; }
    // Reading met a last block cut short and dropped it.
    bool endedInCutBlock() const { return cut_; }

private:
    // Block: a whole block was read (pcapngBlock); Burst: a data packet was read; Skipped: a
    // block or packet without conversation bytes was passed.
    enum class Step : std::uint8_t { Block, Burst, Skipped, End, Cut, Failed };
    struct BlockHead {
        std::uint32_t type = 0;
        std::uint32_t length = 0;
        bool bigEndian = false;
    };

    bool nextBurst(ConversationBurst& burst);
    Step packetAt(std::uint64_t offset, ConversationBurst& burst);
    std::optional<std::uint64_t> packetBlockEndingAt(std::uint64_t end);
    void readHeaderBlocks();
    void readHeaderBlocksUpToAPacket();
    Step nextPcapng(ConversationBurst& burst);
    Step pcapngBlock(std::uint64_t at, BlockHead& head);
    Step sectionHeader(std::uint64_t at, const BlockHead& head);
    Step interfaceDescription(std::uint64_t at, const BlockHead& head);
    Step enhancedPacket(std::uint64_t at, const BlockHead& head, ConversationBurst& burst);
    Step simplePacket(std::uint64_t at, const BlockHead& head, ConversationBurst& burst);
    Step lineEventOptions(std::uint64_t at, const BlockHead& head, std::size_t optionsAt,
                          ConversationBurst& burst);
    Step pcapRecord(std::uint64_t at, ConversationBurst& burst, std::uint64_t& length);
    // Without a time of its own, the packet's time is its RTAC header's.
    Step rtacPacket(std::uint64_t at, std::optional<std::uint64_t> timeMicros,
                    std::size_t dataStart, std::size_t captured, ConversationBurst& burst);

    enum class Got : std::uint8_t { All, Short, Error };
    Got readExact(std::uint64_t at, void* destination, std::size_t count);
    Step fail(const std::string& what);
    Step failRead();

    std::FILE* file_ = nullptr;
    std::string path_;
    std::uint64_t size_ = 0;
    std::uint64_t filePosition_ = 0;
    Format format_ = Format::None;
    bool bigEndian_ = false;
    bool pcapNanoseconds_ = false;
    bool sectionSeen_ = false;
    struct Interface {
        std::uint8_t resolution = 0;   // if_tsresol
        std::uint32_t snapLength = 0;  // 0: no limit
    };
    std::vector<Interface> interfaces_;
    std::vector<ConversationInterface> described_;
    std::vector<std::uint8_t> block_;
    // While nextPlace walks: packets are read as far as their RTAC header, and where their bytes
    // lie is noted here instead.
    bool headsOnly_ = false;
    bool keepLineEvents_ = false;
    std::uint64_t bytesAt_ = 0;
    std::uint64_t bytesLength_ = 0;
    std::uint64_t nextOffset_ = 0;
    bool hasLastTime_ = false;
    std::uint64_t lastTime_ = 0;
    bool ended_ = false;
    bool cut_ = false;
    Failure failure_;
};
