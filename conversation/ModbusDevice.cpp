#include "conversation/ModbusDevice.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

SourceOffer refused(std::string why) { return {SourceOffer::Kind::Refused, {}, std::move(why)}; }

std::string exceptionWords(std::uint8_t code) {
    switch (code) {
        case kIllegalFunction:
            return "exception 01 (illegal function)";
        case kIllegalDataAddress:
            return "exception 02 (illegal data address)";
        default:
            return "exception 03 (illegal data value)";
    }
}

}  // namespace

ModbusDevice::ModbusDevice(ModbusModel model)
    : framing_(model.framing), units_(std::move(model.units)) {
    for (auto& [place, values] : model.values) places_[place].values = std::move(values);
}

SourceOffer ModbusDevice::offer(std::span<const std::uint8_t> request, bool silenceFollowed) {
    if (framing_ == ModbusFraming::Ascii) {
        // An ASCII frame says where it ends, silence or not.
        if (!endsAsciiFrame(request)) return {};
    } else if (!silenceFollowed) {
        const auto length = rtuRequestLength(request);
        if (!length || request.size() != *length) return {};
    }
    const DecodedFrame decoded = decodeModbusFrame(framing_, request);
    const std::uint8_t unit = decoded.frame.unit;
    switch (decoded.kind) {
        case DecodedFrame::Kind::NotAFrame:
            return {};
        case DecodedFrame::Kind::WrongCheck:
            // Any bytes are an RTU frame with a wrong CRC: only a known unit makes them one.
            if (framing_ == ModbusFraming::Ascii) return refused("Modbus: wrong LRC");
            if (!units_.contains(unit)) return {};
            return refused("Modbus: wrong CRC");
        case DecodedFrame::Kind::Good:
            break;
    }
    // Function codes from 0x80 are those of exceptions, which only a slave sends.
    if (decoded.frame.function & 0x80) return {};
    if (unit == 0) return refused("Modbus: broadcast");
    if (!units_.contains(unit))
        return refused("Modbus: unit " + std::to_string(unit) + " never recorded");
    return answer(decoded.frame);
}

SourceOffer ModbusDevice::answer(const ModbusFrame& request) {
    const ModbusUnit& unit = units_.at(request.unit);
    const auto delay = unit.delayMicros.find(request.function);
    SourceOffer offer{SourceOffer::Kind::Answer,
                      {{}},
                      "Modbus unit " + std::to_string(request.unit) + ", " +
                          modbusFunctionName(request.function)};
    offer.bursts[0].delayMicros = delay == unit.delayMicros.end() ? 0 : delay->second;
    const auto answerWith = [&](const ModbusFrame& frame) {
        offer.bursts[0].bytes = encodeModbusFrame(framing_, frame);
        return offer;
    };
    const auto exception = [&](std::uint8_t code) {
        offer.origin += ": " + exceptionWords(code);
        return answerWith(exceptionAnswer(request, code));
    };

    if (!unit.functions.test(request.function)) return exception(kIllegalFunction);
    if (!tableOfFunction(request.function)) return {};  // answered only as recorded
    const auto access = readModbusRequest(request);
    if (!access) return exception(kIllegalDataValue);
    const std::vector<Place*> places = placesOf(request.unit, *access);
    if (places.empty()) return exception(kIllegalDataAddress);

    if (access->write) {
        for (std::size_t i = 0; i < places.size(); ++i) *places[i] = {{access->values[i]}, 0};
        return answerWith(writeAnswer(request));
    }
    std::vector<std::uint16_t> values;
    for (Place* place : places) {
        values.push_back(place->values[std::min(place->nextRead, place->values.size() - 1)]);
        place->nextRead = std::min(place->nextRead + 1, place->values.size());
    }
    return answerWith(readAnswer(request, *access, values));
}

std::vector<ModbusDevice::Place*> ModbusDevice::placesOf(std::uint8_t unit,
                                                         const ModbusAccess& access) {
    std::vector<Place*> places;
    if (!access.withinAddresses()) return places;
    for (std::uint32_t i = 0; i < access.count; ++i) {
        const auto found =
            places_.find({unit, access.table, static_cast<std::uint16_t>(access.address + i)});
        if (found == places_.end()) return {};
        places.push_back(&found->second);
    }
    return places;
}
