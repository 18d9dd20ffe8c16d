#include "workers/ReconnectingPort.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/SerialPort.h"
#include "network/NetworkPort.h"
#include "network/NetworkPortName.h"

namespace {

constexpr std::size_t kLineEventsHeld = 256;  // for a caller that never takes them
constexpr std::size_t kRemarksHeld = 64;

// The reading thread opens the port again: an unreachable device server must not hold it (and
// a stop) for a connection's usual time, so the reconnecting waits are short.
constexpr NetworkPort::Timeouts kReconnectTimeouts{std::chrono::milliseconds(200),
                                                   std::chrono::milliseconds(1000)};

Failure reopen(const DeviceSettings& settings, OpenedPort* opened) {
    if (!looksLikeNetworkPort(settings.port)) return openDeviceSidePort(settings, opened);
    std::string reason;
    const auto name = parseNetworkPortName(settings.port, &reason);
    if (!name) return portFailure(Failure::Kind::OpenPort, settings.port, reason);
    auto network = std::make_unique<NetworkPort>();
    if (!network->open(settings.port, *name, settings, kReconnectTimeouts))
        return portFailure(Failure::Kind::OpenPort, settings.port, network->errorText());
    opened->remarks = network->takeRemarks();
    opened->port = std::move(network);
    return {};
}

std::vector<std::string> aliasesOf(const std::string& portName, const std::string& directory) {
    if (looksLikeNetworkPort(portName)) return {};
    return serialDeviceAliases(SerialPort::devicePath(portName), directory);
}

// "2.345 s"
std::string secondsText(std::uint64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%03llu s",
                  static_cast<unsigned long long>(micros / 1'000'000),
                  static_cast<unsigned long long>(micros / 1000 % 1000));
    return text;
}

}  // namespace

ReconnectingPort::ReconnectingPort(const DeviceSettings& settings,
                                   std::unique_ptr<WaitablePort> port,
                                   const std::string& byIdDirectory)
    : settings_(settings),
      aliases_(aliasesOf(settings.port, byIdDirectory)),
      port_(std::move(port)) {}

ReconnectingPort::~ReconnectingPort() = default;

bool ReconnectingPort::canReconnect(const std::string& portName) {
    std::string link;
    if (namesPseudoTerminal(portName, &link)) return false;
    if (!looksLikeNetworkPort(portName)) return true;
    std::string reason;
    const auto name = parseNetworkPortName(portName, &reason);
    return name && !name->serves;
}

std::uint64_t ReconnectingPort::droppedBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

std::shared_ptr<WaitablePort> ReconnectingPort::current() {
    std::lock_guard<std::mutex> lock(mutex_);
    return port_;
}

void ReconnectingPort::note(const LineEvent& event) {
    if (lineEvents_.size() < kLineEventsHeld) lineEvents_.push_back(event);
}

// A failed write is only noted by the writing thread; the reading thread lets the port go. The
// time away counts from the failed write: a replay that only writes may notice it much later.
void ReconnectingPort::goAwayIfWriteFailed() {
    std::string reason;
    Clock::time_point since;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!writeFailed_) return;
        reason = std::move(writeFailure_);
        since = writeFailedAt_;
    }
    goAway(reason, since);
}

void ReconnectingPort::goAway(const std::string& reason, Clock::time_point since) {
    if (away_) return;
    std::shared_ptr<WaitablePort> gone;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gone = std::move(port_);
        port_.reset();
        if (!writeFailed_) droppedBeforeAway_ = dropped_;
        writeFailed_ = false;
    }
    // What it told before it failed still counts, in its place before the gap.
    for (std::string& remark : gone->takeRemarks()) remarks_.push_back(std::move(remark));
    for (const LineEvent& event : gone->takeLineEvents()) note(event);
    // A close must not wait for bytes that can no longer leave.
    gone->discardOutput();
    gone.reset();  // closed here, or by the writing thread when its write is over
    away_ = true;
    justBack_ = false;
    awaySince_ = since;
    nextLook_ = awaySince_ + kLookAgainEvery;
    errorText_ = reason;
    if (remarks_.size() < kRemarksHeld)
        remarks_.push_back(settings_.port + " went away (" + reason +
                           "); waiting for it to come back");
}

// By the lasting names first where there are any: the old name may by now be another
// adapter's.
bool ReconnectingPort::comeBackWhenDue() {
    const Clock::time_point now = Clock::now();
    if (now < nextLook_) return false;
    nextLook_ = now + kLookAgainEvery;
    std::vector<std::string> names = aliases_;
    if (names.empty()) names.push_back(settings_.port);
    OpenedPort opened;
    std::string openedAs;
    for (const std::string& name : names) {
        DeviceSettings settings = settings_;
        settings.port = name;
        if (!reopen(settings, &opened).happened()) {
            openedAs = name;
            break;
        }
    }
    if (!opened.port) return false;

    std::shared_ptr<WaitablePort> back(std::move(opened.port));
    std::uint64_t dropped = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (haveHostLines_) back->tellLineEvent(hostLines_);
        port_ = back;
        dropped = dropped_ - droppedBeforeAway_;
    }
    const auto awayMicros = static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - awaySince_).count());
    away_ = false;
    justBack_ = true;
    LineEvent lost;
    lost.kind = LineEventKind::DataLost;
    lost.awayMicros = awayMicros;
    note(lost);
    std::string remark = settings_.port + " is back";
    if (openedAs != settings_.port) remark += " as " + openedAs;
    remark += " after " + secondsText(awayMicros);
    if (dropped > 0)
        remark += "; " + std::to_string(dropped) + " bytes written meanwhile were dropped";
    if (remarks_.size() < kRemarksHeld) remarks_.push_back(remark);
    for (std::string& text : opened.remarks) remarks_.push_back(std::move(text));
    return true;
}

void ReconnectingPort::lookAfter() {
    goAwayIfWriteFailed();
    if (away_) comeBackWhenDue();
}

ReconnectingPort::WaitStart ReconnectingPort::nothingToWatch() const {
    const auto untilNext = std::chrono::ceil<std::chrono::milliseconds>(nextLook_ - Clock::now());
    return {PortInput::None, -1, std::max(untilNext, std::chrono::milliseconds(0))};
}

ReconnectingPort::WaitStart ReconnectingPort::startWait() {
    lookAfter();
    if (away_) return nothingToWatch();
    // Once, so that a caller that never takes line events does not wake at every wait.
    if (justBack_) return {PortInput::Ready, 0};
    const WaitStart start = port_->startWait();
    if (start.known != PortInput::Failed) return start;
    goAway(port_->errorText(), Clock::now());
    return nothingToWatch();
}

PortInput ReconnectingPort::finishWait(std::uint32_t events) {
    if (away_) return PortInput::None;
    const PortInput input = port_->finishWait(events);
    if (input != PortInput::Failed) return input;
    goAway(port_->errorText(), Clock::now());
    return PortInput::None;
}

bool ReconnectingPort::readAvailable(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (away_) return true;
    if (justBack_) {  // the DataLost event goes before the bytes that came after the gap
        justBack_ = false;
        return true;
    }
    if (port_->readAvailable(buffer, count, bytesRead)) return true;
    goAway(port_->errorText(), Clock::now());
    if (bytesRead) *bytesRead = 0;
    return true;
}

bool ReconnectingPort::writeWithin(const void* buffer, std::uint32_t count,
                                   std::uint32_t* bytesWritten, std::chrono::milliseconds limit) {
    const std::shared_ptr<WaitablePort> port = current();
    std::uint32_t done = 0;
    if (port && port->writeWithin(buffer, count, &done, limit)) {
        if (bytesWritten) *bytesWritten = done;
        return true;
    }
    done = std::min(done, count);
    std::lock_guard<std::mutex> lock(mutex_);
    // A port the reading thread has already let go of (and perhaps replaced) fails no more.
    if (port && port == port_ && !writeFailed_) {
        writeFailed_ = true;
        writeFailure_ = port->writeErrorText();
        writeFailedAt_ = Clock::now();
        droppedBeforeAway_ = dropped_;
    }
    dropped_ += count - done;
    if (bytesWritten) *bytesWritten = count;
    return true;
}

void ReconnectingPort::discardOutput() {
    if (const std::shared_ptr<WaitablePort> port = current()) port->discardOutput();
}

std::vector<std::string> ReconnectingPort::takeRemarks() {
    if (!away_) {
        for (std::string& remark : port_->takeRemarks()) remarks_.push_back(std::move(remark));
    }
    return std::exchange(remarks_, {});
}

std::vector<LineEvent> ReconnectingPort::takeLineEvents() {
    std::vector<LineEvent> events = std::exchange(lineEvents_, {});
    if (!away_) {
        for (const LineEvent& event : port_->takeLineEvents()) events.push_back(event);
    }
    return events;
}

// DTR and RTS are kept, to be set again on the port once it is back; while it is away nothing
// can carry them.
bool ReconnectingPort::tellLineEvent(const LineEvent& event) {
    if (event.kind == LineEventKind::ControlLines) {
        std::lock_guard<std::mutex> lock(mutex_);
        hostLines_ = event;
        haveHostLines_ = true;
    }
    const std::shared_ptr<WaitablePort> port = current();
    return port && port->tellLineEvent(event);
}

const char* ReconnectingPort::errorText() { return errorText_.c_str(); }

// Writes never fail: a port that fails takes them as dropped.
const char* ReconnectingPort::writeErrorText() { return writeErrorText_.c_str(); }

namespace {

// A port just opened by `open`, wrapped so that it comes back when it can.
Failure openReconnecting(Failure (*open)(const DeviceSettings&, OpenedPort*),
                         const DeviceSettings& settings, OpenedPort* opened) {
    if (const Failure failure = open(settings, opened); failure.happened()) return failure;
    if (ReconnectingPort::canReconnect(settings.port))
        opened->port = std::make_unique<ReconnectingPort>(settings, std::move(opened->port));
    return {};
}

}  // namespace

Failure openReconnectingDeviceSidePort(const DeviceSettings& settings, OpenedPort* opened) {
    return openReconnecting(openDeviceSidePort, settings, opened);
}

Failure openReconnectingHostSidePort(const DeviceSettings& settings, OpenedPort* opened) {
    return openReconnecting(openHostSidePort, settings, opened);
}
