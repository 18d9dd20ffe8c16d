#pragma once

// What respond tells when it ends: the requests that came and how each was answered, and how
// late the answers' bursts went out, as lines of "name: value" and as one JSON object.

#include <cstdint>
#include <map>
#include <string>

#include "conversation/DelayTally.h"
#include "conversation/DeviceStandIn.h"

// byOrigin: how many requests each rule or Modbus function answered.
std::string respondReportText(const StandInCounts& counts, const DelayTally& lateness,
                              const std::map<std::string, std::uint64_t>& byOrigin);
std::string respondReportJson(const StandInCounts& counts, const DelayTally& lateness,
                              const std::map<std::string, std::uint64_t>& byOrigin);
// Bytes as two hexadecimal digits each, space-separated, with "... (N bytes)" when only the
// first of `total` are given.
std::string hexWords(const std::vector<std::uint8_t>& bytes, std::uint64_t total);
