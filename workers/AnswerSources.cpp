#include "workers/AnswerSources.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "conversation/ModbusDevice.h"
#include "conversation/ModbusLearner.h"
#include "conversation/ModbusMap.h"
#include "conversation/RuleAnswers.h"

namespace {

// "Modbus RTU, units 1, 2"
std::string modbusWordsOf(const ModbusModel& model) {
    std::string words =
        model.framing == ModbusFraming::Ascii ? "Modbus ASCII, unit" : "Modbus RTU, unit";
    if (model.units.size() > 1) words += 's';
    const char* separator = " ";
    for (const auto& entry : model.units) {
        words += separator + std::to_string(entry.first);
        separator = ", ";
    }
    return words;
}

}  // namespace

AnswerSources::AnswerSources() = default;
AnswerSources::~AnswerSources() = default;

Failure AnswerSources::load(const AnswerSourceChoice& choice, const RequestIndex& index) {
    if (choice.rulesPath) {
        if (Failure failure = loadRules(*choice.rulesPath, index); failure.happened())
            return failure;
        if (mistake_) return {};
    }
    if (choice.learnModbus || choice.modbusMapPath) return loadModbus(choice, index);
    return {};
}

Failure AnswerSources::loadRules(const std::string& path, const RequestIndex& index) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file) return openFailure(Failure::Kind::OpenInput, path);
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) return openFailure(Failure::Kind::ReadInput, path);
    ParsedRules parsed = parseAnswerRules(text.str());
    if (parsed.mistake) {
        mistake_ = Mistake{path, parsed.mistake->line, parsed.mistake->text};
        return {};
    }
    auto rules = std::make_unique<RuleAnswers>();
    const std::optional<std::string> recording =
        index.path().empty() ? std::nullopt : std::optional<std::string>(index.path());
    const RuleAnswers::Started started = rules->start(std::move(parsed.rules), recording);
    if (started.failure.happened()) return started.failure;
    if (started.mistake) {
        mistake_ = Mistake{path, started.mistake->line, started.mistake->text};
        return {};
    }
    rules_ = std::move(rules);
    return {};
}

Failure AnswerSources::loadModbus(const AnswerSourceChoice& choice, const RequestIndex& index) {
    std::optional<ModbusModel> learned;
    if (choice.learnModbus && !index.path().empty()) {
        Failure failure;
        learned = learnModbusDevice(index.path(), &failure);
        if (!learned) return failure;
        // A recording of another protocol teaches no unit: the window then leaves it be.
        if (choice.onlyWhenModbus && learned->units.empty()) learned.reset();
    }
    std::optional<ModbusModel> model = learned;
    if (choice.modbusMapPath) {
        ModbusMapReading reading;
        if (Failure failure = loadModbusMap(*choice.modbusMapPath, reading); failure.happened())
            return failure;
        if (reading.mistake) {
            mistake_ = Mistake{*choice.modbusMapPath, reading.mistake->line, reading.mistake->text};
            return {};
        }
        model = learned ? mergeModbusModels(reading.model, *learned) : std::move(reading.model);
    }
    if (!model) return {};
    modbusWords_ = modbusWordsOf(*model);
    modbus_ = std::make_unique<ModbusDevice>(std::move(*model));
    return {};
}

void AnswerSources::addTo(DeviceStandIn& standIn) {
    if (rules_) standIn.addSource(*rules_, AnswerOrigin::Rules);
    if (modbus_) standIn.addSource(*modbus_, AnswerOrigin::Modbus);
}

std::string rulesFileBeside(const std::string& conversationPath) {
    return std::filesystem::path(conversationPath).replace_extension(".rules").string();
}
