#include "dataview/DataViewModel.h"

#include <chrono>
#include <cstring>
#include <vector>

#include "dataview/DataRowText.h"
#include "engine/MarkerSearch.h"

namespace {

// The first bytes of a pcapng section header and of classic pcap in either byte order and
// either time resolution; a serial file has no header and starts with a chunk marker.
bool startsLikeConversation(const std::uint8_t (&head)[4]) {
    static constexpr std::uint8_t kMagics[][4] = {{0x0A, 0x0D, 0x0D, 0x0A},
                                                  {0xD4, 0xC3, 0xB2, 0xA1},
                                                  {0xA1, 0xB2, 0xC3, 0xD4},
                                                  {0x4D, 0x3C, 0xB2, 0xA1},
                                                  {0xA1, 0xB2, 0x3C, 0x4D}};
    for (const auto& magic : kMagics)
        if (std::memcmp(head, magic, 4) == 0) return true;
    return false;
}

// Rows reach the index in batches, so the worker takes the index's lock rarely.
constexpr std::size_t kIndexBatch = 4096;
constexpr std::uint64_t kCrossingPiece = 16 << 20;
constexpr auto kGrowthPoll = std::chrono::milliseconds(100);

}  // namespace

Failure DataViewModel::open(const std::string& path, bool following) {
    close();
    if (!serialFile_.open(path)) return openFailure(Failure::Kind::OpenInput, path);
    std::uint8_t head[4] = {};
    const bool conversation = serialFile_.read(head, 4) == 4 && startsLikeConversation(head);
    if (conversation) {
        serialFile_.close();
        if (Failure failure = conversation_.open(path); failure.happened()) return failure;
    }
    kind_ = conversation ? DataFileKind::Conversation : DataFileKind::Serial;
    portNames_.clear();
    if (conversation) {
        for (const ConversationInterface& port : conversation_.interfaces())
            portNames_.push_back(port.name);
    }
    stop_ = false;
    following_ = following;
    indexDone_ = false;
    path_ = path;
    index_.clear();
    cache_ = {};
    indexer_ = std::thread([this, path, conversation] {
        if (conversation)
            indexConversation(path);
        else
            indexSerial(path);
        indexDone_ = true;
    });
    return {};
}

void DataViewModel::close() {
    if (indexer_.joinable()) {
        stop_ = true;
        indexer_.join();
    }
    serialFile_.close();
    conversation_.close();
}

bool DataViewModel::waitForGrowth() {
    if (!following_ || stop_) return false;
    std::this_thread::sleep_for(kGrowthPoll);
    return !stop_;
}

void DataViewModel::indexSerial(const std::string& path) {
    SerialFileReader file;
    if (!file.open(path)) return;
    // Rows are what playback reads, with its resync step; long stretches without a marker
    // (damage, or the holes of a sparse file) are crossed by the marker search, not byte by byte.
    ChunkReader reader(file, kPlaybackResyncStep);
    std::optional<MarkerSearch> search(std::in_place, file);
    Chunk chunk;
    std::vector<DataRowEntry> batch;
    batch.reserve(kIndexBatch);
    while (!stop_) {
        const ChunkReader::Step step = reader.readAt(chunk, false);
        std::optional<std::uint64_t> cutChunk;
        if (step == ChunkReader::Step::Chunk) {
            if (reader.finish(chunk))
                batch.push_back({chunk.start, chunk.timeOffset});
            else
                cutChunk = chunk.start;  // its terminator may still be on its way
        } else if (step == ChunkReader::Step::Resync) {
            // The rows before a long stretch show before it is crossed, and a close is heard
            // between pieces of it.
            if (!batch.empty()) {
                index_.append(batch);
                batch.clear();
            }
            reader.setCursor(search->nextCursor(reader.cursor(), reader.cursor() + kCrossingPiece));
        }
        const bool atEnd = step == ChunkReader::Step::End || cutChunk.has_value();
        if (batch.size() == kIndexBatch || atEnd) {
            index_.append(batch);
            batch.clear();
        }
        if (atEnd) {
            if (file.readFailed() || !waitForGrowth()) {
                // Playback delivers a last chunk without its terminator: so does the view.
                if (cutChunk) batch.push_back({chunk.start, chunk.timeOffset});
                break;
            }
            // Reading goes on where it ended, over what was written since.
            reader.setCursor(cutChunk ? *cutChunk : reader.cursor());
            search.emplace(file);
        }
    }
    index_.append(batch);
}

void DataViewModel::indexConversation(const std::string& path) {
    ConversationReader reader;
    if (reader.open(path).happened()) return;
    ConversationBurst burst;
    std::vector<DataRowEntry> batch;
    batch.reserve(kIndexBatch);
    std::uint64_t lastOffset = 0;
    bool any = false;
    while (!stop_) {
        const bool got = reader.next(burst);
        if (got) {
            batch.push_back({burst.offset, burst.timeMicros});
            lastOffset = burst.offset;
            any = true;
        }
        if (batch.size() == kIndexBatch || !got) {
            index_.append(batch);
            batch.clear();
        }
        if (!got) {
            if (reader.failure().happened() || !waitForGrowth()) break;
            // Bursts written since: read on after the last one indexed (read again, not kept).
            if (any) {
                if (!reader.continueFrom(lastOffset) || !reader.next(burst)) break;
            } else {
                reader.close();
                if (reader.open(path).happened()) break;
            }
        }
    }
    index_.append(batch);
}

std::uint64_t DataViewModel::firstTime() const {
    const std::optional<DataRowEntry> first = index_.at(0);
    return first ? first->time : 0;
}

std::optional<std::uint64_t> DataViewModel::rowTime(std::uint64_t number) const {
    const std::optional<DataRowEntry> entry = index_.at(number);
    if (!entry) return std::nullopt;
    if (kind_ == DataFileKind::Serial) return entry->time;
    return entry->time - firstTime();
}

std::optional<std::uint64_t> DataViewModel::rowAtTime(std::uint64_t time) const {
    return index_.lastRowAtOrBefore(kind_ == DataFileKind::Serial ? time : time + firstTime());
}

const DataRow& DataViewModel::row(std::uint64_t number) {
    CachedRow& slot = cache_[number % kCachedRows];
    if (slot.number != number) {
        slot.row = readRow(number);
        // A row not indexed yet is asked for again later, not kept as "...".
        slot.number = slot.row.hex == "..." ? ~std::uint64_t{0} : number;
    }
    return slot.row;
}

DataRow DataViewModel::readRow(std::uint64_t number) {
    const DataRow unknown{"...", "...", "...", "...", "...", "..."};
    const std::optional<DataRowEntry> entry = index_.at(number);
    if (!entry) return unknown;
    if (kind_ == DataFileKind::Serial) {
        ChunkReader reader(serialFile_, kPlaybackResyncStep, entry->offset);
        Chunk chunk;
        if (reader.readAt(chunk) != ChunkReader::Step::Chunk) return unknown;
        const std::span<const std::uint8_t> bytes(chunk.data, chunk.length);
        return {formatTenthsRowTime(chunk.timeOffset),
                "",
                std::to_string(chunk.length),
                formatRowHex(bytes),
                formatRowAscii(bytes),
                ""};
    }
    ConversationBurst burst;
    if (!conversation_.readAt(entry->offset, burst)) {
        // A failure ends the reader's reading: a fresh open lets the next rows read again.
        conversation_.close();
        (void)conversation_.open(path_);
        return unknown;
    }
    std::string port;
    if (severalPorts()) {
        const std::size_t index = burst.interfaceIndex;
        port = formatRowPort(burst.interfaceIndex,
                             index < portNames_.size() ? portNames_[index] : std::string());
    }
    return {formatMicrosRowTime(burst.timeMicros - firstTime()),
            burst.direction == Direction::Host ? "host" : "device",
            std::to_string(burst.bytes.size()),
            formatRowHex(burst.bytes),
            formatRowAscii(burst.bytes),
            std::move(port)};
}
