#include "convert/ConversationExport.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "conversation/ConversationReader.h"
#include "conversation/LineEventText.h"
#include "convert/BlockOutput.h"
#include "convert/ByteForms.h"
#include "convert/ExportSource.h"
#include "engine/AskEvery.h"

namespace {

constexpr const char* kHeadingTime = "Time(seconds)";
constexpr const char* kHeadingRest = " From    Data...\r\n";
// A file of several ports numbers each line's port (its interface, from 1) before who sent it.
constexpr const char* kHeadingPort = " Port";
// A burst may hold megabytes: it is written a slice at a time.
constexpr std::size_t kSliceBytes = 4096;
constexpr std::size_t kColumnsMax = 64;

class ConversationExportSource : public ExportSource {
public:
    Failure open(const std::string& path) override {
        std::error_code ignored;
        size_ = std::filesystem::file_size(path, ignored);
        if (size_ == static_cast<std::uintmax_t>(-1)) size_ = 0;
        Failure failure = reader_.open(path);
        // A file that is no conversation cannot be read as one: it was not opened.
        if (failure.happened()) failure.kind = Failure::Kind::OpenInput;
        reader_.keepLineEvents(true);
        severalPorts_ = reader_.interfaces().size() > 1;
        return failure;
    }
    std::uint64_t size() override { return size_; }
    bool write(BlockOutput& output, const ExportOptions& options,
               const ConversionProgress& progress, std::uint64_t total) override;
    Failure close() override {
        Failure failure = reader_.failure();
        reader_.close();
        return failure;
    }

private:
    void writeColumns(BlockOutput& output, const ExportOptions& options,
                      const ConversationBurst& burst);

    ConversationReader reader_;
    std::uint64_t size_ = 0;
    std::optional<std::uint64_t> firstMicros_;
    bool severalPorts_ = false;
};

void ConversationExportSource::writeColumns(BlockOutput& output, const ExportOptions& options,
                                            const ConversationBurst& burst) {
    char columns[kColumnsMax];
    int length = 0;
    if (options.showTimeOffset) {
        // Times may step back a little (a clock set back): such a burst shows before the first.
        const double seconds =
            static_cast<double>(static_cast<std::int64_t>(burst.timeMicros - *firstMicros_)) / 1e6;
        length = std::snprintf(columns, sizeof columns, "%-12f:", seconds);
        length = std::clamp(length, 0, static_cast<int>(sizeof columns) - 1);
    }
    if (options.showDataPosition && severalPorts_) {
        const std::size_t room = sizeof columns - static_cast<std::size_t>(length);
        const int port = std::snprintf(columns + length, room, " %-4u", burst.interfaceIndex + 1);
        length += std::clamp(port, 0, static_cast<int>(room) - 1);
    }
    if (options.showDataPosition) {
        const char* from = burst.direction == Direction::Host ? " host   " : " device ";
        std::memcpy(columns + length, from, 8);
        length += 8;
    }
    output.append(columns, static_cast<std::size_t>(length));
}

bool ConversationExportSource::write(BlockOutput& output, const ExportOptions& options,
                                     const ConversionProgress& progress, std::uint64_t total) {
    const bool raw = options.exportType == ExportType::RawBytes;
    if (options.showHeading && !raw) {
        if (options.showTimeOffset) output.append(kHeadingTime, std::strlen(kHeadingTime));
        if (options.showDataPosition && severalPorts_)
            output.append(kHeadingPort, std::strlen(kHeadingPort));
        output.append(kHeadingRest, std::strlen(kHeadingRest));
    }
    AskEvery reporting(kProgressStep, static_cast<bool>(progress));
    ConversationBurst burst;
    // A full disk stays full: writing on would only take time.
    while (!output.failed() && reader_.next(burst)) {
        if (reporting.due(burst.offset) && !progress(burst.offset, total)) return false;
        if (!firstMicros_) firstMicros_ = burst.timeMicros;
        if (burst.lineEvent) {
            // The raw form is the bytes alone; the others show the event in place of bytes.
            if (raw) continue;
            writeColumns(output, options, burst);
            const std::string text = "[" + lineEventText(*burst.lineEvent) + "]\r\n";
            output.append(text.data(), text.size());
            continue;
        }
        if (!raw) writeColumns(output, options, burst);
        for (std::size_t done = 0; done < burst.bytes.size(); done += kSliceBytes) {
            const std::size_t slice = std::min(kSliceBytes, burst.bytes.size() - done);
            std::uint8_t* out = output.room(slice * kHexFieldSize + kByteFormsOverhang);
            output.commit(formatBytes(options.exportType, burst.bytes.data() + done, slice, out));
        }
        if (!raw) output.append("\r\n", 2);
    }
    return true;
}

}  // namespace

ExportResult exportConversationToText(const std::string& path, const ExportOptions& options,
                                      const ConversionProgress& progress) {
    ConversationExportSource source;
    return exportSourceToText(source, path, options, progress);
}

ExportResult exportConversationToStream(const std::string& path, std::FILE* stream,
                                        const std::string& streamName, const ExportOptions& options,
                                        const ConversionProgress& progress) {
    ConversationExportSource source;
    return exportSourceToStream(source, path, stream, streamName, options, progress);
}
