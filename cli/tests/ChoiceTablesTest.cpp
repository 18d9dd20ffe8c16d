// Every choice table against what reads it: names round-trip, and each help text lists exactly
// the table's names with the default its constant names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>

#include "cli/Command.h"
#include "cli/LineOptions.h"
#include "convert/Import.h"
#include "convert/TextExport.h"
#include "engine/DeviceSettingsChoices.h"

namespace {

template <typename Table>
std::vector<std::string> namesOf(const Table& table) {
    std::vector<std::string> names;
    for (const auto& row : table) names.emplace_back(row.name);
    return names;
}

// Each name to its value and back, in any case; each row at the position of its value, as the
// dialogs' lists take it.
template <typename Table>
void expectRoundTrips(const Table& table) {
    for (std::size_t index = 0; index < std::size(table); ++index) {
        const auto& row = table[index];
        std::string shouted = row.name;
        std::transform(shouted.begin(), shouted.end(), shouted.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        const auto value = parseChoice(table, shouted);
        ASSERT_TRUE(value) << row.name;
        EXPECT_EQ(choiceName(table, *value), row.name);
        if constexpr (!std::is_same_v<ChoiceValue<Table>, std::int32_t>) {
            EXPECT_EQ(static_cast<std::size_t>(*value), index) << row.name;
        }
    }
    EXPECT_FALSE(parseChoice(table, "")) << namesOf(table).front();
    EXPECT_FALSE(parseChoice(table, std::string(namesOf(table).front()) + "x"));
}

// The words a help text lists: split at ", ", " or ", "|" and white space.
std::vector<std::string> listed(const std::string& text) {
    static const std::regex word(R"([^\s,|]+)");
    std::vector<std::string> words;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), word);
         it != std::sregex_iterator(); ++it) {
        if (it->str() != "or") words.push_back(it->str());
    }
    return words;
}

// The submatches of pattern in text; empty when it does not match.
std::vector<std::string> found(const std::string& text, const std::string& pattern) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(pattern))) return {};
    return {match.begin() + 1, match.end()};
}

const std::string& helpOf(const std::string& name) {
    for (const Command& command : commands()) {
        if (command.name == name) return command.help;
    }
    static const std::string none;
    return none;
}

}  // namespace

TEST(ChoiceTables, EveryNameRoundTrips) {
    expectRoundTrips(kSpeedTable);
    expectRoundTrips(kDataBitsTable);
    expectRoundTrips(kParityTable);
    expectRoundTrips(kStopBitsTable);
    expectRoundTrips(kExportTypeTable);
    expectRoundTrips(kImportFormatTable);
}

TEST(ChoiceTables, LineOptionsHelpListsTheTablesWithTheirDefaults) {
    const std::string help = lineOptionsHelp();
    auto speed = found(help, R"(--baud SPEED +bit/s \((\w+)\), one of:\n((?: {25}.*\n)+))");
    ASSERT_EQ(speed.size(), 2u) << help;
    EXPECT_EQ(speed[0], choiceName(kSpeedTable, kDefaultSpeed));
    EXPECT_EQ(listed(speed[1]), namesOf(kSpeedTable));

    auto expectListed = [&](const std::string& option, const auto& table, auto defaultValue) {
        auto parts = found(help, option + R"( \w+ +(.*) \(([\w.]+)\)\n)");
        ASSERT_EQ(parts.size(), 2u) << option;
        EXPECT_EQ(listed(parts[0]), namesOf(table)) << option;
        EXPECT_EQ(parts[1], choiceName(table, defaultValue)) << option;
    };
    expectListed("--data-bits", kDataBitsTable, kDefaultDataBits);
    expectListed("--parity", kParityTable, kDefaultParity);
    expectListed("--stop-bits", kStopBitsTable, kDefaultStopBits);
}

TEST(ChoiceTables, ConversionHelpListsTheFormsWithTheirDefaults) {
    auto expectListed = [](const std::string& help, const auto& table, auto defaultValue) {
        auto usage = found(help, R"(\[--format ([\w|]+)\])");
        ASSERT_EQ(usage.size(), 1u) << help;
        EXPECT_EQ(listed(usage[0]), namesOf(table));
        // The option's own lines: "name: what it is" for each form, then the default.
        auto option = found(help, R"(--format FORM +([\s\S]*?) \((\w+)\)\n)");
        ASSERT_EQ(option.size(), 2u) << help;
        std::vector<std::string> described;
        static const std::regex form(R"((\w+): )");
        for (auto it = std::sregex_iterator(option[0].begin(), option[0].end(), form);
             it != std::sregex_iterator(); ++it) {
            described.push_back((*it)[1]);
        }
        EXPECT_EQ(described, namesOf(table));
        EXPECT_EQ(option[1], choiceName(table, defaultValue));
    };
    expectListed(helpOf("export"), kExportTypeTable, kDefaultExportType);
    expectListed(helpOf("import"), kImportFormatTable, kDefaultImportFormat);
    EXPECT_EQ(found(helpOf("import"), R"(bits per second \((\d+)\))"),
              std::vector<std::string>{std::to_string(kDefaultImportSpeed)});
}

TEST(ChoiceTables, TheFirstWrongLineOptionIsNamed) {
    std::string error;
    auto arguments =
        Arguments::parse({"-p", "x", "--parity", "e", "--stop-bits", "3"}, lineOptions(), &error);
    ASSERT_TRUE(arguments);
    EXPECT_FALSE(deviceSettingsFrom(*arguments, &error));
    EXPECT_EQ(error, "--parity e is not one of none, odd, even, mark, space");
}
