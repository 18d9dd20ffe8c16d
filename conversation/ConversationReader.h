#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "conversation/ConversationBurst.h"
#include "engine/Failure.h"

// Reads the bursts of a conversation file: pcapng (either byte order, one section) or classic
// pcap (microseconds or nanoseconds, either byte order), link type 250. Packets whose RTAC event
// type is not data are passed over, as are blocks of kinds it does not know. Memory stays at one
// block: no block over 16 MiB is accepted. A last block cut short (a recording that was killed)
// is dropped; everything before it is read. Bad input ends reading with one Failure (ReadInput,
// the path, what is wrong and at which byte).
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

    // The next burst in file order; false at the end or on a failure (failure() tells).
    bool next(ConversationBurst& burst);
    // The burst whose block starts at offset (a burst's offset from next), leaving next's place
    // as it was. False with a failure when no data packet starts there; like any failure, that
    // ends reading.
    bool readAt(std::uint64_t offset, ConversationBurst& burst);
    // The file's last burst, found from its end without reading what comes before: a pcapng
    // file ends in a block's length, which says where the block starts. False, with no failure,
    // when that cannot be done (classic pcap, a last block cut short or not a data packet).
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

    void readHeaderBlocks();
    Step nextPcapng(ConversationBurst& burst);
    Step pcapngBlock(std::uint64_t at, BlockHead& head);
    Step sectionHeader(std::uint64_t at, const BlockHead& head);
    Step interfaceDescription(std::uint64_t at, const BlockHead& head);
    Step enhancedPacket(std::uint64_t at, const BlockHead& head, ConversationBurst& burst);
    Step pcapRecord(std::uint64_t at, ConversationBurst& burst, std::uint64_t& length);
    Step rtacPacket(std::uint64_t at, std::uint64_t timeMicros, std::size_t dataStart,
                    std::size_t captured, ConversationBurst& burst);

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
    // Each described interface's if_tsresol byte.
    std::vector<std::uint8_t> interfaces_;
    std::vector<std::uint8_t> block_;
    std::uint64_t nextOffset_ = 0;
    bool hasLastTime_ = false;
    std::uint64_t lastTime_ = 0;
    bool ended_ = false;
    bool cut_ = false;
    Failure failure_;
};
