// The Modbus map: written and read back, its mistakes, and a map over a learned model.
#include <gtest/gtest.h>

#include <string>

#include "conversation/ModbusMap.h"
#include "tests/support/TempDir.h"

namespace {

ModbusModel mapModel() {
    ModbusModel model;
    model.values = {{{1, ModbusTable::Coil, 0}, {1}},
                    {{1, ModbusTable::DiscreteInput, 3}, {0, 1}},
                    {{1, ModbusTable::HoldingRegister, 65535}, {7, 65535, 0}},
                    {{247, ModbusTable::InputRegister, 20}, {12}}};
    model.units[1].functions.set(1).set(5).set(15).set(2).set(3).set(6).set(16);
    model.units[247].functions.set(4);
    return model;
}

constexpr const char* kMapText =
    "unit,table,address,value\n"
    "1,coil,0,1\n"
    "1,discrete_input,3,0\n"
    "1,discrete_input,3,1\n"
    "1,holding,65535,7\n"
    "1,holding,65535,65535\n"
    "1,holding,65535,0\n"
    "247,input,20,12\n";

}  // namespace

TEST(ModbusMap, WritesARowPerValueAndReadsItBack) {
    EXPECT_EQ(modbusMapText(mapModel()), kMapText);
    const ModbusMapReading reading = readModbusMap(kMapText);
    EXPECT_FALSE(reading.mistake);
    EXPECT_EQ(reading.model, mapModel());

    // Comments, blank lines, CRLF, spaces around fields and a byte order mark are taken.
    const ModbusMapReading edited = readModbusMap(
        "\xEF\xBB\xBF# pump controller\r\nunit,table,address,value\r\n\r\n  # coils\r\n"
        "1, coil ,0,1\r\n1,discrete_input,3,0\n1,discrete_input,3,1\n1,holding,65535,7\n"
        "1,holding,65535,65535\n1,holding,65535,0\n247,input,20,12");
    EXPECT_FALSE(edited.mistake) << edited.mistake->text;
    EXPECT_EQ(edited.model, mapModel());

    TempDir dir;
    const std::string path = dir.file("map.csv");
    ASSERT_FALSE(saveModbusMap(path, mapModel()).happened());
    ModbusMapReading loaded;
    ASSERT_FALSE(loadModbusMap(path, loaded).happened());
    EXPECT_EQ(loaded.model, mapModel());
    EXPECT_EQ(loadModbusMap(dir.file("none.csv"), loaded).kind, Failure::Kind::OpenInput);
}

TEST(ModbusMap, TellsTheFirstMistakeAndItsLine) {
    const struct {
        const char* text;
        std::size_t line;
        const char* mistake;
    } cases[] = {
        {"unit,table,address\n", 1, "the first row is not unit,table,address,value"},
        {"# only a comment\n", 2, "no header row unit,table,address,value"},
        {"unit,table,address,value\n1,holding,0\n", 2, "expected 4 fields, found 3"},
        {"unit,table,address,value\n1,holding,0,1,2\n", 2, "expected 4 fields, found 5"},
        {"unit,table,address,value\r\n\r\n1,holdings,0,1\r\n", 3,
         "table 'holdings' is not coil, discrete_input, holding or input"},
        {"unit,table,address,value\n1,coil,70000,1\n", 2, "address 70000 is not from 0 to 65535"},
        {"unit,table,address,value\n1,coil,0,2\n", 2, "value 2 is not 0 or 1 for a coil"},
        {"unit,table,address,value\n1,discrete_input,0,9\n", 2,
         "value 9 is not 0 or 1 for a discrete input"},
        {"unit,table,address,value\n1,input,0,65536\n", 2, "value 65536 is not from 0 to 65535"},
        {"unit,table,address,value\n0,input,0,1\n", 2, "unit 0 is not from 1 to 247"},
        {"unit,table,address,value\n1,input,-1,1\n", 2, "address '-1' is not a decimal number"},
        {"unit,table,address,value\n1,input,0,\n", 2, "value '' is not a decimal number"},
        {"unit,table,address,value\n1,input,0,99999999999999999999\n", 2,
         "value 99999999999999999999 is not from 0 to 65535"},
        {"unit,table,address,value\n1,coil,0,1\n\n2,coil,0,x\n1,coil,0,7\n", 4,
         "value 'x' is not a decimal number"},
    };
    for (const auto& c : cases) {
        const ModbusMapReading reading = readModbusMap(c.text);
        ASSERT_TRUE(reading.mistake) << c.text;
        EXPECT_EQ(reading.mistake->line, c.line) << c.text;
        EXPECT_EQ(reading.mistake->text, c.mistake);
    }
}

TEST(ModbusMap, AMapsValuesWinOverTheLearnedOnesPlaceByPlace) {
    ModbusModel learned;
    learned.framing = ModbusFraming::Ascii;
    learned.units[1].functions.set(3).set(8);
    learned.units[1].delayMicros[3] = 1500;
    learned.values = {{{1, ModbusTable::HoldingRegister, 65535}, {1, 2}},
                      {{1, ModbusTable::HoldingRegister, 5}, {9}}};
    const ModbusModel merged = mergeModbusModels(mapModel(), learned);
    EXPECT_EQ(merged.framing, ModbusFraming::Ascii);
    EXPECT_EQ(merged.values.at({1, ModbusTable::HoldingRegister, 65535}),
              (std::vector<std::uint16_t>{7, 65535, 0}));
    EXPECT_EQ(merged.values.at({1, ModbusTable::HoldingRegister, 5}),
              std::vector<std::uint16_t>{9});
    EXPECT_EQ(merged.values.size(), mapModel().values.size() + 1);
    EXPECT_EQ(merged.units.at(1).functions,
              mapModel().units.at(1).functions | learned.units.at(1).functions);
    EXPECT_EQ(merged.units.at(1).delayMicros, learned.units.at(1).delayMicros);
    EXPECT_EQ(merged.units.at(247).functions.count(), 1u);
}
