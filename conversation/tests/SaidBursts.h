#pragma once

// Conversations for tests: bursts as text, who said them and when, written as a file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversation/ConversationWriter.h"

inline std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

struct Said {
    Said(std::uint64_t micros, Direction direction, std::vector<std::uint8_t> bytes)
        : micros(micros), direction(direction), bytes(std::move(bytes)) {}
    Said(std::uint64_t micros, Direction direction, const std::string& text)
        : Said(micros, direction, bytesOf(text)) {}
    Said(std::uint64_t micros, Direction direction, const char* text)
        : Said(micros, direction, std::string(text)) {}

    std::uint64_t micros;  // from the conversation's start
    Direction direction;
    std::vector<std::uint8_t> bytes;
};
inline constexpr auto Host = Direction::Host;
inline constexpr auto Device = Direction::Device;

inline ::testing::AssertionResult writeSaid(const std::string& path,
                                            const std::vector<Said>& said) {
    ConversationWriter writer;
    Failure failure = writer.open(path, {"test", {{"a <-> b", "9600 8N1"}}});
    for (std::size_t at = 0; at < said.size() && !failure.happened(); ++at)
        failure =
            writer.write({1'000'000 + said[at].micros, said[at].direction, 0, said[at].bytes});
    if (const Failure closed = writer.close(); !failure.happened()) failure = closed;
    if (!failure.happened()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << ": " << failure.reason();
}
