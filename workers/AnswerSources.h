#pragma once

#include <memory>
#include <optional>
#include <string>

#include "conversation/AnswerSource.h"
#include "conversation/DeviceStandIn.h"
#include "conversation/RequestIndex.h"
#include "engine/Failure.h"

// Which sources answer, beside the recording, what it holds no request for.
struct AnswerSourceChoice {
    std::optional<std::string> rulesPath;
    // Learn a Modbus device from the recording; `onlyWhenModbus` keeps it only when the
    // recording's requests were Modbus (the window), else it is kept whatever was learned.
    bool learnModbus = false;
    bool onlyWhenModbus = false;
    std::optional<std::string> modbusMapPath;  // its rows win over what was learned
};

// The sources a stand-in asks, owned here for as long as it answers.
class AnswerSources {
public:
    AnswerSources();
    ~AnswerSources();
    AnswerSources(const AnswerSources&) = delete;
    AnswerSources& operator=(const AnswerSources&) = delete;

    // Reads what the choice names, learning from the index's file when it has one. A file that
    // cannot be read is a Failure; a mistake in a rules file or a map is `mistake()`, with no
    // failure.
    Failure load(const AnswerSourceChoice& choice, const RequestIndex& index);
    struct Mistake {
        std::string path;
        std::size_t line = 0;
        std::string text;
        // "rules.txt:4: unknown check value 'crc17'"
        std::string words() const { return path + ":" + std::to_string(line) + ": " + text; }
    };
    const std::optional<Mistake>& mistake() const { return mistake_; }

    void addTo(DeviceStandIn& standIn);
    bool hasRules() const { return rules_ != nullptr; }
    bool hasModbus() const { return modbus_ != nullptr; }
    // What the Modbus device knows, in a line: "Modbus RTU, units 1, 2"; empty without one.
    const std::string& modbusWords() const { return modbusWords_; }

private:
    Failure loadRules(const std::string& path, const RequestIndex& index);
    Failure loadModbus(const AnswerSourceChoice& choice, const RequestIndex& index);

    std::unique_ptr<AnswerSource> rules_, modbus_;
    std::optional<Mistake> mistake_;
    std::string modbusWords_;
};

// The rules file the window uses for a conversation: beside it, with its name and ".rules".
std::string rulesFileBeside(const std::string& conversationPath);
