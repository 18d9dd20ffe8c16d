#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "conversation/ConversationReader.h"
#include "dataview/DataRowIndex.h"
#include "engine/Failure.h"
#include "engine/SerialFile.h"

// The texts of one row of the data view; direction is empty for a serial file, port for any file
// but a conversation of several ports.
struct DataRow {
    std::string time;
    std::string direction;
    std::string length;
    std::string hex;
    std::string ascii;
    std::string port;
};

enum class DataFileKind : std::uint8_t { Serial, Conversation };

// What the data view shows of one file: a row per chunk of a serial file or per burst of a
// conversation, read from the file when asked for (a few rows kept), never the whole file. A
// worker thread indexes the rows (16 bytes each) while the first ones already show; rowCount
// grows as it goes. With following on it waits at the end for more (a file being recorded).
// Used from one thread; only the index is shared with the worker.
class DataViewModel {
public:
    DataViewModel() = default;
    ~DataViewModel() { close(); }
    DataViewModel(const DataViewModel&) = delete;
    DataViewModel& operator=(const DataViewModel&) = delete;

    Failure open(const std::string& path, bool following);
    void close();
    bool isOpen() const { return indexer_.joinable(); }
    DataFileKind kind() const { return kind_; }
    // A conversation of several ports (interfaces): its rows tell their port.
    bool severalPorts() const { return portNames_.size() > 1; }
    // Off: the worker stops at the end of what the file holds now.
    void setFollowing(bool following) { following_ = following; }

    std::uint64_t rowCount() const { return index_.size(); }
    bool indexComplete() const { return indexDone_; }
    // A row past the indexed ones, or one that will not read, shows "..." throughout.
    const DataRow& row(std::uint64_t number);

    // A row's time in the file's own unit from its start: tenths for a serial file,
    // microseconds since the first burst for a conversation.
    std::optional<std::uint64_t> rowTime(std::uint64_t number) const;
    // The last row at or before a time in that unit.
    std::optional<std::uint64_t> rowAtTime(std::uint64_t time) const;

private:
    static constexpr std::size_t kCachedRows = 256;
    struct CachedRow {
        std::uint64_t number = ~std::uint64_t{0};
        DataRow row;
    };

    void indexSerial(const std::string& path);
    void indexConversation(const std::string& path);
    bool waitForGrowth();
    DataRow readRow(std::uint64_t number);
    std::uint64_t firstTime() const;

    std::string path_;
    DataFileKind kind_ = DataFileKind::Serial;
    std::vector<std::string> portNames_;  // a conversation's, by interface index
    DataRowIndex index_;
    std::thread indexer_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> following_{false};
    std::atomic<bool> indexDone_{false};
    SerialFileReader serialFile_;
    ConversationReader conversation_;
    std::array<CachedRow, kCachedRows> cache_;
};
