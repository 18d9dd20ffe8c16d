#pragma once

// The port and its line settings as record and play take them: --port, --baud, --data-bits,
// --parity and --stop-bits, with the values and defaults that the settings dialog offers.

#include <optional>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "engine/DeviceSettings.h"

std::vector<OptionSpec> lineOptions();

// The help lines of those options.
std::string lineOptionsHelp();

// The settings given, or nothing with the mistake in *error (a missing --port, a speed the
// dialog does not offer, ...).
std::optional<DeviceSettings> deviceSettingsFrom(const Arguments& arguments, std::string* error);

// The same without --port, for a command that names its ports in options of its own: the four
// line settings, their help lines, and the settings given (port left empty).
std::vector<OptionSpec> lineSettingOptions();
std::string lineSettingsHelp();
std::optional<DeviceSettings> lineSettingsFrom(const Arguments& arguments, std::string* error);

// --reconnect, which record, play, monitor and respond take alike, and its help lines.
OptionSpec reconnectOption();
std::string reconnectHelp();
