// Writes the fuzz targets' seed corpora with the program's own writer and exporter:
//   fuzz_make_seeds <corpus folder>   (fuzz/corpus; one folder per target below it)
#include <cstdio>
#include <filesystem>
#include <string>

#include "conversation/ConversationWriter.h"
#include "convert/TextExport.h"
#include "engine/SerialFile.h"
#include "fuzz/FuzzSupport.h"
#include "network/ComPortSession.h"

namespace {

namespace fs = std::filesystem;

// A recording as the recorder makes it: chunks of the given lengths, offsets a tenth apart at
// every third chunk, data counting up and holding marker and terminator bytes now and then.
Bytes recording(std::initializer_list<std::uint8_t> lengths) {
    const std::string path = scratchFile("seed.ser");
    SerialFileWriter writer;
    check(writer.open(path), "seed opened");
    std::uint32_t chunk = 0;
    std::uint8_t next = 0x50;
    for (std::uint8_t length : lengths) {
        std::uint8_t data[kMaxChunkData];
        for (std::uint8_t i = 0; i < length; ++i) data[i] = next++;
        check(writer.writeChunk(chunk++ / 3, data, length), "seed chunk written");
    }
    check(writer.close(), "seed closed");
    return readScratch(path);
}

// A conversation as the monitor writes it: requests from the host, answers from the device a few
// milliseconds later, bursts of the given lengths.
Bytes conversation(std::initializer_list<std::size_t> lengths) {
    const std::string path = scratchFile("seed.pcapng");
    ConversationWriter writer;
    check(!writer.open(path, {"Veltrane seeds", {{"COM3 <-> COM4", "115200 8N1"}}}).happened(),
          "seed conversation opened");
    std::uint64_t time = 1'765'000'000'000'000;
    std::uint8_t next = 0x01;
    bool host = true;
    for (std::size_t length : lengths) {
        Bytes bytes(length);
        for (std::uint8_t& byte : bytes) byte = next++;
        const Direction direction = host ? Direction::Host : Direction::Device;
        check(!writer.write({time, direction, 0, bytes}).happened(), "seed burst written");
        time += host ? 4'321 : 250'000;
        host = !host;
    }
    check(!writer.close().happened(), "seed conversation closed");
    return readScratch(path);
}

// A request and its answer amid what the line did: the lines raised, settings asked for, a
// break, the errors, the lines dropped.
Bytes conversationWithLineEvents() {
    const std::string path = scratchFile("seed-lines.pcapng");
    ConversationWriter writer;
    check(!writer.open(path, {"Veltrane seeds", {{"COM3 <-> COM4", "19200 8E1"}}}).happened(),
          "seed conversation opened");
    using enum LineEventKind;
    const std::uint8_t up = control_line::kRts | control_line::kDtr | control_line::kCts;
    std::uint64_t time = 1'765'000'000'000'000;
    const auto event = [&](Direction who, std::uint8_t lines, LineEvent what) {
        check(!writer.writeLineEvent(time += 1'000, who, lines, what).happened(),
              "seed event written");
    };
    event(Direction::Host, 0, {ControlLines, up});
    event(Direction::Host, up, {LineSettings, 0, 19200, 8, Parity::Even});
    event(Direction::Host, up, {LineSettings, 0, 9600, 0, Parity::Odd, StopBits::Two});
    const Bytes request{0x01, 0x03, 0x00, 0x10, 0x00, 0x02}, answer{0x01, 0x03, 0x04};
    check(!writer.write({time += 1'000, Direction::Host, up, request}).happened(), "seed burst");
    event(Direction::Device, up, {FramingError});
    event(Direction::Device, up, {ParityError});
    check(!writer.write({time += 4'321, Direction::Device, up, answer}).happened(), "seed burst");
    event(Direction::Host, up, {BreakStart});
    event(Direction::Host, up, {BreakEnd});
    event(Direction::Host, up, {ControlLines, 0});
    check(!writer.close().happened(), "seed conversation closed");
    return readScratch(path);
}

// The writer's header followed by simple packet blocks, which the writer never makes: a request
// and its answer, each packet timed by its RTAC header.
Bytes simplePackets() {
    Bytes file = conversation({});
    const auto put32 = [&file](std::uint32_t value, bool big) {
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<std::uint8_t>(value >> (big ? 24 - 8 * i : 8 * i)));
    };
    std::uint64_t time = 1'765'000'000'000'000;
    const struct {
        std::uint8_t event;  // the host's data, then the device's
        Bytes data;
    } packets[] = {{0x01, {0x01, 0x03, 0x00, 0x10, 0x00, 0x02}}, {0x02, {0x01, 0x03, 0x04}}};
    for (const auto& [event, data] : packets) {
        const auto length = static_cast<std::uint32_t>(12 + data.size());
        const std::uint32_t padded = (length + 3) & ~3u;
        put32(3, false);
        put32(16 + padded, false);
        put32(length, false);
        put32(static_cast<std::uint32_t>(time / 1'000'000), true);
        put32(static_cast<std::uint32_t>(time % 1'000'000), true);
        file.insert(file.end(), {event, 0, 0, 0});
        file.insert(file.end(), data.begin(), data.end());
        file.resize(file.size() + padded - length);
        put32(16 + padded, false);
        time += 4'321;
    }
    return file;
}

void put(const fs::path& folder, const std::string& name, const Bytes& prefix, const Bytes& bytes) {
    fs::create_directories(folder);
    Bytes all = prefix;
    all.insert(all.end(), bytes.begin(), bytes.end());
    std::FILE* out = std::fopen((folder / name).string().c_str(), "wb");
    check(out && std::fwrite(all.data(), 1, all.size(), out) == all.size(), "seed written");
    std::fclose(out);
}

Bytes exported(const Bytes& serial, ExportType type) {
    ExportOptions options;
    options.fileName = scratchFile("seed.txt");
    options.exportType = type;
    options.showTimeOffset = options.showHeading = options.showDataPosition = false;
    const std::string path = putScratch("seed.ser", serial.data(), serial.size());
    check(exportToText(path, options).status == ExportStatus::Exported, "seed exported");
    return readScratch(options.fileName);
}

// What the two sides of a Telnet session with the COM port option say to each other while they
// agree, set a line, move its control lines, tell its breaks and errors, and carry bytes that
// hold 255 and CR: the client's words are input for a server, the server's for a client.
void telnetSeeds(const fs::path& folder) {
    ComPortSession client(ComPortRole::Client), server(ComPortRole::Server);
    Bytes toServer, toClient, line;
    const auto exchange = [&] {
        while (client.hasOutgoing() || server.hasOutgoing()) {
            const Bytes fromClient = client.takeOutgoing();
            toServer.insert(toServer.end(), fromClient.begin(), fromClient.end());
            server.receive(fromClient, &line);
            const Bytes fromServer = server.takeOutgoing();
            toClient.insert(toClient.end(), fromServer.begin(), fromServer.end());
            client.receive(fromServer, &line);
        }
    };
    client.start();
    server.start();
    client.askLineSettings({"", 19200, 7, Parity::Even, StopBits::Two});
    client.askNotifyMasks(0xFF, 0xFF);
    for (std::uint8_t value : {com_port::kDtrOff, com_port::kBreakOn, com_port::kBreakOff})
        client.askControl(value);
    client.askPurge(com_port::kPurgeBoth);
    const Bytes data{'A', 0xFF, '\r', 0, '\r', '\n', 0xFF, 0xFF};
    client.sendLineBytes(data);
    server.sendLineBytes(data);
    exchange();
    for (int lines : {control_line::kCts | control_line::kDsr, int{control_line::kRing}, 0})
        server.tellModemLines(static_cast<std::uint8_t>(lines));
    server.tellLineState(com_port::kLineBreak | com_port::kLineFraming | com_port::kLineParity);
    server.tellLineState(0);
    exchange();
    put(folder, "client-words", {1, 0x25}, toServer);
    put(folder, "server-words", {1, 0x07}, toClient);

    // Options nobody offered, an endless sub-negotiation, one cut short by a command.
    using namespace telnet;
    Bytes hostile{kIac, kWill, kComPortOption, kIac, kDo, 99, kIac, kSb, kComPortOption, 1};
    hostile.insert(hostile.end(), 80, 'x');
    hostile.insert(hostile.end(), {kIac, kSe, kIac, kSb, kComPortOption, 2, kIac, kDo, 24, 'B'});
    put(folder, "hostile", {0, 0x31}, hostile);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    const fs::path root = argv[1];
    const Bytes small = recording({3, 1, 0, 10, 7});
    const Bytes longChunks = recording({255, 200, 255, 1});
    Bytes cut = recording({40, 255, 255});
    cut.resize(cut.size() - 100);
    Bytes garbageFirst{0xFF, 0x53};
    garbageFirst.insert(garbageFirst.end(), small.begin(), small.end());
    const Bytes files[] = {small, longChunks, cut, garbageFirst};
    for (std::size_t i = 0; i < std::size(files); ++i) {
        const std::string name = "recording" + std::to_string(i);
        put(root / "chunk_reader", name, {}, files[i]);
        put(root / "seek_scan", name, {static_cast<std::uint8_t>(i), 0, 0, 0}, files[i]);
        put(root / "export", name, {static_cast<std::uint8_t>(i * 3)}, files[i]);
    }
    // Long enough for the bisecting seek to probe it.
    put(root / "seek_scan", "recording-long", {40, 0, 0, 0},
        recording({200, 13, 255, 90,  1,   0,  177, 45,  255, 3,  120, 64,
                   255, 31, 8,   199, 250, 77, 0,   140, 255, 22, 96,  180}));
    Bytes cutConversation = conversation({8, 9, 8, 13, 40});
    cutConversation.resize(cutConversation.size() - 30);
    const Bytes conversations[] = {conversation({}), conversation({8, 7, 8, 0, 3, 255}),
                                   conversation({1000, 4000, 1}), cutConversation};
    for (std::size_t i = 0; i < std::size(conversations); ++i)
        put(root / "conversation", "conversation" + std::to_string(i), {}, conversations[i]);
    put(root / "conversation", "simple-packets", {}, simplePackets());
    put(root / "conversation", "line-events", {}, conversationWithLineEvents());
    // Import input: what the raw and the space-delimited exports of a recording hold.
    put(root / "import", "raw", {0x80, 0x25}, exported(small, ExportType::RawBytes));
    put(root / "import", "hex", {0x2C, 0x01}, exported(small, ExportType::HexText));
    put(root / "import", "hex-mixed", {0, 0},
        {'4', '1', ' ', '-', '1', '\t', '0', 'x', 'f', 'F', 'z', '+', '7', '\r', '\n', '0', 'X'});
    telnetSeeds(root / "telnet_session");
    return 0;
}
