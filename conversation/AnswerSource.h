#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// One burst of an answer made for a request: due this long after the request's last byte came.
struct MadeBurst {
    std::uint64_t delayMicros = 0;
    std::vector<std::uint8_t> bytes;
};

// What a source says of the host's bytes waiting for an answer.
struct SourceOffer {
    enum class Kind : std::uint8_t {
        None,     // not a request this source answers
        Answer,   // the bursts below answer it
        Refused,  // this source's request, which a device would not answer (a wrong check
                  // value, a broadcast, another unit): silence, counted and logged
    };
    Kind kind = Kind::None;
    std::vector<MadeBurst> bursts;  // Answer: in order, their delays not decreasing
    // For the log and the report: which rule or what of the device answered ("rule at line 4",
    // "Modbus unit 1, read holding registers"), or why it was refused.
    std::string origin;
};

// A source of answers for requests that no recorded request matched byte for byte: the rules of
// a rules file, a Modbus device learned from the recording. Knows nothing of ports or clocks.
class AnswerSource {
public:
    virtual ~AnswerSource() = default;
    // `request`: the host's bytes since the last request was settled. `silenceFollowed`: a
    // silence of the gap came after them, so no more bytes belong to this request. Before that
    // a source answers only bytes that are whole by their own shape (a frame of the length its
    // function gives, ending in a right check value; a pattern that cannot take more bytes), and
    // says None for bytes that may still grow.
    virtual SourceOffer offer(std::span<const std::uint8_t> request, bool silenceFollowed) = 0;
};
