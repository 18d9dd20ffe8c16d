#pragma once

// One table per choice the user makes: each row is a value, the text the dialog's list shows
// for it and the name the command line takes for it. Parsing, help, error messages and the
// dialogs all read the same rows, so a choice is spelled once. A table is a constant array of
// rows; the functions below take any such array.

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

template <typename Value>
struct Choice {
    Value value;
    const char* label;  // the dialog's text, exactly as it shows it
    const char* name;   // the command line's name
};

// Whether the two texts are the same, ignoring case.
bool sameTextIgnoringCase(std::string_view left, std::string_view right);

template <typename Table>
using ChoiceValue = std::remove_cvref_t<decltype(std::declval<const Table&>()[0].value)>;

// The value whose command-line name is `name`, ignoring case; nothing for any other text.
template <typename Table>
std::optional<ChoiceValue<Table>> parseChoice(const Table& table, std::string_view name) {
    for (const auto& choice : table) {
        if (sameTextIgnoringCase(choice.name, name)) return choice.value;
    }
    return std::nullopt;
}

// The command-line name of value; "" when the table has no row for it.
template <typename Table>
std::string choiceName(const Table& table, ChoiceValue<Table> value) {
    for (const auto& choice : table) {
        if (choice.value == value) return choice.name;
    }
    return {};
}

// Every command-line name in the table's order, joined by separator; with lastSeparator the
// last two are joined by that instead ("1, 1.5 or 2").
template <typename Table>
std::string choiceNames(const Table& table, std::string_view separator,
                        std::string_view lastSeparator = {}) {
    std::string text;
    std::size_t index = 0;
    const std::size_t count = std::size(table);
    for (const auto& choice : table) {
        if (index > 0) {
            text += index + 1 == count && !lastSeparator.empty() ? lastSeparator : separator;
        }
        text += choice.name;
        ++index;
    }
    return text;
}

// The dialog's texts in the table's order, as its list holds them.
template <typename Table>
std::vector<std::string> choiceLabels(const Table& table) {
    std::vector<std::string> labels;
    for (const auto& choice : table) labels.emplace_back(choice.label);
    return labels;
}
