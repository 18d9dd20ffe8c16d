// The chunk seek by bisection. The reading from position 0 (the path) keeps no state but its
// cursor, so two readings that reach one cursor go on alike. A probe starts a reading at every
// cursor the path may hold near the probe and follows them all until they have met: from there
// on it follows the path itself, wherever the probe landed (data, false markers, garbage). The
// first chunk with data after that meeting then tells, for offsets in order, on which side of it
// the answer lies.
#include "engine/BisectingChunkSeek.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "engine/AskEvery.h"
#include "engine/MarkerSearch.h"
#include "engine/SerialFile.h"

namespace {

// The furthest the path's cursor moves in one step: over a longest chunk to its last two bytes.
constexpr std::uint64_t kLongestStep = kChunkOverhead - kChunkMarkerSize + kMaxChunkData;
// Probes keep this far from the end, where the path may have ended before reaching them.
constexpr std::uint64_t kProbeEndMargin = 2 * kMaxChunkSize;
// A probe whose readings have not met this far on (a long garbage stretch) tells nothing.
constexpr std::uint64_t kProbeReach = 4 * 1024 * 1024;
// A probe needs the span below it to hold all its starting cursors.
constexpr std::uint64_t kLeastLinearSpan = 4 * kMaxChunkSize;

// Asks goOn after about every kSeekAskEvery bytes of reading, the probes' and the reading on's
// together.
class SeekAsker {
public:
    explicit SeekAsker(const std::function<bool()>& goOn)
        : goOn_(goOn), asking_(kSeekAskEvery, static_cast<bool>(goOn)) {}
    bool worked(std::uint64_t bytes) {
        work_ += bytes;
        return !asking_.due(work_) || goOn_();
    }

private:
    const std::function<bool()>& goOn_;
    AskEvery asking_;
    std::uint64_t work_ = 0;
};

struct DataChunk {
    std::uint64_t start = 0;
    std::uint32_t timeOffset = 0;
};

enum class Outcome { Known, Unknown, Stopped, ReadFailed };

struct Probe {
    Outcome outcome = Outcome::Unknown;
    // The path's first chunk with data from its cursor near the probe; none when it has none.
    std::optional<DataChunk> first;
    // Some reading read a chunk with data at or after the probe before they met: the path may
    // have read it, so the stretch from the probe to `first` is not known to hold none.
    bool dataBeforeMeeting = false;
};

Probe ended(Outcome outcome) { return {outcome, std::nullopt, false}; }

// The path holds a cursor in [probe - kLongestStep, probe] (its steps are never longer), so
// once the readings from all of those have met, the meeting point is on the path.
Probe probeAt(SerialFileReader& file, std::uint64_t probe, SeekAsker& asker,
              MarkerSearch& markers) {
    ChunkReader reader(file, kPlaybackResyncStep);
    Chunk chunk;
    std::set<std::uint64_t> cursors;  // one per reading still apart
    for (std::uint64_t cursor = probe - kLongestStep; cursor <= probe; ++cursor)
        cursors.insert(cursor);
    Probe result;
    for (;;) {
        // The lowest reading moves first, so one that steps onto another's cursor meets it.
        const std::uint64_t cursor = *cursors.begin();
        cursors.erase(cursors.begin());
        const bool met = cursors.empty();
        if (cursor > probe + kProbeReach) return result;
        reader.setCursor(cursor);
        const ChunkReader::Step step = reader.readAt(chunk, false);
        if (file.readFailed()) return ended(Outcome::ReadFailed);
        if (step == ChunkReader::Step::End) {
            if (met) result.outcome = Outcome::Known;
            return result;
        }
        if (step == ChunkReader::Step::Chunk) {
            if (chunk.length > 0 && met) {
                result.first = DataChunk{chunk.start, chunk.timeOffset};
                result.outcome = Outcome::Known;
                return result;
            }
            if (chunk.length > 0 && chunk.start >= probe) result.dataBeforeMeeting = true;
            if (!reader.finish(chunk)) {
                if (file.readFailed()) return ended(Outcome::ReadFailed);
                if (met) result.outcome = Outcome::Known;
                return result;
            }
        }
        std::uint64_t next = reader.cursor();
        if (step == ChunkReader::Step::Resync) {
            // A reading of the same parity ahead is met where it stands, not passed.
            std::uint64_t limit = probe + kProbeReach + 2;
            for (std::uint64_t other : cursors) {
                if ((other - next) % 2 == 0) {
                    limit = std::min(limit, other);
                    break;
                }
            }
            next = markers.nextCursor(next, limit);
        }
        if (file.readFailed()) return ended(Outcome::ReadFailed);
        cursors.insert(next);
        if (!asker.worked(next - cursor)) return ended(Outcome::Stopped);
    }
}

// What the bisection knows. The path passes through lo, and with offsets in order no chunk
// before it is due. The answer is the path's first due chunk starting before bound, or else
// hiChunk (none: nothing).
struct Bracket {
    std::uint64_t lo = 0;
    std::optional<std::uint32_t> loOffset;
    std::uint64_t bound = 0;
    std::optional<DataChunk> hiChunk;

    // An offset between the known ones, or the file is out of order.
    bool fits(std::uint32_t offset) const {
        return (!loOffset || *loOffset <= offset) && (!hiChunk || offset <= hiChunk->timeOffset);
    }
};

// After a probe: probe on; read on from lo; end with nothing (stopped, or a read failed); or
// seek linearly, since the file is out of order.
enum class Course { GoOn, Settled, Stopped, OutOfOrder };

// Moves an end of the bracket to what the probe at middle found.
Course narrowBy(Bracket& bracket, const Probe& probe, std::uint64_t middle, std::uint32_t target) {
    // The path reaches lo first and reads no data chunk between bound and hiChunk.
    if (probe.first &&
        (!bracket.fits(probe.first->timeOffset) || probe.first->start <= bracket.lo ||
         (probe.first->start >= bracket.bound &&
          (!bracket.hiChunk || probe.first->start != bracket.hiChunk->start))))
        return Course::OutOfOrder;
    if (probe.first && probe.first->timeOffset < target) {
        bracket.lo = probe.first->start;
        bracket.loOffset = probe.first->timeOffset;
        return Course::GoOn;
    }
    // The path's first chunk with data from near the probe is due (or there is none): the
    // answer lies before the probe or is that chunk, unless a reading saw data in between.
    std::uint64_t newBound = middle;
    if (probe.dataBeforeMeeting) {
        if (!probe.first) return Course::Settled;
        newBound = probe.first->start;
    }
    if (newBound >= bracket.bound) return Course::Settled;
    bracket.bound = newBound;
    bracket.hiChunk = probe.first;
    return Course::GoOn;
}

// Probes the middle of the bracket until what is left is short enough to read on, or a probe
// tells nothing more. Stopped also for a read error.
Course bisect(SerialFileReader& file, std::uint32_t target, std::uint64_t linearSpan,
              Bracket& bracket, SeekAsker& asker, MarkerSearch& markers) {
    const std::uint64_t size = bracket.bound;
    const std::uint64_t probeLimit = size > kProbeEndMargin ? size - kProbeEndMargin : 0;
    while (bracket.bound - bracket.lo > linearSpan) {
        const std::uint64_t middle = bracket.lo + (bracket.bound - bracket.lo) / 2;
        if (middle > probeLimit) return Course::Settled;
        // A probe may read a window from the disk.
        if (!asker.worked(kSeekAskEvery)) return Course::Stopped;
        const Probe probe = probeAt(file, middle, asker, markers);
        if (probe.outcome == Outcome::Stopped || probe.outcome == Outcome::ReadFailed)
            return Course::Stopped;
        if (probe.outcome == Outcome::Unknown) return Course::Settled;
        const Course course = narrowBy(bracket, probe, middle, target);
        if (course != Course::GoOn) return course;
    }
    return Course::Settled;
}

// The answer, or that there is none; or that the file turned out of order.
struct Answer {
    bool outOfOrder = false;
    std::optional<std::uint64_t> start;
};

// Reads on from lo as the linear seek does, checking that offsets stay in order.
Answer readOn(SerialFileReader& file, std::uint32_t target, const Bracket& bracket,
              SeekAsker& asker, MarkerSearch& markers) {
    ChunkReader reader(file, kPlaybackResyncStep, bracket.lo);
    Chunk chunk;
    std::optional<std::uint32_t> last = bracket.loOffset;
    for (;;) {
        const std::uint64_t cursor = reader.cursor();
        if (cursor >= bracket.bound) {
            if (!bracket.hiChunk) return {};
            return {false, bracket.hiChunk->start};
        }
        switch (reader.readAt(chunk, false)) {
            case ChunkReader::Step::Chunk:
                if (chunk.length > 0) {
                    if ((last && chunk.timeOffset < *last) || !bracket.fits(chunk.timeOffset))
                        return {true, std::nullopt};
                    last = chunk.timeOffset;
                    if (target <= chunk.timeOffset) return {false, chunk.start};
                }
                reader.finish(chunk);
                break;
            case ChunkReader::Step::Resync:
                // In pieces, so that the stop question is asked during a long damaged stretch.
                reader.setCursor(markers.nextCursor(
                    reader.cursor(), std::min(bracket.bound, reader.cursor() + kSeekAskEvery)));
                if (file.readFailed()) return {};
                break;
            case ChunkReader::Step::End:
                // A chunk the path was seen to reach cannot lie beyond its end.
                if (bracket.hiChunk && !file.readFailed()) return {true, std::nullopt};
                return {};
        }
        if (!asker.worked(reader.cursor() - cursor)) return {};
    }
}

}  // namespace

std::optional<std::uint64_t> seekChunk(SerialFileReader& file, std::uint32_t target,
                                       const std::function<bool()>& goOn,
                                       std::uint64_t linearSpan) {
    if (!file.isOpen()) return std::nullopt;
    file.seek(0);
    if (target == 0) return 0;
    const std::optional<std::uint64_t> size = file.size();
    if (!size) return seekChunkLinear(file, target, goOn);
    SeekAsker asker(goOn);
    MarkerSearch markers(file);
    Bracket bracket;
    bracket.bound = *size;

    const Course course =
        bisect(file, target, std::max(linearSpan, kLeastLinearSpan), bracket, asker, markers);
    if (course == Course::Stopped) return std::nullopt;
    if (course == Course::OutOfOrder) return seekChunkLinear(file, target, goOn);
    const Answer answer = readOn(file, target, bracket, asker, markers);
    if (answer.outOfOrder) return seekChunkLinear(file, target, goOn);
    if (answer.start) file.seek(*answer.start);
    return answer.start;
}
