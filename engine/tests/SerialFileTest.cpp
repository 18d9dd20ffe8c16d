#include <gtest/gtest.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>

#include "engine/BisectingChunkSeek.h"
#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "tests/support/ChunkBytes.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempDir.h"

namespace {

struct Seen {
    std::uint64_t start;
    std::uint32_t offset;
    Bytes data;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> readChunks(const std::string& path, unsigned step) {
    SerialFileReader file;
    EXPECT_TRUE(file.open(path));
    ChunkReader reader(file, step);
    std::vector<Seen> seen;
    Chunk chunk;
    while (reader.next(chunk))
        seen.push_back(
            {chunk.start, chunk.timeOffset, Bytes(chunk.data, chunk.data + chunk.length)});
    return seen;
}

std::optional<std::uint64_t> seek(const std::string& path, std::uint32_t target) {
    SerialFileReader file;
    EXPECT_TRUE(file.open(path));
    return seekChunk(file, target);
}

struct Scan {
    std::optional<std::uint32_t> duration;
    std::vector<std::string> lines;
    Failure failure;
};

Scan scan(const std::string& path) {
    RecordingTraceSink sink;
    DebugTrace trace(sink);
    DurationScan result = scanDuration(path, trace);
    return {result.duration, sink.lines(), result.failure};
}

class SerialFileTest : public ::testing::Test {
protected:
    std::string put(const Bytes& bytes) {
        std::string path = dir.file("f" + std::to_string(files++) + ".ser");
        EXPECT_TRUE(writeWholeFile(path, bytes));
        return path;
    }
    TempDir dir;
    int files = 0;
};

const Bytes kA = chunkBytes(0, {0xd1, 0xd2, 0xd3});  // the 11-byte chunk
const Bytes kTwoChunks = join({kA, chunkBytes(12, {0xe1})});

TEST_F(SerialFileTest, WriterTruncatesWritesExactLayoutAndHoldsBytesUntilClose) {
    std::string path = put(Bytes(50, 0xEE));
    SerialFileWriter writer;
    ASSERT_TRUE(writer.open(path));
    EXPECT_TRUE(readWholeFile(path).empty());
    Bytes full(255, 0x0A);
    full[0] = 0x53, full[1] = 0x01;
    EXPECT_TRUE(writer.writeChunk(0xA1B2C3D4, full.data(), 255));
    EXPECT_TRUE(writer.writeChunk(7, nullptr, 0));
    EXPECT_TRUE(readWholeFile(path).empty()) << "flushed before close";
    EXPECT_TRUE(writer.close());
    EXPECT_EQ(readWholeFile(path), join({chunkBytes(0xA1B2C3D4, full), chunkBytes(7, {})}));
    EXPECT_FALSE(writer.writeChunk(1, full.data(), 1));
    EXPECT_FALSE(writer.open(dir.file("no/such/dir.ser")));
}

// Several read windows long, with empty chunks, equal offsets and marker/terminator bytes in data.
TEST_F(SerialFileTest, RoundTripReadsEveryChunkWithBothStepsAndSeeksLikeAModel) {
    std::string path = dir.file("round.ser");
    std::mt19937 random(7);
    std::vector<Seen> written;
    SerialFileWriter writer;
    ASSERT_TRUE(writer.open(path));
    std::uint64_t position = 0;
    std::uint32_t offset = 0;
    while (position < 300'000) {
        Bytes data(random() % 256);
        for (auto& byte : data)
            byte = random() % 3 ? random() : Bytes{0x53, 0x01, 0x0A}[random() % 3];
        offset += random() % 3;
        ASSERT_TRUE(writer.writeChunk(offset, data.data(), data.size()));
        written.push_back({position, offset, data});
        position += 8 + data.size();
    }
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(readChunks(path, kPlaybackResyncStep), written);
    EXPECT_EQ(readChunks(path, kExportResyncStep), written);
    for (std::uint32_t target : {1u, offset / 3, offset / 2, offset, offset + 1}) {
        std::optional<std::uint64_t> expected;
        for (const auto& chunk : written)
            if (!chunk.data.empty() && chunk.offset >= target) {
                expected = chunk.start;
                break;
            }
        EXPECT_EQ(seek(path, target), expected) << "target " << target;
    }
}

TEST_F(SerialFileTest, TwoChunkExampleCursorsScanAndSeek) {
    std::string path = put(kTwoChunks);
    const std::pair<unsigned, std::vector<std::uint64_t>> cursorsByStep[] = {
        {2, {0, 9, 11, 18, 20}}, {1, {0, 9, 10, 11, 18, 19}}};
    for (const auto& [step, cursors] : cursorsByStep) {
        SerialFileReader file;
        ASSERT_TRUE(file.open(path));
        ChunkReader reader(file, step);
        std::vector<std::uint64_t> seen;
        Chunk chunk;
        while (seen.size() < 50) {
            seen.push_back(reader.cursor());
            ChunkReader::Step result = reader.readAt(chunk);
            if (result == ChunkReader::Step::End) break;
            if (result != ChunkReader::Step::Chunk) continue;
            // Playback comes back to a chunk that is not due yet.
            std::uint64_t start = chunk.start;
            reader.setCursor(start);
            ASSERT_EQ(reader.readAt(chunk), ChunkReader::Step::Chunk);
            EXPECT_EQ(chunk.start, start);
            EXPECT_TRUE(reader.finish(chunk));
        }
        EXPECT_EQ(seen, cursors) << "step " << step;
    }
    EXPECT_EQ(readChunks(path, 2),
              (std::vector<Seen>{{0, 0, {0xd1, 0xd2, 0xd3}}, {11, 12, {0xe1}}}));
    Scan result = scan(path);
    EXPECT_EQ(result.duration, 12u);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"Loading " + path + "\r\n", "FileSize=20\r\n",
                                                      "found chunk: pos=2 off=0 sz=3\r\n",
                                                      "found chunk: pos=13 off=12 sz=1\r\n",
                                                      "Loading success=1\r\n"}));
    EXPECT_FALSE(result.failure.happened());
    const std::pair<std::uint32_t, std::optional<std::uint64_t>> seeks[] = {
        {0, 0}, {1, 11}, {5, 11}, {12, 11}, {13, std::nullopt}};
    for (auto [target, expected] : seeks)
        EXPECT_EQ(seek(path, target), expected) << "target " << target;
}

TEST_F(SerialFileTest, EmptyFileDeliversNothingAndSeeksOnlyToZero) {
    std::string path = put({});
    EXPECT_TRUE(readChunks(path, 2).empty());
    EXPECT_EQ(seek(path, 1), std::nullopt);
    EXPECT_EQ(seek(path, 0), 0u);
}

// A failed read is not the end: the chunk reader and the seek stop, and the file says why;
// reading a good file to its end is no failure.
TEST_F(SerialFileTest, ReadErrorIsToldApartFromTheEnd) {
    SerialFileReader good;
    ASSERT_TRUE(good.open(put(kTwoChunks)));
    ChunkReader reader(good, kExportResyncStep);
    Chunk chunk;
    int chunks = 0;
    while (reader.next(chunk)) ++chunks;
    EXPECT_EQ(chunks, 2);
    EXPECT_EQ(seekChunk(good, 13), std::nullopt);
    EXPECT_FALSE(good.readFailed());

    SerialFileReader folder;
    if (!folder.open(dir.path().string())) GTEST_SKIP() << "a folder does not open as a file here";
    EXPECT_FALSE(ChunkReader(folder, kExportResyncStep).next(chunk));
    EXPECT_TRUE(folder.readFailed());
    EXPECT_EQ(folder.readError(), EISDIR);
    EXPECT_EQ(seekChunk(folder, 1), std::nullopt);
    EXPECT_TRUE(folder.readFailed());
}

struct ScanCase {
    const char* what;
    Bytes bytes;
    std::optional<std::uint32_t> duration;
    const char* found;  // the one "found chunk" line's values, or ""
};

TEST_F(SerialFileTest, ScanFindsTheLastCompleteChunkInTheTail) {
    const Bytes full(255, 0x00);
    // Data ending in 53 01 | off 99 | n 8: the false chunk's terminator is the next chunk's 0A.
    Bytes falseInside(255, 0x00);
    std::copy_n(Bytes{0x53, 0x01, 99, 0, 0, 0, 8}.begin(), 7, falseInside.end() - 7);
    Bytes noTerminatorThere = falseInside;
    noTerminatorThere.back() = 9;
    const ScanCase cases[] = {
        {"empty", {}, std::nullopt, ""},
        {"one chunk", kA, 0, "pos=2 off=0 sz=3"},
        {"263 bytes", join({chunkBytes(7, {}), Bytes(255, 0)}), 7, "pos=2 off=7 sz=0"},
        {"264, full chunk", join({{0}, chunkBytes(9, full)}), 9, "pos=3 off=9 sz=255"},
        {"53 53 01", join({{0x53}, chunkBytes(7, {1})}), 7, "pos=3 off=7 sz=1"},
        {"bad terminator", join({chunkBytes(3, {1}), chunkBytes(8, {2}, 0x0B)}), 3,
         "pos=2 off=3 sz=1"},
        {"2^31 + 1", chunkBytes(0x80000001, {1}), 0x80000001, "pos=2 off=-2147483647 sz=1"},
        {"false marker", join({chunkBytes(1, noTerminatorThere), chunkBytes(2, {})}), 2,
         "pos=265 off=2 sz=0"},
        {"false chunk", join({chunkBytes(1, falseInside), chunkBytes(2, {})}), 99,
         "pos=257 off=99 sz=8"},
    };
    for (const auto& c : cases) {
        std::string path = put(c.bytes);
        Scan result = scan(path);
        EXPECT_EQ(result.duration, c.duration) << c.what;
        std::vector<std::string> lines{"Loading " + path + "\r\n",
                                       "FileSize=" + std::to_string(c.bytes.size()) + "\r\n"};
        if (*c.found) lines.push_back(std::string("found chunk: ") + c.found + "\r\n");
        lines.push_back(c.duration ? "Loading success=1\r\n" : "Loading success=0\r\n");
        EXPECT_EQ(result.lines, lines) << c.what;
    }
}

TEST_F(SerialFileTest, ChunkCutShortIsNeitherDeliveredNorCounted) {
    const Bytes b = chunkBytes(9, {1, 2, 3, 4});
    for (std::size_t keep : {1, 2, 4, 6, 7, 9}) {
        std::string path = put(join({kA, Bytes(b.begin(), b.begin() + keep)}));
        for (unsigned step : {1u, 2u})
            EXPECT_EQ(readChunks(path, step), (std::vector<Seen>{{0, 0, {0xd1, 0xd2, 0xd3}}}))
                << keep << " bytes kept, step " << step;
        EXPECT_EQ(scan(path).duration, 0u) << keep;
        EXPECT_EQ(seek(path, 1), std::nullopt) << keep;
    }
    // Only the terminator missing: delivered, then reading ends; the scan does not count it.
    std::string unterminated = put(join({kA, Bytes(b.begin(), b.end() - 1)}));
    EXPECT_EQ(readChunks(unterminated, 1),
              (std::vector<Seen>{{0, 0, {0xd1, 0xd2, 0xd3}}, {11, 9, {1, 2, 3, 4}}}));
    SerialFileReader file;
    ASSERT_TRUE(file.open(unterminated));
    ChunkReader reader(file, kPlaybackResyncStep, 11);
    Chunk chunk;
    ASSERT_EQ(reader.readAt(chunk), ChunkReader::Step::Chunk);
    EXPECT_FALSE(reader.finish(chunk));
    EXPECT_EQ(reader.readAt(chunk), ChunkReader::Step::End);
    EXPECT_EQ(scan(unterminated).duration, 0u);
    EXPECT_EQ(seek(unterminated, 1), 11u);
}

// A recording cut short (killed, disk full) keeps every chunk before the cut, even when the last
// whole one starts before the 263-byte tail, wherever it lies relative to the backward windows.
TEST_F(SerialFileTest, CutOrDamagedEndScansBackToTheLastCompleteChunk) {
    Bytes run;
    for (std::uint32_t i = 0; i < 100; ++i) {
        const Bytes chunk = chunkBytes(i, Bytes(255, 0x53));
        run.insert(run.end(), chunk.begin(), chunk.end());
    }
    const std::uint64_t lastMarker = run.size() - kMaxChunkSize;
    // Garbage without 0x0A holds no complete chunk; its false markers must be stepped over.
    std::mt19937 random(5);
    auto garbage = [&](std::size_t size) {
        Bytes out(size);
        for (std::size_t i = 0; i < size; ++i) {
            const std::uint8_t byte = i % 97 == 0 ? 0x53 : i % 97 == 1 ? 0x01 : random();
            out[i] = byte == 0x0A ? 0x0B : byte;
        }
        return out;
    };
    const Bytes cut = chunkBytes(100, Bytes(255, 1));
    const Bytes ends[] = {
        Bytes(cut.begin(), cut.begin() + 7), Bytes(cut.begin(), cut.end() - 1), garbage(264),
        // The last chunk's marker one byte before a window boundary, across it, at its start.
        garbage(kScanBackWindow + 1), garbage(kScanBackWindow + 200),
        garbage(2 * kScanBackWindow + kMaxChunkSize), garbage(3 * kScanBackWindow + 5)};
    for (const Bytes& end : ends) {
        const std::string path = put(join({run, end}));
        const std::uint64_t size = run.size() + end.size();
        Scan result = scan(path);
        EXPECT_EQ(result.duration, 99u) << end.size();
        EXPECT_EQ(result.lines,
                  (std::vector<std::string>{
                      "Loading " + path + "\r\n", "FileSize=" + std::to_string(size) + "\r\n",
                      "Scanning back from " + std::to_string(size - kMaxChunkSize) + "\r\n",
                      "found chunk: pos=" + std::to_string(lastMarker + 2) + " off=99 sz=255\r\n",
                      "Loading success=1\r\n"}))
            << end.size();
    }
    // No complete chunk anywhere: still no duration.
    const std::string none = put(join({Bytes(cut.begin(), cut.end() - 1), garbage(150'000)}));
    Scan result = scan(none);
    EXPECT_EQ(result.duration, std::nullopt);
    ASSERT_EQ(result.lines.size(), 4u);
    EXPECT_EQ(result.lines[2], "Scanning back from " + std::to_string(150'262 - 263) + "\r\n");
    EXPECT_EQ(result.lines[3], "Loading success=0\r\n");
    // The tail starts at byte 1 of a 264-byte file; the chunk at 0 is found by going back.
    EXPECT_EQ(scan(put(join({chunkBytes(7, {}), Bytes(256, 0)}))).duration, 7u);
}

TEST_F(SerialFileTest, GarbageByteBeforeFirstChunkHidesOddStartsFromStepTwo) {
    // Starts 1, 11 (odd: skipped with step 2), 20 (after a chunk of odd length), 31.
    std::string path = put(join({{0xFF},
                                 chunkBytes(1, {5, 6}),
                                 chunkBytes(2, {7}),
                                 chunkBytes(3, {8, 9, 10}),
                                 chunkBytes(4, {})}));
    auto starts = [&](unsigned step) {
        std::vector<std::uint64_t> out;
        for (const auto& chunk : readChunks(path, step)) out.push_back(chunk.start);
        return out;
    };
    EXPECT_EQ(starts(2), (std::vector<std::uint64_t>{20, 31}));
    EXPECT_EQ(starts(1), (std::vector<std::uint64_t>{1, 11, 20, 31}));
    EXPECT_EQ(seek(path, 1), 20u);
}

TEST_F(SerialFileTest, SeekTakesFirstOfEqualOffsetsAndPassesOverEmptyChunks) {
    std::string path = put(join({chunkBytes(0, {1}), chunkBytes(4, {}), chunkBytes(4, {2, 3}),
                                 chunkBytes(4, {4}), chunkBytes(9, {})}));
    EXPECT_EQ(
        readChunks(path, 2),
        (std::vector<Seen>{{0, 0, {1}}, {9, 4, {}}, {17, 4, {2, 3}}, {27, 4, {4}}, {36, 9, {}}}));
    const std::pair<std::uint32_t, std::optional<std::uint64_t>> seeks[] = {
        {0, 0}, {1, 17}, {4, 17}, {5, std::nullopt}, {10, std::nullopt}};
    for (auto [target, expected] : seeks)
        EXPECT_EQ(seek(path, target), expected) << "target " << target;
    EXPECT_EQ(scan(path).duration, 9u);
}

TEST_F(SerialFileTest, OpenFailureComesBackWithTheSystemsReasonAndTracesNothing) {
    std::string missing = dir.file("missing.ser");
    Scan result = scan(missing);
    EXPECT_EQ(result.duration, std::nullopt);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(result.failure.kind, Failure::Kind::OpenInput);
    EXPECT_EQ(result.failure.subject, missing);
    EXPECT_EQ(result.failure.error, cLibraryError(ENOENT));
    // The system's own number for the window's box: ENOENT and ERROR_FILE_NOT_FOUND are both 2.
    EXPECT_EQ(result.failure.systemError, (SystemError{SystemError::Numbering::System, 2}));
    SerialFileReader file;
    EXPECT_FALSE(file.open(missing));
    EXPECT_EQ(seekChunk(file, 0), std::nullopt);
}

TEST_F(SerialFileTest, ReaderMatchesTheFileAtAnyPositionAndDirection) {
    Bytes bytes(200'000);
    std::mt19937 random(3);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    SerialFileReader file;
    ASSERT_TRUE(file.open(put(bytes)));
    EXPECT_EQ(file.size(), bytes.size());
    // Across window ends, longer than a window, backwards, at and past the end.
    const std::pair<std::uint64_t, std::size_t> reads[] = {
        {0, 10}, {65'530, 20}, {65'000, 200'000}, {130'000, 5'000}, {200'000, 1}, {5, 1}};
    for (auto [position, count] : reads) {
        Bytes got(count);
        file.seek(position);
        std::size_t expected =
            position < bytes.size() ? std::min(count, bytes.size() - position) : 0;
        ASSERT_EQ(file.read(got.data(), count), expected) << position;
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + expected, bytes.begin() + position));
        EXPECT_EQ(file.position(), position + expected);
    }
    file.seek(bytes.size());
    EXPECT_EQ(file.readByte(), std::nullopt);
}

// A long seek asks now and then whether to go on: its answer stops it, and otherwise the
// result is the same as without asking. The bisecting seek also asks before every probe.
TEST_F(SerialFileTest, SeekAsksWhetherToGoOnAndStopsWhenTold) {
    Bytes bytes;
    for (std::uint32_t i = 0; bytes.size() < 5 * kSeekAskEvery; ++i) {
        const Bytes chunk = chunkBytes(i / 4, Bytes(1 + i % 255, 0x53));
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
    }
    const std::string path = put(bytes);
    const std::uint32_t target = 500;
    const std::optional<std::uint64_t> plain = seek(path, target);
    ASSERT_TRUE(plain);
    ASSERT_GT(*plain, 3 * kSeekAskEvery);

    SerialFileReader file;
    ASSERT_TRUE(file.open(path));
    int asked = 0;
    EXPECT_EQ(seekChunkLinear(file, target, [&] { return ++asked > 0; }), plain);
    EXPECT_GE(asked, static_cast<int>(*plain / kSeekAskEvery) - 1);
    EXPECT_LE(asked, static_cast<int>(*plain / kSeekAskEvery));

    asked = 0;
    EXPECT_EQ(seekChunkLinear(file, target, [&] { return ++asked < 2; }), std::nullopt);
    EXPECT_EQ(asked, 2);

    for (std::uint64_t span : {std::uint64_t{1024}, kSeekLinearSpan}) {
        asked = 0;
        EXPECT_EQ(seekChunk(
                      file, target, [&] { return ++asked > 0; }, span),
                  plain);
        EXPECT_GE(asked, 2) << span;
        asked = 0;
        EXPECT_EQ(seekChunk(
                      file, target, [&] { return ++asked < 2; }, span),
                  std::nullopt);
        EXPECT_EQ(asked, 2);
    }

    // A seek shorter than the step never asks; nor does one for the target 0.
    asked = 0;
    EXPECT_EQ(seekChunkLinear(file, 3, [&] { return ++asked < 0; }), seek(path, 3));
    EXPECT_EQ(seekChunk(file, 0, [&] { return ++asked < 0; }), 0u);
    EXPECT_EQ(seekChunk(
                  file, 3, [&] { return ++asked < 0; }, bytes.size()),
              seek(path, 3));
    EXPECT_EQ(asked, 0);
}

// Recording-like bytes: offsets that repeat and climb, empty chunks, garbage between chunks, data
// holding false chunk headers, sometimes a cut end; with `descending`, offsets now and then drop.
Bytes generatedRecording(std::mt19937& random, bool descending) {
    Bytes out;
    std::uint32_t offset = random() % 3;
    const std::size_t size = 3'000 + random() % 30'000;
    const unsigned garbageEvery = 1 + random() % 12;
    while (out.size() < size) {
        if (random() % garbageEvery == 0) {
            // Lone marker bytes and empty chunks at any parity, which mislead a reading.
            const std::size_t length = 1 + random() % (random() % 4 == 0 ? 3'000 : 300);
            for (std::size_t i = 0; i < length; ++i) {
                if (random() % 16 != 0) {
                    out.push_back(random() % 8 == 0 ? 0x53 : 0xEE);
                    continue;
                }
                const Bytes empty = chunkBytes(offset, {});
                out.insert(out.end(), empty.begin(), empty.end());
            }
        }
        if (random() % 40 == 0) {
            // A long damaged stretch with a rare header at either parity, which searches of
            // both parities and of later probes cross from what earlier ones found.
            const std::size_t length = 1'000 + random() % 6'000;
            const Bytes header = chunkBytes(offset, Bytes(random() % 200));
            for (std::size_t i = 0; i < length; ++i) {
                const std::uint8_t byte = static_cast<std::uint8_t>(random());
                out.push_back(byte == 0x53 ? 0xEE : byte);
                if (random() % 1'500 == 0)
                    out.insert(out.end(), header.begin(), header.begin() + 7);
            }
        }
        Bytes data(random() % 6 == 0 ? 0 : 1 + random() % 255);
        for (auto& byte : data) byte = static_cast<std::uint8_t>(random());
        if (data.size() > 8 && random() % 2 == 0) {
            const Bytes fake = chunkBytes(offset, Bytes(random() % 255));
            std::copy_n(fake.begin(), 7, data.begin() + random() % (data.size() - 7));
        }
        offset += random() % 3 == 0 ? random() % 40 : 0;
        if (descending && random() % 40 == 0)
            offset -= std::min<std::uint32_t>(offset, random() % 80);
        const Bytes chunk = chunkBytes(offset, data);
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    if (random() % 4 == 0) out.resize(out.size() - random() % 300);
    return out;
}

// The bisecting seek answers as the linear one wherever the offsets read from the start are in
// order; out of order it still lands on a chunk with data at or after the target.
TEST_F(SerialFileTest, BisectingSeekAgreesWithTheLinearSeekOnGeneratedFiles) {
    std::mt19937 random(7);
    int inOrder = 0;
    for (int round = 0; round < 60; ++round) {
        const std::string path = put(generatedRecording(random, round % 5 == 4));
        std::vector<Seen> chunks = readChunks(path, kPlaybackResyncStep);
        std::erase_if(chunks, [](const Seen& chunk) { return chunk.data.empty(); });
        const bool ordered = std::is_sorted(chunks.begin(), chunks.end(),
                                            [](auto& a, auto& b) { return a.offset < b.offset; });
        inOrder += ordered;
        std::vector<std::uint32_t> targets{0, 1, 0xFFFFFFFF};
        for (int i = 0; i < 5 && !chunks.empty(); ++i) {
            const std::uint32_t offset = chunks[random() % chunks.size()].offset;
            targets.insert(targets.end(), {offset, offset + 1, offset - 1});
        }
        SerialFileReader file;
        ASSERT_TRUE(file.open(path));
        for (std::uint32_t target : targets) {
            const std::optional<std::uint64_t> bisected = seekChunk(file, target, {}, 1024);
            if (ordered || target == 0) {
                ASSERT_EQ(bisected, seekChunkLinear(file, target)) << path << " target " << target;
            } else if (bisected) {
                auto at = std::find_if(chunks.begin(), chunks.end(),
                                       [&](const Seen& chunk) { return chunk.start == *bisected; });
                ASSERT_TRUE(at != chunks.end() && at->offset >= target) << path << " " << target;
            }
        }
    }
    EXPECT_GT(inOrder, 40);
}

// Garbage longer than a probe follows, of odd length so that the reading from the start meets
// the chunks after it out of step, between two runs of chunks whose data hold false headers.
TEST_F(SerialFileTest, BisectingSeekCrossesAStretchOfGarbageLongerThanAProbeFollows) {
    Bytes bytes;
    auto addChunks = [&](std::uint32_t from) {
        for (std::uint32_t i = 0; i < 2'000; ++i) {
            Bytes data(22 + i % 200, 0x0A);
            const Bytes fake = chunkBytes(from + i / 3, Bytes(3, 0x53));
            std::copy(fake.begin(), fake.end(), data.begin() + data.size() / 2);
            const Bytes chunk = chunkBytes(from + i / 3, data);
            bytes.insert(bytes.end(), chunk.begin(), chunk.end());
        }
    };
    addChunks(10);
    bytes.insert(bytes.end(), (9 << 20) + 1, 0xEE);
    addChunks(1'000);
    SerialFileReader file;
    ASSERT_TRUE(file.open(put(bytes)));
    for (std::uint32_t target : {300u, 677u, 678u, 1'300u, 1'667u}) {
        const std::optional<std::uint64_t> linear = seekChunkLinear(file, target);
        EXPECT_EQ(seekChunk(file, target), linear) << target;
        EXPECT_EQ(seekChunk(file, target, {}, 1024), linear) << target;
    }
}

TEST_F(SerialFileTest, ChunkBeyondFourGiBIsScannedAndRead) {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    const std::uint64_t start = (std::uint64_t{1} << 32) + 4097;
    const Bytes chunk = chunkBytes(0x12345, Bytes(40, 0x53));
    const std::string path = dir.file("sparse.ser");
    {
        std::unique_ptr<std::FILE, Closer> out(std::fopen(path.c_str(), "wb"));
        ASSERT_TRUE(out);
        ASSERT_EQ(fseeko(out.get(), static_cast<off_t>(start), SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(chunk.data(), 1, chunk.size(), out.get()), chunk.size());
    }
    const std::uint64_t size = start + chunk.size();
    Scan result = scan(path);
    EXPECT_EQ(result.duration, 0x12345u);
    ASSERT_EQ(result.lines.size(), 4u);
    EXPECT_EQ(result.lines[1], "FileSize=" + std::to_string(size) + "\r\n");
    EXPECT_EQ(result.lines[2],
              "found chunk: pos=" + std::to_string(start + 2) + " off=74565 sz=40\r\n");
    SerialFileReader file;
    ASSERT_TRUE(file.open(path));
    EXPECT_EQ(file.size(), size);
    ChunkReader reader(file, kPlaybackResyncStep, start);
    Chunk read;
    ASSERT_TRUE(reader.next(read));
    EXPECT_EQ(Seen(read.start, read.timeOffset, Bytes(read.data, read.data + read.length)),
              Seen(start, 0x12345, Bytes(40, 0x53)));
    EXPECT_FALSE(reader.next(read));
    file.close();
    EXPECT_TRUE(std::filesystem::remove(path));
}

}  // namespace
