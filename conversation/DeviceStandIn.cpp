#include "conversation/DeviceStandIn.h"

#include <algorithm>

#include "conversation/Exchanges.h"

namespace {

constexpr std::size_t kKeptForLog = 256;

std::uint64_t after(std::uint64_t time, std::uint64_t from) {
    return time > from ? time - from : 0;
}

}  // namespace

DeviceStandIn::DeviceStandIn(const RequestIndex& index, std::uint64_t gapMicros)
    : index_(index),
      gapMicros_(gapMicros),
      keptForMiss_(std::min<std::size_t>(
          std::max<std::size_t>(index.longestRequest() + std::size_t{1}, kKeptForLog),
          RequestIndex::kPrefixLength)),
      pending_(index),
      used_(index.requestCount(), false) {
    answer_.answer = true;
}

void DeviceStandIn::addSource(AnswerSource& source, AnswerOrigin origin) {
    sources_.push_back({&source, origin});
}

Failure DeviceStandIn::start() {
    if (index_.path().empty()) return failure_;  // no recording: the sources alone answer
    for (ConversationReader* reader : {&answer_.reader, &early_.reader}) {
        if (Failure opened = reader->open(index_.path()); opened.happened())
            return failure_ = opened;
        // The device's line changes among its bursts are played as they were.
        reader->keepLineEvents(true);
    }
    if (Failure opened = probe_.open(index_.path()); opened.happened()) return failure_ = opened;
    if (Failure opened = pending_.open(); opened.happened()) return failure_ = opened;
    if (const auto early = index_.earlyDeviceOffset()) {
        early_.fromMicros = index_.firstMicros();
        early_.atMicros = 0;
        if (!early_.reader.continueFrom(*early)) return failure_ = early_.reader.failure();
        lineUpNext(early_);
    }
    return failure_;
}

void DeviceStandIn::received(std::span<const std::uint8_t> bytes, std::uint64_t nowMicros) {
    if (bytes.empty() || failure_.happened()) return;
    pending_.add(bytes);
    if (const ConversationReader* failed = pending_.failedReader()) return fail(*failed);
    lastArrival_ = nowMicros;
    // Past the longest request no recorded one can be these bytes.
    if (pending_.length() <= index_.longestRequest()) {
        const auto match = find();
        if (match) {
            // One that may still grow waits for the silence to tell.
            if (!match->mayGrow) answer(*match, nowMicros);
            return;
        }
        if (failure_.happened()) return;
    }
    offerToSources(false, nowMicros);
}

void DeviceStandIn::advance(std::uint64_t nowMicros) {
    const auto end = silenceEndMicros();
    if (!end || nowMicros < *end || failure_.happened()) return;
    const auto match = pending_.length() <= index_.longestRequest() ? find() : std::nullopt;
    if (failure_.happened()) return;
    if (match) {
        answer(*match, lastArrival_);
    } else if (!offerToSources(true, lastArrival_)) {
        settleUnknown();
    }
}

std::optional<std::uint64_t> DeviceStandIn::silenceEndMicros() const {
    if (pending_.length() == 0) return std::nullopt;
    return lastArrival_ + gapMicros_;
}

// The bytes waiting, when they are a recorded request: which one answers them.
std::optional<DeviceStandIn::Match> DeviceStandIn::find() {
    const std::uint64_t key = pending_.key();
    const auto occurrences = index_.occurrences(key);
    if (occurrences.empty()) return std::nullopt;
    const bool mayGrow = occurrences.front().mayGrow();
    if (cursor_ < index_.requestCount() && index_.isKeyOf(key, cursor_) && pendingEquals(cursor_))
        return Match{cursor_, true, mayGrow};
    // Equal keys with unequal bytes (a hash collision) are passed over, not answered.
    std::size_t& first = firstUnused_[key];
    while (first < occurrences.size() && used_[occurrences[first].number()]) ++first;
    for (std::size_t at = first; at < occurrences.size() && !failure_.happened(); ++at) {
        const std::uint32_t number = occurrences[at].number();
        if (!used_[number] && pendingEquals(number)) return Match{number, false, mayGrow};
    }
    for (std::size_t at = occurrences.size(); at-- > 0 && !failure_.happened();) {
        if (pendingEquals(occurrences[at].number()))
            return Match{occurrences[at].number(), false, mayGrow};
    }
    return std::nullopt;
}

bool DeviceStandIn::pendingEquals(std::size_t number) {
    const bool equal = pending_.equals(number);
    if (const ConversationReader* failed = pending_.failedReader()) fail(*failed);
    return equal;
}

void DeviceStandIn::answer(const Match& match, std::uint64_t arrivalMicros) {
    ++counts_.requests;
    ++counts_.answered;
    ++(match.inOrder ? counts_.inOrder : counts_.outOfOrder);
    if (!match.inOrder) misses_.push_back(missFor(false));
    note(AnswerOrigin::Recording, false, {}, match.number);
    used_[match.number] = true;
    cursor_ = match.number + 1;
    // The request was just read to its end to find it equal: that tells where its answer starts.
    const RequestBytes* request = pending_.equalRequest();
    const std::uint64_t length = pending_.length();
    if (!request && !failure_.happened()) {
        if (!probe_.start(index_.offsetOf(match.number)) || probe_.skipAll() != length)
            fail(probe_.reader());
        request = &probe_;
    }
    if (failure_.happened()) {
        pending_.clear();
        return;
    }
    const std::uint64_t endMicros = request->endMicros();
    const std::optional<std::uint64_t> answerOffset = request->answerOffset();
    pending_.clear();

    // A new request ends what is left of the answer before: the device turns to the new one.
    answer_.fromMicros = endMicros;
    lastAnsweredMicros_ = endMicros - std::min(endMicros, index_.firstMicros());
    answer_.atMicros = arrivalMicros;
    answer_.next.reset();
    made_.clear();
    // The answer starts at the device's burst that ended the request; a request at the file's
    // end has none.
    if (answerOffset) {
        if (!answer_.reader.continueFrom(*answerOffset)) return fail(answer_.reader);
        lineUpNext(answer_);
    }
}

void DeviceStandIn::settleUnknown() {
    ++counts_.requests;
    ++counts_.unknown;
    misses_.push_back(missFor(true));
    pending_.clear();
}

bool DeviceStandIn::offerToSources(bool silenceFollowed, std::uint64_t arrivalMicros) {
    // Beyond the bytes held the request is none a source is shown.
    if (sources_.empty() || pending_.length() > RequestIndex::kPrefixLength) return false;
    const Source* refusedBy = nullptr;
    std::string refusal;
    for (const Source& source : sources_) {
        SourceOffer offer = source.source->offer(pending_.firstBytes(), silenceFollowed);
        if (offer.kind == SourceOffer::Kind::Refused && !refusedBy) {
            refusedBy = &source;
            refusal = std::move(offer.origin);
        }
        if (offer.kind != SourceOffer::Kind::Answer) continue;
        ++counts_.requests;
        ++counts_.answered;
        ++(source.origin == AnswerOrigin::Modbus ? counts_.byModbus : counts_.byRules);
        ++byOrigin_[offer.origin];
        note(source.origin, false, std::move(offer.origin), std::nullopt);
        pending_.clear();
        // As with a recorded answer, the device turns from what was left of the last one.
        answer_.next.reset();
        made_.clear();
        for (MadeBurst& burst : offer.bursts)
            made_.push_back({arrivalMicros + burst.delayMicros, std::move(burst.bytes), true});
        return true;
    }
    // Bytes that may still grow are refused only once the silence says they will not.
    if (!refusedBy || !silenceFollowed) return false;
    ++counts_.requests;
    ++counts_.refused;
    note(refusedBy->origin, true, std::move(refusal), std::nullopt);
    pending_.clear();
    return true;
}

void DeviceStandIn::note(AnswerOrigin origin, bool refused, std::string words,
                         std::optional<std::size_t> recorded) {
    if (!keepNotes_) return;
    StandInAnswerNote note{origin, refused, std::move(words), recorded, {}, pending_.length()};
    const auto& first = pending_.firstBytes();
    note.came.assign(first.begin(),
                     first.begin() + static_cast<std::ptrdiff_t>(
                                         std::min<std::size_t>(first.size(), keptForMiss_)));
    notes_.push_back(std::move(note));
}

StandInMiss DeviceStandIn::missFor(bool unknown) {
    StandInMiss miss;
    miss.unknown = unknown;
    const auto& first = pending_.firstBytes();
    miss.came.assign(first.begin(),
                     first.begin() + static_cast<std::ptrdiff_t>(
                                         std::min<std::size_t>(first.size(), keptForMiss_)));
    miss.cameLength = pending_.length();
    if (cursor_ < index_.requestCount()) {
        miss.expected = cursor_;
        if (!readExpected(miss)) fail(probe_.reader());
    }
    return miss;
}

// The first bytes of the request due in file order, and its length.
bool DeviceStandIn::readExpected(StandInMiss& miss) {
    if (!probe_.start(index_.offsetOf(cursor_))) return false;
    while (miss.expectedBytes.size() < RequestIndex::kPrefixLength) {
        const auto piece = probe_.next(RequestIndex::kPrefixLength - miss.expectedBytes.size());
        if (piece.empty()) break;
        miss.expectedBytes.insert(miss.expectedBytes.end(), piece.begin(), piece.end());
    }
    const auto rest = probe_.skipAll();
    if (!rest || miss.expectedBytes.empty()) return false;
    miss.expectedLength = miss.expectedBytes.size() + *rest;
    return true;
}

const StandInBurst* DeviceStandIn::nextBurst() const {
    const StandInBurst* first = nullptr;
    for (const StandInBurst* candidate :
         {answer_.next ? &*answer_.next : nullptr, made_.empty() ? nullptr : &made_.front(),
          early_.next ? &*early_.next : nullptr}) {
        if (candidate && (!first || candidate->dueMicros < first->dueMicros)) first = candidate;
    }
    return first;
}

void DeviceStandIn::burstSent() {
    const StandInBurst* sent = nextBurst();
    if (!sent) return;
    if (!made_.empty() && sent == &made_.front()) {
        made_.pop_front();
    } else {
        lineUpNext(answer_.next && sent == &*answer_.next ? answer_ : early_);
    }
}

// The stream's next burst when the device goes on speaking; none once the host speaks again.
void DeviceStandIn::lineUpNext(Stream& stream) {
    stream.next.reset();
    if (failure_.happened()) return;
    ConversationBurst burst;
    do {
        if (!stream.reader.next(burst)) {
            if (stream.reader.failure().happened()) fail(stream.reader);
            return;
        }
        // What the host did to the line is the program's own to do: it neither ends an answer
        // nor is played.
    } while (burst.lineEvent && burst.direction == Direction::Host);
    if (burst.direction != Direction::Device) return;
    stream.next = StandInBurst{stream.atMicros + after(burst.timeMicros, stream.fromMicros),
                               {burst.bytes.begin(), burst.bytes.end()},
                               stream.answer,
                               burst.lineEvent};
}

std::vector<StandInMiss> DeviceStandIn::takeMisses() {
    std::vector<StandInMiss> taken;
    taken.swap(misses_);
    return taken;
}

std::vector<StandInAnswerNote> DeviceStandIn::takeAnswerNotes() {
    std::vector<StandInAnswerNote> taken;
    taken.swap(notes_);
    return taken;
}

std::size_t DeviceStandIn::heldRequestBytes() const {
    return pending_.heldBytes() + probe_.heldBytes();
}

void DeviceStandIn::fail(const ConversationReader& reader) {
    if (!failure_.happened()) failure_ = changedWhileRead(reader, index_.path());
    answer_.next.reset();
    early_.next.reset();
    made_.clear();
}
