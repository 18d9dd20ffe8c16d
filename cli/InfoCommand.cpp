// info: the figures of a serial file or a conversation file, as text for people or as one JSON
// object for scripts; for a conversation also the Modbus slave it teaches, and that slave's map.
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "cli/ConversationSummary.h"
#include "cli/FileAndPortCommands.h"
#include "cli/JsonText.h"
#include "cli/OverwriteRefusal.h"
#include "cli/SerialFileSummary.h"
#include "conversation/ConversationFileName.h"
#include "conversation/LineEventText.h"
#include "conversation/ModbusLearner.h"
#include "conversation/ModbusMap.h"
#include "conversation/ModbusMessages.h"
#include "engine/TimeDisplay.h"

namespace {

std::string tenthsText(const std::optional<std::uint32_t>& tenths) {
    if (!tenths) return "none";
    return formatTimeDisplay(*tenths) + " (" + std::to_string(*tenths) + " tenths)";
}

std::string jsonNumber(const std::optional<std::uint32_t>& value) {
    return value ? std::to_string(*value) : "null";
}

void printText(std::FILE* out, const std::string& path, const SerialFileSummary& summary) {
    std::fprintf(out,
                 "file:           %s\n"
                 "file size:      %" PRIu64
                 " bytes\n"
                 "chunks:         %" PRIu64
                 "\n"
                 "data bytes:     %" PRIu64
                 "\n"
                 "duration:       %s\n"
                 "first offset:   %s\n"
                 "last offset:    %s\n"
                 "longest gap:    %s\n"
                 "garbage bytes:  %" PRIu64
                 "\n"
                 "last chunk cut: %s\n",
                 path.c_str(), summary.fileSize, summary.chunks, summary.dataBytes,
                 tenthsText(summary.duration).c_str(), tenthsText(summary.firstOffset).c_str(),
                 tenthsText(summary.lastOffset).c_str(), tenthsText(summary.longestGap).c_str(),
                 summary.garbageBytes, summary.lastChunkCut ? "yes" : "no");
}

void printJson(std::FILE* out, const std::string& path, const SerialFileSummary& summary) {
    const std::string duration =
        summary.duration ? jsonString(formatTimeDisplay(*summary.duration)) : "null";
    std::fprintf(out,
                 "{\"file\": %s, \"file_size\": %" PRIu64 ", \"chunks\": %" PRIu64
                 ", \"data_bytes\": %" PRIu64
                 ", \"duration\": %s, \"duration_tenths\": %s, \"first_offset_tenths\": %s"
                 ", \"last_offset_tenths\": %s, \"longest_gap_tenths\": %u"
                 ", \"garbage_bytes\": %" PRIu64 ", \"last_chunk_cut\": %s}\n",
                 jsonString(path).c_str(), summary.fileSize, summary.chunks, summary.dataBytes,
                 duration.c_str(), jsonNumber(summary.duration).c_str(),
                 jsonNumber(summary.firstOffset).c_str(), jsonNumber(summary.lastOffset).c_str(),
                 summary.longestGap, summary.garbageBytes, summary.lastChunkCut ? "true" : "false");
}

const char* formatName(ConversationReader::Format format) {
    return format == ConversationReader::Format::Pcap ? "pcap" : "pcapng";
}

std::string millis(std::uint64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(micros) / 1000.0);
    return text;
}

bool hasLineEvents(const InterfaceSummary& summary) {
    for (const std::uint64_t count : summary.lineEvents)
        if (count > 0) return true;
    return false;
}

// "control lines 2, break start 1": the kinds that came, in their order.
std::string lineEventCounts(const InterfaceSummary& summary) {
    std::string text;
    for (std::size_t kind = 0; kind < kLineEventKinds; ++kind) {
        if (summary.lineEvents[kind] == 0) continue;
        if (!text.empty()) text += ", ";
        text += lineEventKindName(static_cast<LineEventKind>(kind));
        text += " " + std::to_string(summary.lineEvents[kind]);
    }
    return text;
}

// {"control_lines": 2, ...}: every kind, so that a script finds each key.
std::string lineEventCountsJson(const InterfaceSummary& summary) {
    std::string json;
    for (std::size_t kind = 0; kind < kLineEventKinds; ++kind) {
        std::string key = lineEventKindName(static_cast<LineEventKind>(kind));
        std::replace(key.begin(), key.end(), ' ', '_');
        json += (json.empty() ? "{\"" : ", \"") + key +
                "\": " + std::to_string(summary.lineEvents[kind]);
    }
    return json + "}";
}

// "COM3 <-> COM4 (115200 8N1)"; "unnamed" where the file gives no name.
std::string interfaceText(const ConversationInterface& described) {
    std::string text = described.name.empty() ? "unnamed" : described.name;
    if (!described.lineSettings.empty()) text += " (" + described.lineSettings + ")";
    return text;
}

// The figures of one interface (or the file's one), each line led by `indent`.
void printFigures(std::FILE* out, const char* indent, const InterfaceSummary& summary) {
    const int pad = 16 - static_cast<int>(std::strlen(indent));
    std::fprintf(out, "%s%-*s%" PRIu64 " from the host, %" PRIu64 " from the device\n", indent, pad,
                 "bursts:", summary.hostBursts, summary.deviceBursts);
    std::fprintf(out, "%s%-*s%" PRIu64 " from the host, %" PRIu64 " from the device\n", indent, pad,
                 "bytes:", summary.hostBytes, summary.deviceBytes);
    std::fprintf(out, "%s%-*s%" PRIu64 " (%" PRIu64 " distinct, %" PRIu64 " unanswered)\n", indent,
                 pad, "requests:", summary.requests, summary.distinctRequests,
                 summary.unansweredRequests);
    std::fprintf(out, "%s%-*sp50 %s ms, p99 %s ms, max %s ms\n", indent, pad,
                 "answer time:", millis(summary.answerP50Micros).c_str(),
                 millis(summary.answerP99Micros).c_str(), millis(summary.answerMaxMicros).c_str());
    if (hasLineEvents(summary))
        std::fprintf(out, "%s%-*s%s\n", indent, pad,
                     "line events:", lineEventCounts(summary).c_str());
}

// A file of one interface reads as it always has; one of several gives each its own figures.
void printText(std::FILE* out, const std::string& path, const ConversationSummary& summary) {
    std::fprintf(out,
                 "file:           %s\n"
                 "format:         %s\n"
                 "duration:       %.6f s\n",
                 path.c_str(), formatName(summary.format),
                 static_cast<double>(summary.durationMicros) / 1e6);
    if (summary.interfaces.size() <= 1) {
        if (summary.interfaces.size() == 1 && !summary.interfaces[0].described.name.empty())
            std::fprintf(out, "interface:      %s\n",
                         interfaceText(summary.interfaces[0].described).c_str());
        printFigures(out, "", summary.all);
    } else {
        std::fprintf(out, "interfaces:     %zu\n", summary.interfaces.size());
        for (std::size_t i = 0; i < summary.interfaces.size(); ++i) {
            const std::string label = "interface " + std::to_string(i + 1) + ":";
            std::fprintf(out, "%-16s%s\n", label.c_str(),
                         interfaceText(summary.interfaces[i].described).c_str());
            printFigures(out, "  ", summary.interfaces[i]);
        }
    }
    std::fprintf(out, "last block cut: %s\n", summary.lastBlockCut ? "yes" : "no");
}

// The figures of one interface as JSON members, without braces.
std::string figuresJson(const InterfaceSummary& summary) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "\"host_bursts\": %" PRIu64 ", \"device_bursts\": %" PRIu64
                  ", \"host_bytes\": %" PRIu64 ", \"device_bytes\": %" PRIu64
                  ", \"requests\": %" PRIu64 ", \"distinct_requests\": %" PRIu64
                  ", \"unanswered_requests\": %" PRIu64
                  ", \"answer_time_p50_ms\": %s, \"answer_time_p99_ms\": %s"
                  ", \"answer_time_max_ms\": %s",
                  summary.hostBursts, summary.deviceBursts, summary.hostBytes, summary.deviceBytes,
                  summary.requests, summary.distinctRequests, summary.unansweredRequests,
                  millis(summary.answerP50Micros).c_str(), millis(summary.answerP99Micros).c_str(),
                  millis(summary.answerMaxMicros).c_str());
    std::string json = text;
    if (hasLineEvents(summary)) json += ", \"line_events\": " + lineEventCountsJson(summary);
    return json;
}

// The whole file's figures at the top, as for a file of one interface; each interface's in
// "interfaces", numbered from 1 as the commands take them.
void printJson(std::FILE* out, const std::string& path, const ConversationSummary& summary) {
    std::string interfaces;
    for (std::size_t i = 0; i < summary.interfaces.size(); ++i) {
        const InterfaceSummary& one = summary.interfaces[i];
        interfaces += std::string(i ? ", " : "") + "{\"number\": " + std::to_string(i + 1) +
                      ", \"name\": " + jsonString(one.described.name) +
                      ", \"line_settings\": " + jsonString(one.described.lineSettings) + ", " +
                      figuresJson(one) + "}";
    }
    std::fprintf(out,
                 "{\"file\": %s, \"format\": \"%s\", \"duration_us\": %" PRIu64
                 ", \"interfaces\": [%s], %s, \"last_block_cut\": %s}\n",
                 jsonString(path).c_str(), formatName(summary.format), summary.durationMicros,
                 interfaces.c_str(), figuresJson(summary.all).c_str(),
                 summary.lastBlockCut ? "true" : "false");
}

// Per table of a unit: its addresses as contiguous runs ("0-9, 20-24") and how many values.
struct TableRuns {
    std::string runs;
    std::size_t addresses = 0, values = 0;
    std::optional<std::uint16_t> runStart, last;

    void add(std::uint16_t address, std::size_t count) {
        if (!last || address != *last + 1) {
            closeRun();
            runStart = address;
        }
        last = address;
        ++addresses;
        values += count;
    }
    void closeRun() {
        if (!runStart) return;
        if (!runs.empty()) runs += ", ";
        runs += std::to_string(*runStart);
        if (*last != *runStart) runs += "-" + std::to_string(*last);
        runStart.reset();
    }
};

void printModbus(std::FILE* out, const std::string& path, const ModbusModel& model) {
    std::fprintf(out, "file:           %s\n", path.c_str());
    if (model.units.empty()) {
        std::fprintf(out, "Modbus:         no unit answered a Modbus request\n");
        return;
    }
    std::fprintf(out, "Modbus framing: %s\n",
                 model.framing == ModbusFraming::Rtu ? "RTU" : "ASCII");
    for (const auto& [number, unit] : model.units) {
        std::string functions;
        for (unsigned function = 1; function < unit.functions.size(); ++function) {
            if (!unit.functions.test(function)) continue;
            if (!functions.empty()) functions += ", ";
            functions += std::to_string(function) + " (" +
                         modbusFunctionName(static_cast<std::uint8_t>(function)) + ")";
        }
        const std::string unitName = "unit " + std::to_string(number) + ":";
        std::fprintf(out, "%-16sfunctions %s\n", unitName.c_str(),
                     functions.empty() ? "none" : functions.c_str());
        std::map<ModbusTable, TableRuns> tables;
        for (auto place = model.values.lower_bound({number, ModbusTable::Coil, 0});
             place != model.values.end() && place->first.unit == number; ++place)
            tables[place->first.table].add(place->first.address, place->second.size());
        for (auto& [table, runs] : tables) {
            runs.closeRun();
            const std::string name = std::string(modbusTableName(table)) + ":";
            std::fprintf(out, "  %-14s%s (%zu addresses, %zu values)\n", name.c_str(),
                         runs.runs.c_str(), runs.addresses, runs.values);
        }
        std::string times;
        for (const auto& [function, micros] : unit.delayMicros) {
            if (!times.empty()) times += ", ";
            times += "function " + std::to_string(function) + " " + millis(micros) + " ms";
        }
        if (!times.empty()) std::fprintf(out, "  answer time:  %s\n", times.c_str());
    }
}

int modbusOfConversation(const Arguments& arguments, Console& console, const std::string& path) {
    const auto mapPath = arguments.value("--modbus-map");
    if (mapPath && mapPath->empty())
        return reportUsageError(console, "info", "--modbus-map needs a file name");
    if (auto refusal = overwriteRefusal({{mapPath, "write the map into"}},
                                        {{path, inputWords(path, "being read")}}))
        return reportUsageError(console, "info", *refusal);
    Failure failure;
    const auto model = learnModbusDevice(path, &failure);
    if (!model) return reportFailure(console, "info", failure);
    printModbus(console.out, path, *model);
    if (mapPath) {
        failure = saveModbusMap(*mapPath, *model);
        if (failure.happened()) return reportFailure(console, "info", failure);
    }
    return kExitSuccess;
}

int infoOfConversation(const Arguments& arguments, Console& console, const std::string& path) {
    Failure failure;
    const auto summary = summarizeConversation(path, &failure);
    if (!summary) return reportFailure(console, "info", failure);
    if (arguments.has("--json")) {
        printJson(console.out, path, *summary);
    } else {
        printText(console.out, path, *summary);
    }
    return kExitSuccess;
}

int runInfo(const Arguments& arguments, Console& console) {
    if (arguments.positionals().size() != 1) {
        return reportUsageError(console, "info", "give one serial file");
    }
    const std::string& path = arguments.positionals()[0];
    const bool modbus = arguments.has("--modbus") || arguments.has("--modbus-map");
    if (modbus && !namesConversationFile(path))
        return reportUsageError(console, "info", "--modbus needs a conversation file");
    if (modbus && arguments.has("--json"))
        return reportUsageError(console, "info", "--modbus has no JSON form");
    if (modbus) return modbusOfConversation(arguments, console, path);
    if (namesConversationFile(path)) return infoOfConversation(arguments, console, path);
    Failure failure;
    const auto summary = summarizeSerialFile(path, &failure);
    if (!summary) return reportFailure(console, "info", failure);
    if (arguments.has("--json")) {
        printJson(console.out, path, *summary);
    } else {
        printText(console.out, path, *summary);
    }
    return kExitSuccess;
}

}  // namespace

Command infoCommand() {
    return {"info",
            "describe a serial or conversation file: chunks or bursts, bytes, timing, damage",
            "Usage: veltrane-cli info FILE.ser|FILE.pcapng [--json]\n"
            "       veltrane-cli info FILE.pcapng --modbus [--modbus-map OUT.csv]\n\n"
            "Reads the serial file once and prints its size, its whole chunks and their data\n"
            "bytes, its duration as the window shows it, the first and last time offsets, the\n"
            "longest gap between consecutive chunks, the bytes that belong to no whole chunk,\n"
            "and whether the file ends inside a chunk.\n"
            "A conversation file (.pcapng or .pcap) gives its duration, the bursts and bytes\n"
            "each way, its requests (the host's bytes up to the device's next) and how many\n"
            "are distinct or unanswered, the device's answer time (a request's last burst to\n"
            "its answer's first: p50, p99, max), how many times the line did each thing\n"
            "beside its bytes (control lines, break start and end, framing and parity\n"
            "errors, line settings, data lost while a port was away), when it did any, and\n"
            "whether its last block was cut off. A file of several ports (interfaces) gives\n"
            "these figures for each, numbered from 1 as play and respond take them.\n"
            "With --modbus it tells instead what a Modbus slave learns from the conversation:\n"
            "the framing (RTU or ASCII), each unit that answered, its functions, per table\n"
            "the addresses as runs and how many values they had, and its answer times.\n\n"
            "      --json             one JSON object instead of text\n"
            "      --modbus           the Modbus slave the conversation teaches\n"
            "      --modbus-map OUT.csv  also write its values as a map (unit,table,address,\n"
            "                         value; a row per value, in the order they came; the\n"
            "                         address as the protocol numbers it, from 0: a master's\n"
            "                         reference 40001 is holding 0)\n"
            "  -q, --quiet            no progress\n"
            "  -h, --help             this help\n",
            {{"--json", false, ""}, {"--modbus", false, ""}, {"--modbus-map", true, ""}},
            runInfo};
}
