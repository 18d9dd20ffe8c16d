#include "conversation/ConversationReader.h"

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <string_view>

#include "conversation/ConversationFormat.h"
#include "conversation/LineEventText.h"

using namespace conversation_format;

namespace {

constexpr std::uint32_t swapped(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24);
}

constexpr std::size_t kSectionHeaderMinimum = kBlockFrameSize + 16;  // magic, version, length
constexpr std::size_t kInterfaceMinimum = kBlockFrameSize + 8;       // link type, snapshot length
constexpr std::size_t kPacketMinimum = kBlockFrameSize + kPacketFieldsSize;
constexpr std::size_t kSimplePacketMinimum = kBlockFrameSize + 4;  // the original length
// A packet block as far as the end of its RTAC header: all that nextPlace reads of it.
constexpr std::size_t kPacketHeadSize = kPacketMinimum - 4 + kRtacHeaderSize;
constexpr std::uint8_t kMicrosecondResolution = 6;
// A hostile file could describe interfaces without end; real captures hold a handful.
constexpr std::size_t kMaxInterfaces = 256;
constexpr std::uint64_t kAllowedStepBack = 1'000'000;
// How many packets without bytes readLast steps back over before it leaves the search to a read
// from the start.
constexpr int kMaxPacketsSteppedBack = 1024;
// Our comments are a few dozen bytes; a longer one is someone else's and means nothing here.
constexpr std::size_t kMaxEventComment = 256;

std::uint64_t saturated(unsigned __int128 value) {
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    return value > kMax ? kMax : static_cast<std::uint64_t>(value);
}

// if_tsresol: a power of ten below the second, or of two when the top bit is set.
std::uint64_t microsFromUnits(std::uint64_t units, std::uint8_t resolution) {
    const unsigned exponent = resolution & 0x7F;
    if (resolution & 0x80) {
        if (exponent >= 100) return 0;
        return saturated((static_cast<unsigned __int128>(units) * 1'000'000) >> exponent);
    }
    unsigned __int128 scale = 1;
    if (exponent <= kMicrosecondResolution) {
        for (unsigned i = exponent; i < kMicrosecondResolution; ++i) scale *= 10;
        return saturated(units * scale);
    }
    if (exponent - kMicrosecondResolution > 20) return 0;  // more than 10^20: under a microsecond
    for (unsigned i = kMicrosecondResolution; i < exponent; ++i) scale *= 10;
    return saturated(units / scale);
}

std::string hexStart(const std::uint8_t* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::uint32_t load32(const std::uint8_t* bytes, bool bigEndian) {
    if (bigEndian)
        return static_cast<std::uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 |
               bytes[3];
    return static_cast<std::uint32_t>(bytes[3]) << 24 | bytes[2] << 16 | bytes[1] << 8 | bytes[0];
}

std::uint16_t load16(const std::uint8_t* bytes, bool bigEndian) {
    return static_cast<std::uint16_t>(bigEndian ? bytes[0] << 8 | bytes[1]
                                                : bytes[1] << 8 | bytes[0]);
}

// The kind of line event an RTAC event type stands for before its packet's comment is read.
std::optional<LineEventKind> lineEventOfType(std::uint8_t type) {
    switch (type) {
        case kEventStatusChange:
            return LineEventKind::ControlLines;
        case kEventSerialBreak:
            return LineEventKind::BreakStart;
        case kEventFramingError:
            return LineEventKind::FramingError;
        case kEventParityError:
            return LineEventKind::ParityError;
        case kEventDataLost:
            return LineEventKind::DataLost;
        default:
            return std::nullopt;
    }
}

// A comment that is not one of ours leaves the event as its type says.
void applyEventComment(std::string_view comment, LineEvent& event) {
    if (comment.size() > kMaxEventComment) return;
    const std::string_view settings = kCommentLineSettings;
    const std::string_view away = kCommentPortAway;
    if (event.kind == LineEventKind::DataLost && comment.substr(0, away.size()) == away) {
        event.awayMicros = awayFromText(comment.substr(away.size())).value_or(0);
    } else if (event.kind == LineEventKind::BreakStart && comment == kCommentBreakEnd) {
        event.kind = LineEventKind::BreakEnd;
    } else if (event.kind == LineEventKind::ControlLines &&
               comment.substr(0, settings.size()) == settings) {
        if (const auto asked = changedSettingsFromText(comment.substr(settings.size())))
            event = *asked;
    }
}

bool isPacketBlock(std::uint32_t type) {
    return type == kEnhancedPacketType || type == kSimplePacketType;
}

bool isKnownBlock(std::uint32_t type) {
    return type == kSectionHeaderType || type == kInterfaceDescriptionType || isPacketBlock(type);
}

bool seekTo(std::FILE* file, std::uint64_t position) {
    if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

}  // namespace

ConversationReader::~ConversationReader() { close(); }

void ConversationReader::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    format_ = Format::None;
    interfaces_.clear();
    described_.clear();
    block_.clear();
    block_.shrink_to_fit();
    sectionSeen_ = ended_ = cut_ = hasLastTime_ = false;
    failure_ = {};
}

Failure ConversationReader::open(const std::string& path) {
    close();
    path_ = path;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return failure_ = openFailure(Failure::Kind::OpenInput, path);
    file_ = file;
    filePosition_ = 0;
    std::uint8_t magic[4] = {};
    errno = 0;
    const std::size_t got = std::fread(magic, 1, sizeof magic, file_);
    if (got < sizeof magic && std::ferror(file_)) {
        failRead();
        return failure_;
    }
    if (fseeko(file_, 0, SEEK_END) != 0 || ftello(file_) < 0) {
        failRead();
        return failure_;
    }
    size_ = static_cast<std::uint64_t>(ftello(file_));
    filePosition_ = size_;
    if (got < sizeof magic) {
        fail("not a pcapng or pcap file: it holds only " + std::to_string(got) + " bytes");
        return failure_;
    }

    const std::uint32_t little = static_cast<std::uint32_t>(magic[0]) | magic[1] << 8 |
                                 magic[2] << 16 | static_cast<std::uint32_t>(magic[3]) << 24;
    if (little == kSectionHeaderType) {
        format_ = Format::Pcapng;
        nextOffset_ = 0;
        readHeaderBlocks();
        return failure_;
    }
    for (const std::uint32_t pcapMagic : {kPcapMicrosMagic, kPcapNanosMagic}) {
        if (little != pcapMagic && little != swapped(pcapMagic)) continue;
        format_ = Format::Pcap;
        described_.assign(1, {});
        bigEndian_ = little != pcapMagic;
        pcapNanoseconds_ = pcapMagic == kPcapNanosMagic;
        std::uint8_t header[kPcapFileHeaderSize];
        const Got read = readExact(0, header, sizeof header);
        if (read == Got::Error) return failure_;
        nextOffset_ = kPcapFileHeaderSize;
        if (read == Got::Short) {
            // Cut inside its own header: nothing to read.
            cut_ = ended_ = true;
            return {};
        }
        const std::uint32_t linkType = load32(header + 20, bigEndian_) & 0xFFFF;
        if (linkType != kLinkTypeRtacSerial)
            fail("the file's link type is " + std::to_string(linkType) + ", not 250 (RTAC serial)");
        return failure_;
    }
    fail("not a pcapng or pcap file: it begins with " + hexStart(magic, sizeof magic));
    return failure_;
}

bool ConversationReader::next(ConversationBurst& burst) {
    headsOnly_ = false;
    return nextBurst(burst);
}

bool ConversationReader::nextPlace(BurstPlace& place) {
    headsOnly_ = true;
    ConversationBurst burst;
    const bool found = nextBurst(burst);
    headsOnly_ = false;
    if (!found) return false;
    place = {burst.timeMicros, burst.direction, burst.offset,        bytesAt_,
             bytesLength_,     burst.lineEvent, burst.interfaceIndex};
    return true;
}

bool ConversationReader::readBytes(std::uint64_t at, std::uint8_t* destination, std::size_t count) {
    if (failure_.happened() || format_ == Format::None) return false;
    const Got got = readExact(at, destination, count);
    if (got == Got::Short) fail("the file ends before byte " + std::to_string(at + count));
    return got == Got::All;
}

bool ConversationReader::nextBurst(ConversationBurst& burst) {
    while (!ended_) {
        Step step = Step::End;
        if (format_ == Format::Pcapng) {
            step = nextPcapng(burst);
        } else if (format_ == Format::Pcap) {
            std::uint64_t length = 0;
            step = pcapRecord(nextOffset_, burst, length);
            nextOffset_ += length;
        }
        switch (step) {
            case Step::Burst:
                if (hasLastTime_ && lastTime_ > burst.timeMicros &&
                    lastTime_ - burst.timeMicros > kAllowedStepBack) {
                    fail("packet at byte " + std::to_string(burst.offset) + " is " +
                         std::to_string(lastTime_ - burst.timeMicros) +
                         " microseconds earlier than the one before it");
                    return false;
                }
                if (!burst.lineEvent) {
                    hasLastTime_ = true;
                    lastTime_ = burst.timeMicros;
                }
                return true;
            case Step::Skipped:
                break;
            case Step::Cut:
                cut_ = true;
                ended_ = true;
                break;
            case Step::Block:  // pcapngBlock's own answer, never next's
            case Step::End:
            case Step::Failed:
                ended_ = true;
                break;
        }
    }
    return false;
}

// Burst, Skipped (a block that is no packet, or a packet without what is read), or why not.
ConversationReader::Step ConversationReader::packetAt(std::uint64_t offset,
                                                      ConversationBurst& burst) {
    if (format_ == Format::Pcap) {
        std::uint64_t length = 0;
        return pcapRecord(offset, burst, length);
    }
    BlockHead head;
    const Step step = pcapngBlock(offset, head);
    if (step != Step::Block) return step;
    if (head.type == kEnhancedPacketType) return enhancedPacket(offset, head, burst);
    if (head.type == kSimplePacketType) return simplePacket(offset, head, burst);
    return Step::Skipped;
}

bool ConversationReader::readAt(std::uint64_t offset, ConversationBurst& burst) {
    if (failure_.happened() || format_ == Format::None) return false;
    const Step step = packetAt(offset, burst);
    if (step == Step::Burst) return true;
    if (step != Step::Failed) fail("no data packet starts at byte " + std::to_string(offset));
    return false;
}

// Where the packet block that ends at `end` starts, when the length it ends with is that of a
// packet block beginning with the same length.
std::optional<std::uint64_t> ConversationReader::packetBlockEndingAt(std::uint64_t end) {
    std::uint8_t trailer[4] = {};
    if (end < kPacketMinimum ||
        readExact(end - sizeof trailer, trailer, sizeof trailer) != Got::All)
        return std::nullopt;
    const std::uint32_t length = load32(trailer, bigEndian_);
    if (length < kPacketMinimum || length > end || length % 4 != 0) return std::nullopt;
    const std::uint64_t start = end - length;
    // The block must say the same length at its start, or the trailer is no block's end.
    std::uint8_t head[8] = {};
    if (readExact(start, head, sizeof head) != Got::All) return std::nullopt;
    if (!isPacketBlock(load32(head, bigEndian_)) || load32(head + 4, bigEndian_) != length)
        return std::nullopt;
    return start;
}

bool ConversationReader::readLast(ConversationBurst& burst) {
    if (failure_.happened() || format_ != Format::Pcapng || size_ < kPacketMinimum) return false;
    // A recording often ends in what the line did as the ports closed: packets without bytes are
    // stepped over by their heads. A damaged packet, or too many of them, ends the search
    // without a failure: the caller reads forward instead, which finds and tells what is wrong.
    const bool wasEnded = ended_;
    std::uint64_t end = size_;
    for (int stepped = 0; stepped <= kMaxPacketsSteppedBack; ++stepped) {
        const std::optional<std::uint64_t> start = packetBlockEndingAt(end);
        if (!start) break;
        headsOnly_ = true;
        const Step step = packetAt(*start, burst);
        headsOnly_ = false;
        if (step == Step::Burst) {
            if (readAt(*start, burst)) return true;
            break;
        }
        if (step != Step::Skipped) break;
        end = *start;
    }
    failure_ = {};
    ended_ = wasEnded;
    return false;
}

bool ConversationReader::continueFrom(std::uint64_t offset) {
    if (failure_.happened() || format_ == Format::None) return false;
    nextOffset_ = offset;
    ended_ = cut_ = false;
    // The times before the new place are not this stretch's: only steps back within it count.
    hasLastTime_ = false;
    return true;
}

// The section header and the interfaces described before the first packet, so that a bad
// header shows at open and readAt can read any packet at once.
void ConversationReader::readHeaderBlocks() {
    // The first packet is only looked at here, however long it is.
    headsOnly_ = true;
    readHeaderBlocksUpToAPacket();
    headsOnly_ = false;
}

void ConversationReader::readHeaderBlocksUpToAPacket() {
    for (;;) {
        BlockHead head;
        const Step step = pcapngBlock(nextOffset_, head);
        if (step == Step::Cut) cut_ = ended_ = true;
        if (step != Step::Block) return;
        if (head.type == kSectionHeaderType && !sectionSeen_) {
            if (sectionHeader(nextOffset_, head) == Step::Failed) return;
        } else if (head.type == kInterfaceDescriptionType) {
            if (interfaceDescription(nextOffset_, head) == Step::Failed) return;
        } else {
            return;
        }
        nextOffset_ += head.length;
    }
}

ConversationReader::Step ConversationReader::nextPcapng(ConversationBurst& burst) {
    const std::uint64_t at = nextOffset_;
    BlockHead head;
    const Step step = pcapngBlock(at, head);
    if (step != Step::Block) return step;
    nextOffset_ += head.length;
    switch (head.type) {
        case kSectionHeaderType:
            return sectionHeader(at, head);
        case kInterfaceDescriptionType:
            return interfaceDescription(at, head);
        case kEnhancedPacketType:
            return enhancedPacket(at, head, burst);
        case kSimplePacketType:
            return simplePacket(at, head, burst);
        default:
            return Step::Skipped;
    }
}

// Checks the frame of the block at `at` and reads it into block_ when it is of a kind read here
// (others are only checked to be whole and to end with the length they began with).
ConversationReader::Step ConversationReader::pcapngBlock(std::uint64_t at, BlockHead& head) {
    if (at >= size_) return at == size_ ? Step::End : Step::Cut;
    std::uint8_t start[12];
    const std::uint64_t left = size_ - at;
    const Got got = readExact(at, start, left < sizeof start ? left : sizeof start);
    if (got != Got::All) return got == Got::Error ? Step::Failed : Step::Cut;
    // The section header's type reads the same in both byte orders; its own mark gives the order.
    head.type = load32(start, bigEndian_);
    head.bigEndian = bigEndian_;
    if (head.type == kSectionHeaderType) {
        if (left < sizeof start) return Step::Cut;
        const std::uint32_t magic = static_cast<std::uint32_t>(start[8]) | start[9] << 8 |
                                    start[10] << 16 | static_cast<std::uint32_t>(start[11]) << 24;
        if (magic != kByteOrderMagic && magic != swapped(kByteOrderMagic))
            return fail("section header at byte " + std::to_string(at) + " has no byte-order mark");
        head.bigEndian = magic != kByteOrderMagic;
    } else if (left < 8) {
        return Step::Cut;
    }
    head.length = load32(start + 4, head.bigEndian);

    const std::string block =
        "block at byte " + std::to_string(at) + " claims " + std::to_string(head.length) + " bytes";
    if (head.length < kBlockFrameSize) return fail(block + ", fewer than a block's 12");
    if (head.length % 4 != 0) return fail(block + ", not a multiple of 4");
    if (head.length > kMaxBlockSize) return fail(block + " (the limit is 16 MiB)");
    if (head.length > left) return Step::Cut;

    std::uint8_t trailer[4];
    if (isKnownBlock(head.type)) {
        const std::size_t wanted = headsOnly_ && isPacketBlock(head.type)
                                       ? std::min<std::size_t>(head.length, kPacketHeadSize)
                                       : head.length;
        block_.resize(wanted);
        const Got body = readExact(at, block_.data(), wanted);
        if (body != Got::All) return body == Got::Error ? Step::Failed : Step::Cut;
        if (wanted == head.length) {
            std::copy(block_.end() - 4, block_.end(), trailer);
        } else {
            const Got end = readExact(at + head.length - 4, trailer, sizeof trailer);
            if (end != Got::All) return end == Got::Error ? Step::Failed : Step::Cut;
        }
    } else {
        const Got end = readExact(at + head.length - 4, trailer, sizeof trailer);
        if (end != Got::All) return end == Got::Error ? Step::Failed : Step::Cut;
    }
    const std::uint32_t trailing = load32(trailer, head.bigEndian);
    if (trailing != head.length)
        return fail("block at byte " + std::to_string(at) + " ends with length " +
                    std::to_string(trailing) + ", not the " + std::to_string(head.length) +
                    " it began with");
    return Step::Block;
}

ConversationReader::Step ConversationReader::sectionHeader(std::uint64_t at,
                                                           const BlockHead& head) {
    if (sectionSeen_)
        return fail("a second section begins at byte " + std::to_string(at) +
                    " (one section is read)");
    bigEndian_ = head.bigEndian;
    if (head.length < kSectionHeaderMinimum)
        return fail("section header at byte " + std::to_string(at) + " is only " +
                    std::to_string(head.length) + " bytes");
    const std::uint16_t major = load16(block_.data() + 12, bigEndian_);
    if (major != 1)
        return fail("section header at byte " + std::to_string(at) + " is of version " +
                    std::to_string(major) + " (1 is read)");
    sectionSeen_ = true;
    return Step::Skipped;
}

ConversationReader::Step ConversationReader::interfaceDescription(std::uint64_t at,
                                                                  const BlockHead& head) {
    const std::string where = "interface at byte " + std::to_string(at);
    if (head.length < kInterfaceMinimum)
        return fail(where + " is only " + std::to_string(head.length) + " bytes");
    const std::uint16_t linkType = load16(block_.data() + 8, bigEndian_);
    if (linkType != kLinkTypeRtacSerial)
        return fail(where + " has link type " + std::to_string(linkType) +
                    ", not 250 (RTAC serial)");
    if (interfaces_.size() == kMaxInterfaces)
        return fail(where + " is one more than the " + std::to_string(kMaxInterfaces) +
                    " interfaces read");
    std::uint8_t resolution = kMicrosecondResolution;
    const std::uint32_t snapLength = load32(block_.data() + 12, bigEndian_);
    ConversationInterface described;
    // Options run to the end of the block; one that claims more than is left ends the walk.
    std::size_t option = 16;
    const std::size_t end = head.length - 4;
    while (option + 4 <= end) {
        const std::uint16_t code = load16(block_.data() + option, bigEndian_);
        const std::uint16_t length = load16(block_.data() + option + 2, bigEndian_);
        if (code == kOptionEnd || option + 4 + length > end) break;
        const std::string_view text{reinterpret_cast<const char*>(block_.data() + option + 4),
                                    length};
        if (code == kInterfaceTimeResolution && length >= 1) resolution = block_[option + 4];
        if (code == kInterfaceName && length <= kMaxEventComment) described.name = text;
        if (code == kOptionComment && length <= kMaxEventComment) described.lineSettings = text;
        option += 4 + paddedTo4(length);
    }
    interfaces_.push_back({resolution, snapLength});
    described_.push_back(std::move(described));
    return Step::Skipped;
}

ConversationReader::Step ConversationReader::enhancedPacket(std::uint64_t at, const BlockHead& head,
                                                            ConversationBurst& burst) {
    if (head.length < kPacketMinimum)
        return fail("packet block at byte " + std::to_string(at) + " is only " +
                    std::to_string(head.length) + " bytes");
    const std::uint8_t* fields = block_.data() + 8;
    const std::uint32_t interface = load32(fields, bigEndian_);
    if (interface >= interfaces_.size())
        return fail("packet at byte " + std::to_string(at) + " is on interface " +
                    std::to_string(interface) + ", which is not described");
    const std::uint64_t units = static_cast<std::uint64_t>(load32(fields + 4, bigEndian_)) << 32 |
                                load32(fields + 8, bigEndian_);
    const std::uint32_t captured = load32(fields + 12, bigEndian_);
    if (captured > head.length - kPacketMinimum)
        return fail("packet at byte " + std::to_string(at) + " claims " + std::to_string(captured) +
                    " captured bytes, more than its block holds");
    burst.interfaceIndex = interface;
    const Step step = rtacPacket(at, microsFromUnits(units, interfaces_[interface].resolution),
                                 kPacketMinimum - 4, captured, burst);
    if (step != Step::Burst || !burst.lineEvent) return step;
    return lineEventOptions(at, head, kPacketMinimum - 4 + paddedTo4(captured), burst);
}

// Who did a line event (epb_flags) and what its type alone does not tell (the comment). An
// option that makes no sense is passed over: the event stays as its type says.
ConversationReader::Step ConversationReader::lineEventOptions(std::uint64_t at,
                                                              const BlockHead& head,
                                                              std::size_t optionsAt,
                                                              ConversationBurst& burst) {
    if (block_.size() < head.length) {  // nextPlace read only the packet's head
        block_.resize(head.length);
        const Got got = readExact(at, block_.data(), head.length);
        if (got != Got::All) return got == Got::Error ? Step::Failed : Step::Cut;
    }
    const std::size_t end = head.length - 4;
    for (std::size_t option = optionsAt; option + 4 <= end;) {
        const std::uint16_t code = load16(block_.data() + option, bigEndian_);
        const std::uint16_t length = load16(block_.data() + option + 2, bigEndian_);
        if (code == kOptionEnd || option + 4 + length > end) break;
        const std::uint8_t* value = block_.data() + option + 4;
        if (code == kPacketFlags && length >= 4) {
            const std::uint32_t bound = load32(value, bigEndian_) & (kFlagInbound | kFlagOutbound);
            if (bound == kFlagOutbound) burst.direction = Direction::Host;
            if (bound == kFlagInbound) burst.direction = Direction::Device;
        } else if (code == kOptionComment) {
            applyEventComment({reinterpret_cast<const char*>(value), length}, *burst.lineEvent);
        }
        option += 4 + paddedTo4(length);
    }
    return Step::Burst;
}

ConversationReader::Step ConversationReader::simplePacket(std::uint64_t at, const BlockHead& head,
                                                          ConversationBurst& burst) {
    if (head.length < kSimplePacketMinimum)
        return fail("packet block at byte " + std::to_string(at) + " is only " +
                    std::to_string(head.length) + " bytes");
    if (interfaces_.empty())
        return fail("packet at byte " + std::to_string(at) +
                    " is on interface 0, which is not described");
    // It holds the packet up to the interface's snapshot length; the rest of the block is padding.
    const std::uint32_t original = load32(block_.data() + 8, bigEndian_);
    const std::uint32_t snapLength = interfaces_.front().snapLength;
    const std::uint32_t captured = snapLength != 0 ? std::min(original, snapLength) : original;
    if (captured > head.length - kSimplePacketMinimum)
        return fail("packet at byte " + std::to_string(at) + " claims " + std::to_string(captured) +
                    " captured bytes, more than its block holds");
    burst.interfaceIndex = 0;
    return rtacPacket(at, std::nullopt, kSimplePacketMinimum - 4, captured, burst);
}

ConversationReader::Step ConversationReader::pcapRecord(std::uint64_t at, ConversationBurst& burst,
                                                        std::uint64_t& length) {
    if (at >= size_) return at == size_ ? Step::End : Step::Cut;
    std::uint8_t header[kPcapRecordHeaderSize];
    const Got got = readExact(at, header, sizeof header);
    if (got != Got::All) return got == Got::Error ? Step::Failed : Step::Cut;
    const std::uint32_t captured = load32(header + 8, bigEndian_);
    if (captured > kMaxBlockSize)
        return fail("packet at byte " + std::to_string(at) + " claims " + std::to_string(captured) +
                    " bytes (the limit is 16 MiB)");
    length = kPcapRecordHeaderSize + captured;
    if (length > size_ - at) return Step::Cut;
    const std::size_t wanted =
        headsOnly_ ? kPcapRecordHeaderSize + std::min<std::size_t>(captured, kRtacHeaderSize)
                   : length;
    block_.resize(wanted);
    const Got body = readExact(at, block_.data(), wanted);
    if (body != Got::All) return body == Got::Error ? Step::Failed : Step::Cut;
    const std::uint64_t seconds = load32(header, bigEndian_);
    const std::uint32_t fraction = load32(header + 4, bigEndian_);
    const std::uint64_t micros =
        seconds * 1'000'000 + (pcapNanoseconds_ ? fraction / 1000 : fraction);
    burst.interfaceIndex = 0;
    return rtacPacket(at, micros, kPcapRecordHeaderSize, captured, burst);
}

ConversationReader::Step ConversationReader::rtacPacket(std::uint64_t at,
                                                        std::optional<std::uint64_t> timeMicros,
                                                        std::size_t dataStart, std::size_t captured,
                                                        ConversationBurst& burst) {
    if (captured < kRtacHeaderSize)
        return fail("packet at byte " + std::to_string(at) + " holds " + std::to_string(captured) +
                    " bytes, fewer than the 12-byte RTAC serial header");
    const std::uint8_t* packet = block_.data() + dataStart;
    const std::uint8_t event = packet[8];
    // Only data events carry bytes of the conversation; what the line did is passed unless kept,
    // and other events always.
    const bool data = event == kEventHostData || event == kEventDeviceData;
    const std::optional<LineEventKind> lineEvent = lineEventOfType(event);
    if (!data && !(keepLineEvents_ && lineEvent)) return Step::Skipped;
    if (!timeMicros) {
        const std::uint32_t micros = load32(packet + 4, true);
        if (micros >= 1'000'000)
            return fail("packet at byte " + std::to_string(at) + " has an RTAC time of " +
                        std::to_string(micros) + " microseconds past its second");
        timeMicros = std::uint64_t{load32(packet, true)} * 1'000'000 + micros;
    }
    burst.timeMicros = *timeMicros;
    burst.direction = event == kEventHostData ? Direction::Host : Direction::Device;
    burst.controlLines = packet[9];
    burst.offset = at;
    burst.lineEvent.reset();
    if (!data) {
        // Any bytes after the header are no conversation's.
        burst.lineEvent = LineEvent{*lineEvent};
        if (*lineEvent == LineEventKind::ControlLines) burst.lineEvent->controlLines = packet[9];
        burst.bytes = {};
        bytesAt_ = at + dataStart + kRtacHeaderSize;
        bytesLength_ = 0;
        return Step::Burst;
    }
    if (headsOnly_) {
        burst.bytes = {};
        bytesAt_ = at + dataStart + kRtacHeaderSize;
        bytesLength_ = captured - kRtacHeaderSize;
        return Step::Burst;
    }
    burst.bytes = {packet + kRtacHeaderSize, captured - kRtacHeaderSize};
    return Step::Burst;
}

ConversationReader::Got ConversationReader::readExact(std::uint64_t at, void* destination,
                                                      std::size_t count) {
    errno = 0;
    if (at != filePosition_ && !seekTo(file_, at)) {
        filePosition_ = std::numeric_limits<std::uint64_t>::max();
        failRead();
        return Got::Error;
    }
    const std::size_t got = std::fread(destination, 1, count, file_);
    filePosition_ = at + got;
    if (got == count) return Got::All;
    if (std::ferror(file_)) {
        failRead();
        return Got::Error;
    }
    // The file shrank since it was opened: what is missing counts as cut.
    std::clearerr(file_);
    return Got::Short;
}

ConversationReader::Step ConversationReader::fail(const std::string& what) {
    failure_ = fileFailure(Failure::Kind::ReadInput, path_, {});
    failure_.detail = what;
    ended_ = true;
    return Step::Failed;
}

ConversationReader::Step ConversationReader::failRead() {
    const SystemError error = lastCLibraryError();
    failure_ =
        fileFailure(Failure::Kind::ReadInput, path_, error.isSet() ? error : cLibraryError(EIO));
    ended_ = true;
    return Step::Failed;
}
