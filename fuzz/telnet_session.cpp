// Both sides of a Telnet session with the COM port option over any bytes from the peer. The
// first byte says whether the session made its offers first, the second how to cut the rest
// into pieces. Whatever the pieces, the outcome is that of the whole; the line's bytes never
// outnumber the bytes in, and sent again they cross to another session unchanged, as text and
// in BINARY; what goes back to the peer stays in proportion to what came; a server's settings
// stay ones a line can take.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "network/ComPortSession.h"

namespace {

struct Outcome {
    Bytes line;
    Bytes outgoing;
    std::vector<ComPortNotice> notices;
};

void append(Outcome& outcome, ComPortSession& session) {
    const Bytes outgoing = session.takeOutgoing();
    outcome.outgoing.insert(outcome.outgoing.end(), outgoing.begin(), outgoing.end());
    for (ComPortNotice& notice : session.takeNotices()) outcome.notices.push_back(notice);
}

// Feeds bytes in pieces of 1 to 16 bytes, their sizes drawn from `cutting` (0: all at once),
// taking what comes out between pieces.
Outcome run(ComPortRole role, bool start, std::span<const std::uint8_t> bytes, unsigned cutting) {
    ComPortSession session(role);
    Outcome outcome;
    if (start) session.start();
    const bool whole = cutting == 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        cutting = cutting * 1103515245u + 12345u;
        const std::size_t piece = whole ? bytes.size() : 1 + (cutting >> 16) % 16;
        const std::size_t size = std::min(piece, bytes.size() - at);
        session.receive(bytes.subspan(at, size), &outcome.line);
        at += size;
        append(outcome, session);
    }
    // What the owner does after hearing the peer: its answers depend on the state the bytes left.
    if (role == ComPortRole::Client) {
        session.askLineSettings({"", 0x7FFFFFFF, 255, Parity::Space, StopBits::OneAndAHalf});
        session.askControl(com_port::kBreakOn);
    } else {
        const std::uint8_t lines = bytes.empty() ? 0 : bytes.back();
        session.tellModemLines(lines);
        session.tellLineState(lines);
        const DeviceSettings& held = session.heldSettings();
        check(held.speed > 0 && held.dataBits >= 5 && held.dataBits <= 8 &&
                  static_cast<int>(held.parity) >= 0 && static_cast<int>(held.parity) <= 4 &&
                  static_cast<int>(held.stopBits) >= 0 && static_cast<int>(held.stopBits) <= 2,
              "held settings a line can take");
    }
    append(outcome, session);
    return outcome;
}

bool sameNotices(const std::vector<ComPortNotice>& a, const std::vector<ComPortNotice>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || !(a[i].line == b[i].line) || a[i].setting != b[i].setting ||
            a[i].value != b[i].value || a[i].text != b[i].text)
            return false;
    return true;
}

// Sends the line's bytes from one session to another, in pieces, and gives what arrived.
Bytes crossed(const Bytes& line, bool binary) {
    ComPortSession from(ComPortRole::Client), to(ComPortRole::Server);
    Bytes arrived;
    if (binary) {
        from.start();
        to.start();
        while (from.hasOutgoing() || to.hasOutgoing()) {
            to.receive(from.takeOutgoing(), &arrived);
            from.receive(to.takeOutgoing(), &arrived);
        }
        check(arrived.empty() && from.comPortAgreed() && to.comPortAgreed(), "a clean agreement");
        to.takeNotices();
    }
    from.sendLineBytes(line);
    const Bytes wire = from.takeOutgoing();
    for (std::size_t at = 0; at < wire.size(); at += 3)
        to.receive(std::span(wire).subspan(at, std::min<std::size_t>(3, wire.size() - at)),
                   &arrived);
    check(!to.hasOutgoing() && to.takeNotices().empty(), "line bytes are nothing but bytes");
    return arrived;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const bool start = data[0] & 1;
    const unsigned cutting = data[1] | 1u;
    const std::span<const std::uint8_t> bytes(data + 2, size - 2);
    for (const ComPortRole role : {ComPortRole::Client, ComPortRole::Server}) {
        const Outcome whole = run(role, start, bytes, 0);
        const Outcome cut = run(role, start, bytes, cutting);
        check(whole.line == cut.line && whole.outgoing == cut.outgoing &&
                  sameNotices(whole.notices, cut.notices),
              "the pieces change nothing");
        check(whole.line.size() <= bytes.size(), "no more line bytes than bytes in");
        check(whole.outgoing.size() <= 3 * bytes.size() + 64, "answers in proportion");
        check(whole.notices.size() <= bytes.size() + 4, "notices in proportion");
        for (const ComPortNotice& notice : whole.notices)
            check(notice.kind != ComPortNotice::Kind::Fault || !notice.text.empty(),
                  "a fault says what");
        check(crossed(whole.line, false) == whole.line, "the line's bytes cross as text");
        check(crossed(whole.line, true) == whole.line, "the line's bytes cross in BINARY");
    }
    return 0;
}
