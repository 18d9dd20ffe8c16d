#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "conversation/AnswerSource.h"
#include "conversation/ModbusMessages.h"
#include "conversation/ModbusModel.h"

// A Modbus slave answering from a model, in the model's framing. A read whose every place is
// known answers with their values: each place gives its values one per read, in order, then
// holds its last. A write to known places answers as Modbus does, and later reads give the
// written values. A place never known gets exception 02, a function the unit never answered
// exception 01, data not of the function's shape exception 03; every answer comes after the
// unit's answer time for that function. Silence (Refused) for a wrong check value of a known
// unit, a broadcast and a unit never recorded. Functions without a table (diagnostics, device
// identification) and bytes that are no frame are left to others (None).
class ModbusDevice : public AnswerSource {
public:
    explicit ModbusDevice(ModbusModel model);

    SourceOffer offer(std::span<const std::uint8_t> request, bool silenceFollowed) override;

private:
    struct Place {
        std::vector<std::uint16_t> values;
        std::size_t nextRead = 0;
    };

    SourceOffer answer(const ModbusFrame& request);
    // The places of a request, all known, or nothing.
    std::vector<Place*> placesOf(std::uint8_t unit, const ModbusAccess& access);

    ModbusFraming framing_;
    std::map<std::uint8_t, ModbusUnit> units_;
    std::map<ModbusPlace, Place> places_;
};
