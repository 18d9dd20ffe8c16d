#include "conversation/ConversationWriter.h"

#include <algorithm>

#include "conversation/ConversationFormat.h"
#include "conversation/LineEventText.h"
#include "engine/WriteFailure.h"

using namespace conversation_format;

namespace {

// Bursts waiting beyond this go out at once, so memory stays small when flushIfDue is late.
constexpr std::size_t kPendingLimit = 64 * 1024;
// A packet block around its data: frame, packet fields, the flags option and the end of options.
constexpr std::size_t kPacketOverhead = kBlockFrameSize + kPacketFieldsSize + 8 + 4;

void put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void putBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void padTo4(std::vector<std::uint8_t>& out, std::size_t blockStart) {
    while ((out.size() - blockStart) % 4 != 0) out.push_back(0);
}

// Option texts are UTF-8 without a terminator; an empty one is left out.
void putTextOption(std::vector<std::uint8_t>& out, std::size_t blockStart, std::uint16_t code,
                   const std::string& text) {
    if (text.empty()) return;
    const std::size_t length = std::min<std::size_t>(text.size(), 0xFFFF);
    put16(out, code);
    put16(out, static_cast<std::uint16_t>(length));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    padTo4(out, blockStart);
}

// Writes the block's type and a length to be settled by endBlock; returns where it starts.
std::size_t beginBlock(std::vector<std::uint8_t>& out, std::uint32_t type) {
    const std::size_t start = out.size();
    put32(out, type);
    put32(out, 0);
    return start;
}

void endBlock(std::vector<std::uint8_t>& out, std::size_t start) {
    const auto length = static_cast<std::uint32_t>(out.size() - start + 4);
    put32(out, length);
    for (int i = 0; i < 4; ++i) out[start + 4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
}

void encodeHeader(std::vector<std::uint8_t>& out, const ConversationHeader& header) {
    std::size_t block = beginBlock(out, kSectionHeaderType);
    put32(out, kByteOrderMagic);
    put16(out, 1);  // version 1.0
    put16(out, 0);
    put32(out, 0xFFFFFFFF);  // section length not given: the file is written as it goes
    put32(out, 0xFFFFFFFF);
    putTextOption(out, block, kSectionUserApplication, header.application);
    put32(out, kOptionEnd);
    endBlock(out, block);

    const std::vector<ConversationInterface> unnamed(1);
    for (const ConversationInterface& port :
         header.interfaces.empty() ? unnamed : header.interfaces) {
        block = beginBlock(out, kInterfaceDescriptionType);
        put16(out, kLinkTypeRtacSerial);
        put16(out, 0);
        put32(out, 0);  // no snapshot limit
        putTextOption(out, block, kInterfaceName, port.name);
        putTextOption(out, block, kOptionComment, port.lineSettings);
        put32(out, kOptionEnd);
        endBlock(out, block);
    }
}

// A packet block as far as the end of its RTAC header; the caller adds the bytes, then ends it.
std::size_t beginPacket(std::vector<std::uint8_t>& out, std::uint32_t interfaceIndex,
                        std::uint64_t timeMicros, std::size_t bytes, std::uint8_t eventType,
                        std::uint8_t controlLines) {
    const auto captured = static_cast<std::uint32_t>(kRtacHeaderSize + bytes);
    const std::size_t block = beginBlock(out, kEnhancedPacketType);
    put32(out, interfaceIndex);
    put32(out, static_cast<std::uint32_t>(timeMicros >> 32));
    put32(out, static_cast<std::uint32_t>(timeMicros));
    put32(out, captured);
    put32(out, captured);
    putBigEndian32(out, static_cast<std::uint32_t>(timeMicros / 1'000'000));
    putBigEndian32(out, static_cast<std::uint32_t>(timeMicros % 1'000'000));
    out.push_back(eventType);
    out.push_back(controlLines);
    put16(out, 0);  // footer
    return block;
}

void endPacket(std::vector<std::uint8_t>& out, std::size_t block, Direction direction,
               const std::string& comment = {}) {
    padTo4(out, block);
    put16(out, kPacketFlags);
    put16(out, 4);
    put32(out, direction == Direction::Host ? kFlagOutbound : kFlagInbound);
    putTextOption(out, block, kOptionComment, comment);
    put32(out, kOptionEnd);
    endBlock(out, block);
}

void encodeBurst(std::vector<std::uint8_t>& out, const ConversationBurst& burst) {
    const bool host = burst.direction == Direction::Host;
    const std::size_t block =
        beginPacket(out, burst.interfaceIndex, burst.timeMicros, burst.bytes.size(),
                    host ? kEventHostData : kEventDeviceData, burst.controlLines);
    out.insert(out.end(), burst.bytes.begin(), burst.bytes.end());
    endPacket(out, block, burst.direction);
}

// Each kind as the RTAC event type that means it; the comment tells what the type cannot.
void encodeLineEvent(std::vector<std::uint8_t>& out, std::uint32_t interfaceIndex,
                     std::uint64_t timeMicros, Direction who, std::uint8_t controlLines,
                     const LineEvent& event) {
    std::uint8_t type = kEventStatusChange;
    std::string comment;
    switch (event.kind) {
        case LineEventKind::ControlLines:
            controlLines = event.controlLines;
            break;
        case LineEventKind::BreakStart:
            type = kEventSerialBreak;
            comment = kCommentBreakStart;
            break;
        case LineEventKind::BreakEnd:
            type = kEventSerialBreak;
            comment = kCommentBreakEnd;
            break;
        case LineEventKind::FramingError:
            type = kEventFramingError;
            break;
        case LineEventKind::ParityError:
            type = kEventParityError;
            break;
        case LineEventKind::LineSettings:
            comment = kCommentLineSettings + changedSettingsText(event);
            break;
        case LineEventKind::DataLost:
            type = kEventDataLost;
            comment = kCommentPortAway + awayText(event.awayMicros);
            break;
    }
    endPacket(out, beginPacket(out, interfaceIndex, timeMicros, 0, type, controlLines), who,
              comment);
}

}  // namespace

const std::size_t ConversationWriter::kMaxBurstBytes =
    kMaxBlockSize - kPacketOverhead - kRtacHeaderSize - 3;

ConversationWriter::~ConversationWriter() { close(); }

Failure ConversationWriter::open(const std::string& path, const ConversationHeader& header) {
    close();
    failure_ = {};
    path_ = path;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return failure_ = openFailure(Failure::Kind::CreateOutput, path);
    // pending_ is the only buffer: each write out hands the system whole blocks.
    std::setvbuf(file, nullptr, _IONBF, 0);
    file_ = file;
    pending_.clear();
    pending_.reserve(kPendingLimit);
    flushedOnce_ = false;
    encodeHeader(pending_, header);
    interfaceCount_ =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, header.interfaces.size()));
    return writeOut();
}

Failure ConversationWriter::write(const ConversationBurst& burst) {
    if (burst.lineEvent)
        return writeLineEvent(burst.timeMicros, burst.direction, burst.controlLines,
                              *burst.lineEvent, burst.interfaceIndex);
    if (const Failure failure = checkInterface(burst.interfaceIndex); failure.happened())
        return failure;
    if (burst.bytes.size() > kMaxBurstBytes)
        return failed(Failure::Kind::WriteOutput, {},
                      "a burst of " + std::to_string(burst.bytes.size()) +
                          " bytes is more than a block may hold");
    encodeBurst(pending_, burst);
    return pending_.size() >= kPendingLimit ? writeOut() : Failure{};
}

Failure ConversationWriter::writeLineEvent(std::uint64_t timeMicros, Direction who,
                                           std::uint8_t controlLines, const LineEvent& event,
                                           std::uint32_t interfaceIndex) {
    if (const Failure failure = checkInterface(interfaceIndex); failure.happened()) return failure;
    encodeLineEvent(pending_, interfaceIndex, timeMicros, who, controlLines, event);
    return pending_.size() >= kPendingLimit ? writeOut() : Failure{};
}

Failure ConversationWriter::checkInterface(std::uint32_t interfaceIndex) {
    if (failure_.happened() || !file_) return failure_;
    if (interfaceIndex < interfaceCount_) return {};
    // The caller's mistake, not the file's: what was written stays good.
    Failure refused = fileFailure(Failure::Kind::WriteOutput, path_, {});
    refused.detail = "interface " + std::to_string(interfaceIndex) + " is not described";
    return refused;
}

Failure ConversationWriter::flushIfDue(std::uint64_t nowMicros) {
    if (failure_.happened() || !file_) return failure_;
    if (flushedOnce_ && nowMicros - lastFlush_ < kFlushEveryMicros) return {};
    // A quiet line costs no call: nothing waiting leaves the clock where it was, so the next
    // burst after a pause goes out at once.
    if (pending_.empty()) return {};
    flushedOnce_ = true;
    lastFlush_ = nowMicros;
    return writeOut();
}

Failure ConversationWriter::flush() {
    if (failure_.happened() || !file_) return failure_;
    return writeOut();
}

Failure ConversationWriter::writeOut() {
    if (pending_.empty()) return {};
    clearWriteFailure();
    const bool whole = std::fwrite(pending_.data(), 1, pending_.size(), file_) == pending_.size();
    pending_.clear();
    if (!whole) return failed(Failure::Kind::WriteOutput, lastWriteFailure());
    return {};
}

Failure ConversationWriter::close() {
    if (!file_) {
        failure_ = {};
        return {};
    }
    if (!failure_.happened()) writeOut();
    clearWriteFailure();
    const bool clean = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!clean && !failure_.happened()) failed(Failure::Kind::WriteOutput, lastWriteFailure());
    Failure result = failure_;
    failure_ = {};
    return result;
}

Failure ConversationWriter::failed(Failure::Kind kind, SystemError error, std::string detail) {
    failure_ = fileFailure(kind, path_, error);
    failure_.detail = std::move(detail);
    return failure_;
}
