// The Modbus learner and device over any conversation, and the map reader over any text. The
// input, cut into bursts (a byte: the top bit says the device sent it, the rest how many bytes
// follow), is written as a conversation and learned; the model keeps its bounds and survives its
// map; the device, in both framings, answers every host burst with one frame of the asking unit,
// refuses with a reason, or leaves it. The same input read as a map either tells a mistake on a
// line it has or gives a model whose map reads back the same.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "conversation/ConversationWriter.h"
#include "conversation/ModbusDevice.h"
#include "conversation/ModbusLearner.h"
#include "conversation/ModbusMap.h"
#include "fuzz/FuzzSupport.h"

namespace {

void checkModel(const ModbusModel& model) {
    for (const auto& [place, values] : model.values) {
        check(model.units.contains(place.unit), "a place of a learned unit");
        check(!values.empty() && values.size() <= kMaxValuesPerPlace, "values within bounds");
        for (std::size_t i = 0; i < values.size(); ++i) {
            check(!holdsBits(place.table) || values[i] <= 1, "bits are 0 or 1");
            check(i == 0 || values[i] != values[i - 1], "no equal values in a row");
        }
    }
    for (const auto& [unit, functions] : model.units)
        check(unit >= kFirstModbusUnit && unit <= kLastModbusUnit, "a unit a slave can be");
}

void checkOffer(ModbusFraming framing, const Bytes& request, const SourceOffer& offer) {
    switch (offer.kind) {
        case SourceOffer::Kind::None:
            check(offer.bursts.empty(), "nothing sent for None");
            break;
        case SourceOffer::Kind::Refused:
            check(offer.bursts.empty() && !offer.origin.empty(), "a refusal says why");
            break;
        case SourceOffer::Kind::Answer: {
            check(offer.bursts.size() == 1 && !offer.origin.empty(), "one answer with its origin");
            const DecodedFrame answer = decodeModbusFrame(framing, offer.bursts[0].bytes);
            const DecodedFrame asked = decodeModbusFrame(framing, request);
            check(answer.kind == DecodedFrame::Kind::Good, "the answer is a frame");
            check(asked.kind == DecodedFrame::Kind::Good, "only a frame is answered");
            check(answer.frame.unit == asked.frame.unit, "the unit asked answers");
            check((answer.frame.function & 0x7F) == asked.frame.function, "of the function asked");
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = scratchFile("modbus.pcapng");
    ConversationWriter writer;
    check(!writer.open(path, {"Veltrane fuzz", {{"COM1 <-> COM2", "9600 8N1"}}}).happened(),
          "writer opened");
    std::vector<Bytes> requests;
    std::uint64_t time = 1'765'000'000'000'000;
    for (std::size_t at = 0; at < size;) {
        const bool fromDevice = data[at] & 0x80;
        const std::size_t length = std::min<std::size_t>(data[at] & 0x7F, size - at - 1);
        const Bytes bytes(data + at + 1, data + at + 1 + length);
        time += 300 + 7 * length;
        check(!writer.write({time, fromDevice ? Direction::Device : Direction::Host, 0, bytes})
                   .happened(),
              "burst written");
        if (!fromDevice) requests.push_back(bytes);
        at += 1 + length;
    }
    check(!writer.close().happened(), "writer closed");

    Failure failure;
    const auto learned = learnModbusDevice(path, &failure);
    check(learned.has_value(), "the writer's file is learned");
    checkModel(*learned);
    const ModbusMapReading again = readModbusMap(modbusMapText(*learned));
    check(!again.mistake && again.model.values == learned->values, "the map reads back");

    for (const ModbusFraming framing : {ModbusFraming::Rtu, ModbusFraming::Ascii}) {
        ModbusModel model = *learned;
        model.framing = framing;
        ModbusDevice device(std::move(model));
        for (const Bytes& request : requests) {
            checkOffer(framing, request, device.offer(request, false));
            checkOffer(framing, request, device.offer(request, true));
        }
    }

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ModbusMapReading map = readModbusMap(text);
    if (map.mistake) {
        check(map.mistake->line >= 1 && !map.mistake->text.empty(), "a mistake has a line");
    } else {
        checkModel(map.model);
        const ModbusMapReading written = readModbusMap(modbusMapText(map.model));
        check(!written.mistake && written.model == map.model, "a map reads back the same");
    }
    return 0;
}
