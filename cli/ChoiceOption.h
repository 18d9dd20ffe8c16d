#pragma once

// An option whose value is one of a choice table's names (--parity, --format, ...).

#include <optional>
#include <string>

#include "cli/Arguments.h"
#include "engine/ChoiceTable.h"

// The value the option names: nothing when it is not given; nothing either when it names no
// row, with the mistake in *error unless an earlier mistake is already there.
template <typename Table>
std::optional<ChoiceValue<Table>> choiceOption(const Arguments& arguments, const char* option,
                                               const Table& table, std::string* error) {
    const auto text = arguments.value(option);
    if (!text) return std::nullopt;
    const auto value = parseChoice(table, *text);
    if (!value && error->empty()) {
        *error = std::string(option) + " " + *text + " is not one of " + choiceNames(table, ", ");
    }
    return value;
}
