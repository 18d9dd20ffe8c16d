// A Modbus slave learned from a made conversation: what it learns, and how it answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversation/ModbusDevice.h"
#include "conversation/ModbusLearner.h"
#include "conversation/tests/SaidBursts.h"
#include "tests/support/ModbusRtu.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using modbus_rtu::withCrc;

Bytes readHolding(std::uint8_t unit, std::uint16_t first, std::uint16_t count) {
    return modbus_rtu::readHoldingRegistersQuery(unit, first, count);
}
Bytes holdingValues(std::uint8_t unit, const std::vector<std::uint16_t>& values) {
    return modbus_rtu::readHoldingRegistersResponse(unit, values);
}
Bytes text(const std::string& characters) { return {characters.begin(), characters.end()}; }

class ModbusDeviceTest : public ::testing::Test {
protected:
    ModbusModel learn(const std::vector<Said>& said) {
        const std::string path = dir_.file("talk.pcapng");
        EXPECT_TRUE(writeSaid(path, said));
        Failure failure;
        const auto model = learnModbusDevice(path, &failure);
        EXPECT_TRUE(model) << failure.reason();
        return model.value_or(ModbusModel{});
    }

    // Unit 1 over RTU: holding registers 10 to 13 read, written and changed, ten coils read and
    // written as they were, an input register refused with exception 02, function 43 refused as
    // illegal; unit 2 never answers.
    ModbusModel learnRtuRecording() {
        const Bytes coils = withCrc({1, 1, 2, 0b1000'0101, 0b10});
        return learn({
            {0, Device, text("boot")},
            {1'000, Host, readHolding(1, 10, 3)},
            {2'000, Device, holdingValues(1, {100, 200, 300})},
            {10'000, Host, withCrc({1, 1, 0, 0, 0, 10})},
            {13'000, Device, Bytes(coils.begin(), coils.begin() + 3)},
            {13'200, Device, Bytes(coils.begin() + 3, coils.end())},
            {20'000, Host, withCrc({1, 6, 0, 11, 0, 222})},
            {21'000, Device, withCrc({1, 6, 0, 11, 0, 222})},
            {30'000, Host, withCrc({1, 16, 0, 12, 0, 2, 4, 1, 45, 1, 144})},  // 301, 400
            {31'000, Device, withCrc({1, 16, 0, 12, 0, 2})},
            {40'000, Host, readHolding(1, 10, 3)},
            {45'000, Device, holdingValues(1, {101, 222, 301})},
            {50'000, Host, readHolding(1, 10, 1)},
            {52'000, Device, holdingValues(1, {101})},
            {60'000, Host, readHolding(1, 10, 1)},
            {61'000, Device, holdingValues(1, {102})},
            {62'000, Host, withCrc({1, 4, 0, 0, 0, 1})},
            {62'500, Device, withCrc({1, 0x84, 2})},
            {64'000, Host, withCrc({1, 43, 14, 1, 0})},
            {64'500, Device, withCrc({1, 0xAB, 1})},
            {66'000, Host, withCrc({1, 5, 0, 9, 0xFF, 0})},
            {66'400, Device, withCrc({1, 5, 0, 9, 0xFF, 0})},
            {68'000, Host, withCrc({1, 15, 0, 0, 0, 2, 1, 0b01})},
            {68'400, Device, withCrc({1, 15, 0, 0, 0, 2})},
            {70'000, Host, readHolding(2, 0, 1)},
        });
    }

    TempDir dir_;
};

}  // namespace

TEST_F(ModbusDeviceTest, LearnsUnitsFunctionsValuesInOrderAndAnswerTimes) {
    const ModbusModel model = learnRtuRecording();
    EXPECT_EQ(model.framing, ModbusFraming::Rtu);
    ASSERT_EQ(model.units.size(), 1u);  // unit 2 never answered
    const ModbusUnit& unit = model.units.at(1);
    std::vector<int> functions;
    for (int function = 0; function < 256; ++function)
        if (unit.functions.test(function)) functions.push_back(function);
    EXPECT_EQ(functions, (std::vector<int>{1, 3, 4, 5, 6, 15, 16}));  // 43 was illegal
    // Function 3 took 1, 5, 2 and 1 ms; exceptions count for their function.
    EXPECT_EQ(unit.delayMicros, (std::map<std::uint8_t, std::uint64_t>{{1, 3000},
                                                                       {3, 2000},
                                                                       {4, 500},
                                                                       {5, 400},
                                                                       {6, 1000},
                                                                       {15, 400},
                                                                       {16, 1000},
                                                                       {43, 500}}));

    std::map<ModbusPlace, std::vector<std::uint16_t>> expected{
        {{1, ModbusTable::HoldingRegister, 10}, {100, 101, 102}},
        {{1, ModbusTable::HoldingRegister, 11}, {200, 222}},
        {{1, ModbusTable::HoldingRegister, 12}, {300, 301}},
        {{1, ModbusTable::HoldingRegister, 13}, {400}},
    };
    const int bits[10] = {1, 0, 1, 0, 0, 0, 0, 1, 0, 1};
    for (std::uint16_t address = 0; address < 10; ++address)
        expected[{1, ModbusTable::Coil, address}] = {static_cast<std::uint16_t>(bits[address])};
    EXPECT_EQ(model.values, expected);
}

// A protocol of its own that ends its frames in the same CRC: its requests are not of the
// lengths the functions they would be give, so it teaches no unit.
TEST_F(ModbusDeviceTest, AnotherProtocolWithTheSameCrcTeachesNothing) {
    std::vector<Said> said;
    for (std::uint8_t counter = 1; counter <= 4; ++counter) {
        said.emplace_back(counter * 10'000u, Host, withCrc({0x02, counter, 0x10, 0x00, 0x01}));
        said.emplace_back(counter * 10'000u + 2'000, Device,
                          withCrc({0x02, counter, 0x90, 0x00, 0x64}));
    }
    EXPECT_TRUE(learn(said).units.empty());
}

TEST_F(ModbusDeviceTest, AnAddressKeepsItsFirstValuesAndItsLastPastTheLimit) {
    std::vector<Said> said;
    for (std::uint16_t i = 0; i < 300; ++i) {
        said.push_back({i * 1000u, Host, readHolding(1, 0, 1)});
        said.push_back(
            {i * 1000u + 500, Device, holdingValues(1, {static_cast<std::uint16_t>(i % 290)})});
    }
    const ModbusModel model = learn(said);
    const auto& values = model.values.at({1, ModbusTable::HoldingRegister, 0});
    ASSERT_EQ(values.size(), kMaxValuesPerPlace);
    for (std::size_t i = 0; i + 1 < values.size(); ++i) EXPECT_EQ(values[i], i);
    EXPECT_EQ(values.back(), 9);  // 0 to 289, then 0 to 9
}

TEST_F(ModbusDeviceTest, ReadsGiveEachPlaceItsValuesInOrderThenHoldTheLast) {
    ModbusDevice device(learnRtuRecording());
    std::vector<Bytes> answers;
    for (int read = 0; read < 4; ++read) {
        const SourceOffer offer = device.offer(readHolding(1, 10, 1), false);
        ASSERT_EQ(offer.kind, SourceOffer::Kind::Answer);
        ASSERT_EQ(offer.bursts.size(), 1u);
        EXPECT_EQ(offer.bursts[0].delayMicros, 2000u);
        EXPECT_EQ(offer.origin, "Modbus unit 1, read holding registers");
        answers.push_back(offer.bursts[0].bytes);
    }
    EXPECT_EQ(answers, (std::vector<Bytes>{holdingValues(1, {100}), holdingValues(1, {101}),
                                           holdingValues(1, {102}), holdingValues(1, {102})}));
    // A range never read as such, each place on its own schedule.
    for (const auto& values :
         {std::vector<std::uint16_t>{200, 300, 400}, {222, 301, 400}, {222, 301, 400}})
        EXPECT_EQ(device.offer(readHolding(1, 11, 3), true).bursts.at(0).bytes,
                  holdingValues(1, values));
    EXPECT_EQ(device.offer(withCrc({1, 1, 0, 0, 0, 10}), false).bursts.at(0).bytes,
              withCrc({1, 1, 2, 0b1000'0101, 0b10}));
    EXPECT_EQ(device.offer(withCrc({1, 1, 0, 7, 0, 3}), false).bursts.at(0).bytes,
              withCrc({1, 1, 1, 0b101}));
}

TEST_F(ModbusDeviceTest, WritesAnswerAsModbusDoesAndLaterReadsGiveWhatWasWritten) {
    ModbusDevice device(learnRtuRecording());
    const Bytes single = withCrc({1, 6, 0, 13, 0x12, 0x34});
    EXPECT_EQ(device.offer(single, false).bursts.at(0).bytes, single);
    const SourceOffer multiple = device.offer(withCrc({1, 16, 0, 10, 0, 2, 4, 0, 7, 0, 8}), false);
    EXPECT_EQ(multiple.bursts.at(0).bytes, withCrc({1, 16, 0, 10, 0, 2}));
    EXPECT_EQ(multiple.origin, "Modbus unit 1, write multiple registers");
    EXPECT_EQ(device.offer(readHolding(1, 10, 4), false).bursts.at(0).bytes,
              holdingValues(1, {7, 8, 300, 0x1234}));

    const Bytes coilOff = withCrc({1, 5, 0, 9, 0, 0});
    EXPECT_EQ(device.offer(coilOff, false).bursts.at(0).bytes, coilOff);
    EXPECT_EQ(device.offer(withCrc({1, 15, 0, 0, 0, 3, 1, 0b110}), false).bursts.at(0).bytes,
              withCrc({1, 15, 0, 0, 0, 3}));
    EXPECT_EQ(device.offer(withCrc({1, 1, 0, 0, 0, 10}), false).bursts.at(0).bytes,
              withCrc({1, 1, 2, 0b1000'0110, 0}));
}

TEST_F(ModbusDeviceTest, ExceptionsForUnknownPlacesFunctionsAndValues) {
    ModbusDevice device(learnRtuRecording());
    struct Case {
        Bytes request;
        Bytes answer;
        std::uint64_t delay;
    };
    const Case cases[] = {
        {readHolding(1, 12, 3), withCrc({1, 0x83, 2}), 2000},  // 14 never seen
        {withCrc({1, 6, 0, 14, 0, 1}), withCrc({1, 0x86, 2}), 1000},
        {withCrc({1, 4, 0, 0, 0, 1}), withCrc({1, 0x84, 2}), 500},
        {withCrc({1, 2, 0, 0, 0, 1}), withCrc({1, 0x82, 1}), 0},  // never asked for
        {withCrc({1, 43, 14, 1, 0}), withCrc({1, 0xAB, 1}), 500},
        {readHolding(1, 10, 0), withCrc({1, 0x83, 3}), 2000},
        {withCrc({1, 16, 0, 12, 0, 2, 3, 1, 2, 3}), withCrc({1, 0x90, 3}), 1000},
    };
    for (const Case& c : cases) {
        const SourceOffer offer = device.offer(c.request, true);
        ASSERT_EQ(offer.kind, SourceOffer::Kind::Answer) << int{c.request[1]};
        EXPECT_EQ(offer.bursts.at(0).bytes, c.answer) << int{c.request[1]};
        EXPECT_EQ(offer.bursts.at(0).delayMicros, c.delay) << int{c.request[1]};
    }
    EXPECT_EQ(device.offer(readHolding(1, 12, 3), true).origin,
              "Modbus unit 1, read holding registers: exception 02 (illegal data address)");
    // The failed write changed nothing.
    EXPECT_EQ(device.offer(readHolding(1, 13, 1), true).bursts.at(0).bytes,
              holdingValues(1, {400}));
}

TEST_F(ModbusDeviceTest, SilenceForOtherUnitsBroadcastsAndWrongCrcsAndNothingForNonFrames) {
    ModbusDevice device(learnRtuRecording());
    Bytes wrongCrc = readHolding(1, 10, 1);
    wrongCrc.back() ^= 1;
    Bytes strangerWrongCrc = readHolding(9, 10, 1);
    strangerWrongCrc.back() ^= 1;
    struct Case {
        Bytes request;
        SourceOffer::Kind kind;
        std::string origin;
    };
    const Case cases[] = {
        {readHolding(7, 10, 1), SourceOffer::Kind::Refused, "Modbus: unit 7 never recorded"},
        {readHolding(2, 0, 1), SourceOffer::Kind::Refused, "Modbus: unit 2 never recorded"},
        {withCrc({0, 6, 0, 11, 0, 1}), SourceOffer::Kind::Refused, "Modbus: broadcast"},
        {wrongCrc, SourceOffer::Kind::Refused, "Modbus: wrong CRC"},
        {strangerWrongCrc, SourceOffer::Kind::None, ""},
        {text("xyz"), SourceOffer::Kind::None, ""},
        // An exception's function code is no request, even from a known unit.
        {withCrc({1, 0x84, 2}), SourceOffer::Kind::None, ""},
    };
    for (const Case& c : cases) {
        const SourceOffer offer = device.offer(c.request, true);
        EXPECT_EQ(offer.kind, c.kind) << offer.origin;
        EXPECT_EQ(offer.origin, c.origin);
        EXPECT_TRUE(offer.bursts.empty());
    }
}

TEST_F(ModbusDeviceTest, RtuAnswersBeforeTheSilenceOnlyWhatIsWholeByItsShape) {
    ModbusDevice device(learnRtuRecording());
    const Bytes read = readHolding(1, 10, 1);
    const Bytes write = withCrc({1, 16, 0, 12, 0, 1, 2, 0, 9});
    const Bytes identify = withCrc({1, 43, 14, 1, 0});
    Bytes longer = read;
    longer.push_back(0x55);
    const auto kind = [&](const Bytes& bytes, std::size_t length, bool silence) {
        return device.offer(std::span(bytes).first(length), silence).kind;
    };
    using Kind = SourceOffer::Kind;
    EXPECT_EQ(kind(read, 7, false), Kind::None);
    EXPECT_EQ(kind(write, 10, false), Kind::None);
    EXPECT_EQ(kind(write, 11, false), Kind::Answer);
    EXPECT_EQ(kind(identify, 7, false), Kind::None);  // its length is not its function's
    EXPECT_EQ(kind(identify, 7, true), Kind::Answer);
    EXPECT_EQ(kind(longer, 9, false), Kind::None);
    EXPECT_EQ(kind(longer, 9, true), Kind::Refused);
    Bytes wrongCrc = read;
    wrongCrc.back() ^= 1;
    EXPECT_EQ(kind(wrongCrc, 8, false), Kind::Refused);
}

TEST_F(ModbusDeviceTest, AnAsciiRecordingIsAnsweredInAscii) {
    // Read holding register 0 of unit 1, answered 42 (LRCs FB and D0).
    ModbusDevice device(learn({{0, Host, text(":010300000001FB\r\n")},
                               {3'000, Device, text(":010302002AD0\r\n")},
                               {9'000, Host, text(":0103000000")},  // in two bursts
                               {9'100, Host, text("01FB\r\n")},
                               {12'000, Device, text(":010302002AD0\r\n")}}));
    EXPECT_EQ(device.offer(text(":010300000001"), false).kind, SourceOffer::Kind::None);
    const SourceOffer offer = device.offer(text(":010300000001fb\r\n"), false);
    ASSERT_EQ(offer.kind, SourceOffer::Kind::Answer);
    EXPECT_EQ(offer.bursts.at(0).bytes, text(":010302002AD0\r\n"));
    EXPECT_EQ(offer.bursts.at(0).delayMicros, 3000u);
    // Register 0 is known, but the unit was never asked to write it.
    EXPECT_EQ(device.offer(text(":010600000007F2\r\n"), false).bursts.at(0).bytes,
              text(":01860178\r\n"));
    const SourceOffer wrong = device.offer(text(":010300000001FC\r\n"), false);
    EXPECT_EQ(wrong.kind, SourceOffer::Kind::Refused);
    EXPECT_EQ(wrong.origin, "Modbus: wrong LRC");
}
