#include "network/NetworkPort.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/LineEvent.h"
#include "network/ComPortSession.h"
#include "network/NetworkConnection.h"

namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kReadPiece = 4096;
// A program that keeps breaking the protocol is told about a few times, not for every byte.
constexpr int kFaultsTold = 5;
// Line events held for the reading thread to take.
constexpr std::size_t kLineEventsHeld = 1024;
// A server may never acknowledge the control lines (a port without them): so long, then on.
constexpr milliseconds kControlAnswerWait{500};

void appendDoubled(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>* out) {
    for (const std::uint8_t byte : bytes) {
        out->push_back(byte);
        if (byte == telnet::kIac) out->push_back(byte);
    }
}

// Whether the byte at `at` of a doubled stream is the first 255 of a pair.
bool firstOfDoubledPair(std::span<const std::uint8_t> doubled, std::size_t at) {
    std::size_t run = 0;
    for (std::size_t i = at + 1; i-- > 0 && doubled[i] == telnet::kIac;) ++run;
    return run % 2 == 1;
}

// How many of the original bytes a doubled stream's first `sent` bytes carry whole.
std::uint32_t originalBytesIn(std::span<const std::uint8_t> original, std::uint32_t sent) {
    std::uint32_t used = 0;
    std::uint32_t count = 0;
    for (const std::uint8_t byte : original) {
        used += byte == telnet::kIac ? 2 : 1;
        if (used > sent) break;
        ++count;
    }
    return count;
}

Parity parityFromOption(std::uint32_t value) {
    switch (value) {
        case 2:
            return Parity::Odd;
        case 3:
            return Parity::Even;
        case 4:
            return Parity::Mark;
        case 5:
            return Parity::Space;
        default:
            return Parity::None;
    }
}

StopBits stopBitsFromOption(std::uint32_t value) {
    if (value == 2) return StopBits::Two;
    if (value == 3) return StopBits::OneAndAHalf;
    return StopBits::One;
}

}  // namespace

struct NetworkPort::Impl {
    std::string name;
    NetworkPortName where;
    DeviceSettings settings;
    TcpSocket listener;
    // Replaced by the reading thread as programs come and go; the writing thread takes its own
    // reference under the lock, so a connection outlives a write that is still using it.
    std::mutex connectionLock;
    std::shared_ptr<NetworkConnection> connection;
    std::unique_ptr<ComPortSession> session;
    std::string peer;                 // the connected program's address, for remarks
    std::uint8_t deviceLines = 0;     // served: the device's lines as last told, for each one
    std::vector<std::uint8_t> early;  // the line's bytes that came while the port opened
    std::vector<std::string> remarks;
    std::vector<LineEvent> lineEvents;
    bool failed = false;
    int faultsTold = 0;
    // The client's view of the server's answers while opening.
    bool comPortAnswered = false;
    bool comPortRefused = false;
    int settingsApplied = 0;
    int controlsApplied = 0;
    DeviceSettings applied;

    std::shared_ptr<NetworkConnection> current() {
        std::lock_guard lock(connectionLock);
        return connection;
    }
    void replaceConnection(std::shared_ptr<NetworkConnection> next) {
        std::lock_guard lock(connectionLock);
        connection = std::move(next);
    }
    bool sendSessionBytes() {
        if (!session || !session->hasOutgoing()) return true;
        const std::vector<std::uint8_t> bytes = session->takeOutgoing();
        const auto link = current();
        return !link || link->sendProtocol(bytes);
    }
    void takeNotices();
    void noteApplied(const ComPortNotice& notice);
};

void NetworkPort::Impl::noteApplied(const ComPortNotice& notice) {
    switch (notice.setting) {
        case ComPortSetting::Speed:
            applied.speed = static_cast<std::int32_t>(notice.value);
            break;
        case ComPortSetting::DataBits:
            applied.dataBits = static_cast<std::int32_t>(notice.value);
            break;
        case ComPortSetting::Parity:
            applied.parity = parityFromOption(notice.value);
            break;
        case ComPortSetting::StopBits:
            applied.stopBits = stopBitsFromOption(notice.value);
            break;
        case ComPortSetting::Control:
            ++controlsApplied;
            return;
    }
    ++settingsApplied;
}

void NetworkPort::Impl::takeNotices() {
    for (ComPortNotice& notice : session->takeNotices()) {
        switch (notice.kind) {
            case ComPortNotice::Kind::Line:
                // A run that never takes them must not grow without bound: the oldest go.
                if (lineEvents.size() >= kLineEventsHeld) lineEvents.erase(lineEvents.begin());
                lineEvents.push_back(notice.line);
                // What a program set stays for the next one, as a port's settings would.
                if (where.serves && notice.line.kind == LineEventKind::LineSettings)
                    settings = session->heldSettings();
                break;
            case ComPortNotice::Kind::Applied:
                noteApplied(notice);
                break;
            case ComPortNotice::Kind::ComPortAnswer:
                comPortAnswered = true;
                comPortRefused = notice.value == 0;
                break;
            case ComPortNotice::Kind::Purge:
                break;  // nothing is held back to purge
            case ComPortNotice::Kind::Fault:
                if (faultsTold < kFaultsTold) {
                    remarks.push_back(name +
                                      ": the peer broke the Telnet protocol: " + notice.text);
                } else if (faultsTold == kFaultsTold) {
                    remarks.push_back(name + ": further protocol faults are not told");
                }
                ++faultsTold;
                break;
        }
    }
}

NetworkPort::NetworkPort() : impl_(std::make_unique<Impl>()) {}

NetworkPort::~NetworkPort() = default;

bool NetworkPort::open(const std::string& displayName, const NetworkPortName& name,
                       const DeviceSettings& settings, const Timeouts& timeouts) {
    close();
    Impl& port = *impl_;
    port.name = displayName;
    port.where = name;
    port.settings = settings;
    if (name.serves) {
        if (!port.listener.listen(name.host, name.port)) {
            errorText_ = std::string("cannot listen on ") + name.host + ":" +
                         std::to_string(name.port) + ": " + port.listener.errorText();
            return false;
        }
        return true;
    }
    TcpSocket socket;
    if (!socket.connect(name.host, name.port, timeouts.connect)) {
        errorText_ = socket.errorText();
        return false;
    }
    port.replaceConnection(std::make_shared<NetworkConnection>(std::move(socket)));
    if (!name.telnet) return true;

    port.session = std::make_unique<ComPortSession>(ComPortRole::Client);
    port.session->start();
    port.session->askLineSettings(settings);
    port.session->askControl(com_port::kDtrOn);
    port.session->askControl(com_port::kRtsOn);
    port.session->askNotifyMasks(com_port::kLineBreak | com_port::kLineFraming |
                                     com_port::kLineParity | com_port::kLineOverrun,
                                 0xFF);
    port.session->askPurge(com_port::kPurgeBoth);
    if (!port.sendSessionBytes()) {
        errorText_ = port.current()->sendErrorText();
        close();
        return false;
    }
    // The answers come in any order, with the line's bytes among them: those are kept.
    const Clock::time_point start = Clock::now();
    std::optional<Clock::time_point> settingsDone;
    for (;;) {
        const bool settingsAnswered = port.comPortRefused || port.settingsApplied >= 4;
        if (settingsAnswered && !settingsDone) settingsDone = Clock::now();
        if (settingsAnswered && (port.comPortRefused || port.controlsApplied >= 2)) break;
        const Clock::time_point deadline =
            settingsDone ? *settingsDone + kControlAnswerWait : start + timeouts.answer;
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            if (settingsDone) {
                port.remarks.push_back(displayName +
                                       ": the server did not acknowledge the control lines "
                                       "(DTR, RTS); going on without");
                break;
            }
            errorText_ = port.comPortAnswered ? "no answer to the line settings within " +
                                                    std::to_string(timeouts.answer.count()) + " ms"
                                              : "no Telnet answer within " +
                                                    std::to_string(timeouts.answer.count()) +
                                                    " ms (tcp:// passes bytes without Telnet)";
            close();
            return false;
        }
        WaitablePort* self = this;
        const PortInput input = waitForInput({&self, 1}, left).front();
        if (input == PortInput::None) continue;
        std::uint8_t piece[kReadPiece];
        std::uint32_t got = 0;
        if (input == PortInput::Failed || !readAvailable(piece, sizeof piece, &got)) {
            const std::string reason = errorText();
            errorText_ = "the server ended the connection while it opened (" + reason + ")";
            close();
            return false;
        }
        port.early.insert(port.early.end(), piece, piece + got);
    }
    if (port.comPortRefused) {
        port.remarks.push_back(displayName +
                               ": the server refused the COM port option; the line keeps the "
                               "server's own settings");
    } else if (lineSettingsText(port.applied) != lineSettingsText(settings)) {
        port.remarks.push_back(displayName + ": the server applied " +
                               lineSettingsText(port.applied) + " where " +
                               lineSettingsText(settings) + " was asked");
    }
    return true;
}

void NetworkPort::close() {
    impl_->replaceConnection(nullptr);
    impl_->listener.close();
    impl_->session.reset();
    impl_->early.clear();
    impl_->failed = false;
    impl_->comPortAnswered = impl_->comPortRefused = false;
    impl_->settingsApplied = impl_->controlsApplied = 0;
    impl_->faultsTold = 0;
}

bool NetworkPort::isOpen() const { return impl_->listener.isOpen() || impl_->current(); }

std::uint16_t NetworkPort::listeningPort() const { return impl_->listener.localPort(); }

bool NetworkPort::connected() const { return impl_->current() != nullptr; }

std::vector<std::string> NetworkPort::takeRemarks() { return std::exchange(impl_->remarks, {}); }

std::vector<LineEvent> NetworkPort::takeLineEvents() {
    return std::exchange(impl_->lineEvents, {});
}

bool NetworkPort::tellLineEvent(const LineEvent& event) {
    Impl& port = *impl_;
    // The device's lines are kept for a program that connects later.
    if (port.where.serves && event.kind == LineEventKind::ControlLines)
        port.deviceLines = event.controlLines & control_line::kDeviceLines;
    if (!port.session || !port.current()) return false;
    ComPortSession& session = *port.session;
    if (port.where.serves) {
        switch (event.kind) {
            case LineEventKind::ControlLines:
                session.tellModemLines(event.controlLines);
                break;
            case LineEventKind::BreakStart:
                session.tellLineState(com_port::kLineBreak);
                break;
            case LineEventKind::BreakEnd:
                session.tellLineState(0);
                break;
            case LineEventKind::FramingError:
                session.tellLineState(com_port::kLineFraming);
                break;
            case LineEventKind::ParityError:
                session.tellLineState(com_port::kLineParity);
                break;
            case LineEventKind::LineSettings:
                return false;  // the program's to set, not ours
            case LineEventKind::DataLost:
                return false;  // a gap is for the recording, not for the far side
        }
    } else {
        switch (event.kind) {
            case LineEventKind::ControlLines: {
                const std::uint8_t was = session.hostLines();
                const std::uint8_t now = event.controlLines;
                if ((was ^ now) & control_line::kDtr)
                    session.askControl(now & control_line::kDtr ? com_port::kDtrOn
                                                                : com_port::kDtrOff);
                if ((was ^ now) & control_line::kRts)
                    session.askControl(now & control_line::kRts ? com_port::kRtsOn
                                                                : com_port::kRtsOff);
                break;
            }
            case LineEventKind::BreakStart:
                session.askControl(com_port::kBreakOn);
                break;
            case LineEventKind::BreakEnd:
                session.askControl(com_port::kBreakOff);
                break;
            case LineEventKind::LineSettings: {
                DeviceSettings asked = port.settings;
                if (event.speed > 0) asked.speed = event.speed;
                if (event.dataBits > 0) {
                    asked.dataBits = event.dataBits;
                    asked.parity = event.parity;
                    asked.stopBits = event.stopBits;
                }
                port.settings = asked;
                session.askLineSettings(asked);
                break;
            }
            case LineEventKind::FramingError:
            case LineEventKind::ParityError:
                return false;  // a line's own, not asked for
            case LineEventKind::DataLost:
                return false;  // a gap is for the recording, not for the far side
        }
    }
    return port.sendSessionBytes();
}

bool NetworkPort::readAvailable(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
    Impl& port = *impl_;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t given = 0;
    if (!port.early.empty()) {
        given = static_cast<std::uint32_t>(std::min<std::size_t>(count, port.early.size()));
        std::memcpy(out, port.early.data(), given);
        port.early.erase(port.early.begin(), port.early.begin() + given);
    }
    if (bytesRead) *bytesRead = given;
    if (port.failed) return given > 0;
    const auto link = port.current();
    if (!link || given == count) return true;

    std::uint8_t raw[kReadPiece];
    const std::uint32_t room = std::min<std::uint32_t>(count - given, kReadPiece);
    std::uint32_t got = 0;
    const TcpSocket::Io io = link->socket().receive(raw, room, &got);
    if (io == TcpSocket::Io::Closed || io == TcpSocket::Io::Failed) {
        const std::string reason = io == TcpSocket::Io::Closed
                                       ? "the far end closed the connection"
                                       : std::string(link->socket().errorText());
        if (port.where.serves) {
            port.remarks.push_back(port.name + ": the program at " + port.peer + " left (" +
                                   reason + ")");
            port.replaceConnection(nullptr);
            port.session.reset();
            return true;
        }
        errorText_ = reason;
        port.failed = true;
        return given > 0;
    }
    if (io != TcpSocket::Io::Done) return true;
    if (!port.session) {
        std::memcpy(out + given, raw, got);
        given += got;
    } else {
        std::vector<std::uint8_t> line;
        port.session->receive({raw, got}, &line);
        if (!line.empty()) std::memcpy(out + given, line.data(), line.size());
        given += static_cast<std::uint32_t>(line.size());
        port.takeNotices();
        port.sendSessionBytes();
    }
    if (bytesRead) *bytesRead = given;
    return true;
}

bool NetworkPort::writeWithin(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten,
                              std::chrono::milliseconds limit) {
    if (bytesWritten) *bytesWritten = 0;
    const auto link = impl_->current();
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(buffer), count);
    if (!link) {
        // Served with nobody connected: the bytes go where a line with nobody on it sends them.
        if (bytesWritten) *bytesWritten = count;
        if (impl_->where.serves) return true;
        writeErrorText_ = "the port is closed";
        return false;
    }
    std::uint32_t sent = 0;
    bool ok = false;
    if (impl_->where.telnet) {
        std::vector<std::uint8_t> doubled;
        doubled.reserve(count + 8);
        appendDoubled(bytes, &doubled);
        ok = link->sendLine(doubled, limit, &sent, firstOfDoubledPair);
        sent = originalBytesIn(bytes, sent);
    } else {
        ok = link->sendLine(bytes, limit, &sent, nullptr);
    }
    if (bytesWritten) *bytesWritten = sent;
    if (ok) return true;
    if (impl_->where.serves) {
        // The program left mid-answer: the reading thread sees it go and listens again.
        if (bytesWritten) *bytesWritten = count;
        return true;
    }
    writeErrorText_ = link->sendErrorText();
    return false;
}

const char* NetworkPort::errorText() { return errorText_.c_str(); }

const char* NetworkPort::writeErrorText() { return writeErrorText_.c_str(); }

WaitablePort::WaitStart NetworkPort::startWait() {
    Impl& port = *impl_;
    if (port.failed) return {PortInput::Failed, 0};
    if (!port.early.empty()) return {PortInput::Ready, 0};
    const auto link = port.current();
    if (port.where.serves && link) {
        // One program at a time: another that connects meanwhile is closed at once.
        TcpSocket other;
        if (port.listener.accept(&other) == TcpSocket::Io::Done) {
            port.remarks.push_back(port.name + ": turned away a second program from " +
                                   other.peerText() + " while " + port.peer + " is connected");
            other.close();
        }
    }
    if (link) return {PortInput::None, link->socket().waitObject()};
    if (port.where.serves && port.listener.isOpen())
        return {PortInput::None, port.listener.waitObject()};
    errorText_ = "the port is closed";
    return {PortInput::Failed, 0};
}

PortInput NetworkPort::finishWait(std::uint32_t events) {
    Impl& port = *impl_;
    const auto link = port.current();
    if (link) return link->socket().afterWait(events) ? PortInput::Ready : PortInput::None;
    if (!port.listener.afterWait(events)) return PortInput::None;
    TcpSocket client;
    const TcpSocket::Io io = port.listener.accept(&client);
    if (io == TcpSocket::Io::Failed) {
        port.remarks.push_back(port.name +
                               ": taking a connection failed: " + port.listener.errorText());
        return PortInput::None;
    }
    if (io != TcpSocket::Io::Done) return PortInput::None;
    port.peer = client.peerText();
    port.remarks.push_back(port.name + ": a program connected from " + port.peer);
    port.replaceConnection(std::make_shared<NetworkConnection>(std::move(client)));
    if (port.where.telnet) {
        port.session = std::make_unique<ComPortSession>(ComPortRole::Server);
        port.session->holdSettings(port.settings);
        port.session->tellModemLines(port.deviceLines);  // told once the option is agreed
        port.session->start();
        port.sendSessionBytes();
    }
    return PortInput::Ready;
}
