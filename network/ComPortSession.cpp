#include "network/ComPortSession.h"

#include <array>
#include <limits>
#include <optional>
#include <utility>

using namespace telnet;
using namespace com_port;

namespace {

constexpr std::uint8_t kCr = '\r';
constexpr std::uint8_t kSignatureText[] = {'V', 'e', 'l', 't', 'r', 'a', 'n', 'e'};

// SET-CONTROL values besides the break, DTR and RTS ones the header names.
constexpr std::uint8_t kNoFlow = 1, kAskBreak = 4, kAskDtr = 7, kAskRts = 10, kAskInboundFlow = 13,
                       kNoInboundFlow = 14, kInboundXonXoff = 15, kInboundHardware = 16,
                       kInboundDtr = 18, kLastControlValue = 19;
constexpr std::uint8_t kRingTrailingEdge = 0x04;

// NOTIFY-MODEMSTATE's state bits beside the control-line bits they stand for. Each state bit's
// delta bit is the state bit shifted down four (the ring's is its trailing edge).
struct ModemBit {
    std::uint8_t modem;
    std::uint8_t line;
};
constexpr ModemBit kModemBits[] = {{kModemDcd, control_line::kDcd},
                                   {kModemRing, control_line::kRing},
                                   {kModemDsr, control_line::kDsr},
                                   {kModemCts, control_line::kCts}};

std::uint8_t modemStateOf(std::uint8_t lines) {
    std::uint8_t state = 0;
    for (const ModemBit& bit : kModemBits)
        if (lines & bit.line) state |= bit.modem;
    return state;
}

std::uint8_t linesOfModemState(std::uint8_t state) {
    std::uint8_t lines = 0;
    for (const ModemBit& bit : kModemBits)
        if (state & bit.modem) lines |= bit.line;
    return lines;
}

// How the option numbers parity (1 to 5) and stop bits (1 to 3); 0 asks for the value held.
constexpr Parity kParityByNumber[] = {Parity::None, Parity::Odd, Parity::Even, Parity::Mark,
                                      Parity::Space};
constexpr StopBits kStopBitsByNumber[] = {StopBits::One, StopBits::Two, StopBits::OneAndAHalf};

template <typename Setting, std::size_t count>
std::uint8_t numberOf(const Setting (&byNumber)[count], Setting setting) {
    for (std::size_t i = 0; i < count; ++i)
        if (byNumber[i] == setting) return static_cast<std::uint8_t>(i + 1);
    return 0;
}

template <typename Setting, std::size_t count>
std::optional<Setting> settingOf(const Setting (&byNumber)[count], std::uint8_t number) {
    if (number < 1 || number > count) return std::nullopt;
    return byNumber[number - 1];
}

// The host's lines after a SET-CONTROL value: DTR and RTS follow theirs, others leave them be.
std::uint8_t hostLinesAfter(std::uint8_t hostLines, std::uint8_t controlValue) {
    switch (controlValue) {
        case kDtrOn:
            return hostLines | control_line::kDtr;
        case kDtrOff:
            return hostLines & static_cast<std::uint8_t>(~control_line::kDtr);
        case kRtsOn:
            return hostLines | control_line::kRts;
        case kRtsOff:
            return hostLines & static_cast<std::uint8_t>(~control_line::kRts);
        default:
            return hostLines;
    }
}

// A value the held settings cannot have (negative, or beyond a byte) goes out as 0.
std::uint8_t byteOf(std::int32_t value) {
    return value >= 0 && value <= 0xFF ? static_cast<std::uint8_t>(value) : 0;
}

std::array<std::uint8_t, 4> speedBytes(std::int32_t speed) {
    const auto value = static_cast<std::uint32_t>(speed > 0 ? speed : 0);
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::uint32_t speedOf(std::span<const std::uint8_t> bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

// Only SET-BAUDRATE's answer carries four bytes; every other command worth reading, one.
std::size_t payloadSize(std::uint8_t command) {
    return command % kServerOffset == kSetBaudRate ? 4 : 1;
}

void queueCommand(std::vector<std::uint8_t>& queue, std::uint8_t command,
                  std::span<const std::uint8_t> payload) {
    queue.insert(queue.end(), {kIac, kSb, kComPortOption, command});
    for (const std::uint8_t byte : payload) {
        queue.push_back(byte);
        if (byte == kIac) queue.push_back(kIac);
    }
    queue.insert(queue.end(), {kIac, kSe});
}

}  // namespace

ComPortSession::ComPortSession(ComPortRole role) : role_(role) {}

bool ComPortSession::supportsLocal(std::uint8_t option) const {
    return option == kBinary || option == kSuppressGoAhead ||
           (option == kComPortOption && role_ == ComPortRole::Client);
}

bool ComPortSession::supportsRemote(std::uint8_t option) const {
    return option == kBinary || option == kSuppressGoAhead ||
           (option == kComPortOption && role_ == ComPortRole::Server);
}

void ComPortSession::start() {
    offer(kWill, kBinary);
    offer(kDo, kBinary);
    offer(kWill, kSuppressGoAhead);
    offer(kDo, kSuppressGoAhead);
    offer(role_ == ComPortRole::Client ? kWill : kDo, kComPortOption);
}

// An offer is made once: while it waits for its answer, or once in force, it is not repeated.
void ComPortSession::offer(std::uint8_t verb, std::uint8_t option) {
    OptionState& state = verb == kWill ? local_[option] : remote_[option];
    if (state != OptionState::Off) return;
    state = OptionState::Asked;
    outgoing_.insert(outgoing_.end(), {kIac, verb, option});
}

void ComPortSession::receive(std::span<const std::uint8_t> bytes,
                             std::vector<std::uint8_t>* lineBytes) {
    for (const std::uint8_t byte : bytes) {
        switch (receiveState_) {
            case ReceiveState::Data:
                if (byte == kIac)
                    receiveState_ = ReceiveState::Command;
                else
                    takeLineByte(byte, lineBytes);
                break;
            case ReceiveState::Command:
                if (byte == kIac) {
                    receiveState_ = ReceiveState::Data;
                    takeLineByte(byte, lineBytes);
                } else {
                    onCommand(byte);
                }
                break;
            case ReceiveState::Option:
                receiveState_ = ReceiveState::Data;
                onNegotiation(verb_, byte);
                break;
            case ReceiveState::Sub:
                if (byte == kIac)
                    receiveState_ = ReceiveState::SubCommand;
                else
                    keepSubnegotiationByte(byte);
                break;
            case ReceiveState::SubCommand:
                if (byte == kIac) {
                    receiveState_ = ReceiveState::Sub;
                    keepSubnegotiationByte(byte);
                } else if (byte == kSe) {
                    receiveState_ = ReceiveState::Data;
                    onSubnegotiation();
                } else {
                    // A command inside a sub-negotiation ends it unfinished; the command itself
                    // still counts, so a peer that lost its SE does not lose what follows.
                    if (!subnegotiationTooLong_) fault("sub-negotiation cut short by a command");
                    onCommand(byte);
                }
                break;
        }
    }
}

void ComPortSession::takeLineByte(std::uint8_t byte, std::vector<std::uint8_t>* lineBytes) {
    // Outside BINARY a lone CR travels as CR NUL (RFC 854); in BINARY every byte is the line's.
    if (lastWasCr_ && byte == 0) {
        lastWasCr_ = false;
        return;
    }
    lastWasCr_ = byte == kCr && remote_[kBinary] != OptionState::On;
    if (lineBytes) lineBytes->push_back(byte);
}

void ComPortSession::onCommand(std::uint8_t byte) {
    receiveState_ = ReceiveState::Data;
    if (byte == kSb) {
        receiveState_ = ReceiveState::Sub;
        subnegotiation_.clear();
        subnegotiationTooLong_ = false;
    } else if (byte >= kWill && byte <= kDont) {
        receiveState_ = ReceiveState::Option;
        verb_ = byte;
    }
    // Anything else (NOP, GA, DM, AYT, a stray SE...) means nothing to a serial line.
}

// RFC 1143's rules without the queue: a request that confirms the state in force, or repeats
// one already refused, is not answered, so neither side can start a loop of answers.
void ComPortSession::onNegotiation(std::uint8_t verb, std::uint8_t option) {
    const bool ofThisSide = verb == kDo || verb == kDont;
    const bool turnOn = verb == kDo || verb == kWill;
    OptionState& state = ofThisSide ? local_[option] : remote_[option];
    const bool supported = ofThisSide ? supportsLocal(option) : supportsRemote(option);
    const std::uint8_t yes = ofThisSide ? kWill : kDo;
    const std::uint8_t no = ofThisSide ? kWont : kDont;
    const OptionState before = state;
    if (state == OptionState::Refused) return;
    if (turnOn) {
        if (state == OptionState::On) return;
        if (state == OptionState::Off && !supported) {
            state = OptionState::Refused;
            outgoing_.insert(outgoing_.end(), {kIac, no, option});
            return;
        }
        // From Asked this is the answer to our offer, which is not answered again.
        if (state == OptionState::Off) outgoing_.insert(outgoing_.end(), {kIac, yes, option});
        state = OptionState::On;
    } else {
        // Turning an option off cannot be refused; only a change of state is confirmed.
        if (state == OptionState::On) outgoing_.insert(outgoing_.end(), {kIac, no, option});
        state = OptionState::Off;
    }
    if (option == kComPortOption && supported && state != before) onComPortAnswer();
}

void ComPortSession::onComPortAnswer() {
    const bool agreed = comPortAgreed();
    ComPortNotice notice;
    notice.kind = ComPortNotice::Kind::ComPortAnswer;
    notice.value = agreed ? 1 : 0;
    notices_.push_back(std::move(notice));
    if (role_ == ComPortRole::Client) {
        // What was asked meanwhile goes out now, or never: a server that refused the option
        // would only drop it.
        if (agreed) outgoing_.insert(outgoing_.end(), heldAsks_.begin(), heldAsks_.end());
        heldAsks_.clear();
    } else if (agreed) {
        sendModemState(false);  // the lines as they stand, if any is up
    } else {
        lastModemState_ = lastLineState_ = 0;
    }
}

void ComPortSession::keepSubnegotiationByte(std::uint8_t byte) {
    if (subnegotiationTooLong_) return;
    if (subnegotiation_.size() == kLongestSubnegotiation) {
        subnegotiationTooLong_ = true;
        subnegotiation_.clear();
        fault("sub-negotiation longer than " + std::to_string(kLongestSubnegotiation) +
              " bytes dropped");
        return;
    }
    subnegotiation_.push_back(byte);
}

void ComPortSession::onSubnegotiation() {
    if (subnegotiationTooLong_) return;  // told when it grew too long
    const bool comPort = !subnegotiation_.empty() && subnegotiation_[0] == kComPortOption;
    // A peer that meant to offer the option itself may meet our offer first, take it as
    // agreement and never answer it: once offered, its first use of the option is its yes.
    OptionState& ours =
        role_ == ComPortRole::Client ? local_[kComPortOption] : remote_[kComPortOption];
    if (comPort && ours == OptionState::Asked) {
        ours = OptionState::On;
        onComPortAnswer();
    }
    if (!comPort || !comPortAgreed()) {
        fault("sub-negotiation for an option not agreed dropped");
        return;
    }
    if (subnegotiation_.size() < 2) {
        fault("COM port sub-negotiation without a command dropped");
        return;
    }
    const std::uint8_t command = subnegotiation_[1];
    const std::span<const std::uint8_t> payload(subnegotiation_.data() + 2,
                                                subnegotiation_.size() - 2);
    if (role_ == ComPortRole::Server)
        onClientCommand(command, payload);
    else
        onServerCommand(command, payload);
}

void ComPortSession::onClientCommand(std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (command > kPurgeData) {
        fault("unknown COM port command " + std::to_string(command) + " dropped");
        return;
    }
    // The commands without a payload, or whose payload is text.
    switch (command) {
        case kSignature:
            // A client's own signature is for a person reading a log; an empty one asks ours.
            if (payload.empty())
                queueCommand(outgoing_, kSignature + kServerOffset, kSignatureText);
            return;
        case kNotifyModemState:
            sendModemState(true);  // a client that polls gets the lines as they stand
            return;
        case kNotifyLineState:
        case kFlowControlSuspend:
        case kFlowControlResume:
            // Nothing to answer, and no flow control here for the client to suspend.
            return;
        default:
            break;
    }
    if (payload.size() != payloadSize(command)) {
        fault("COM port command " + std::to_string(command) + " with " +
              std::to_string(payload.size()) + " bytes dropped");
        return;
    }
    const std::uint8_t value = payload[0];
    const std::uint8_t answer = command + kServerOffset;
    switch (command) {
        case kSetControl:
            onSetControl(value);
            return;
        case kSetLineStateMask:
            lineStateMask_ = value;
            queueCommand(outgoing_, answer, payload);
            return;
        case kSetModemStateMask:
            modemStateMask_ = value;
            queueCommand(outgoing_, answer, payload);
            return;
        case kPurgeData:
            if (value < kPurgeReceive || value > kPurgeBoth) {
                fault("purge of " + std::to_string(value) + " dropped");
                return;
            }
            notices_.push_back({ComPortNotice::Kind::Purge, {}, {}, value, {}});
            queueCommand(outgoing_, answer, payload);
            return;
        default:
            onLineSetting(command, payload);
            return;
    }
}

// A SET with 0 asks for the value held; any other value the line can take replaces it. The
// answer is always the value held afterwards, so a value refused comes back as the old one.
void ComPortSession::onLineSetting(std::uint8_t command, std::span<const std::uint8_t> payload) {
    LineEvent asked;
    asked.kind = LineEventKind::LineSettings;
    bool changed = false;
    switch (command) {
        case kSetBaudRate: {
            const std::uint32_t speed = speedOf(payload);
            if (speed > 0 && speed <= std::numeric_limits<std::int32_t>::max()) {
                held_.speed = asked.speed = static_cast<std::int32_t>(speed);
                changed = true;
            }
            break;
        }
        case kSetDataSize:
            if (payload[0] >= 5 && payload[0] <= 8) {
                held_.dataBits = asked.dataBits = payload[0];
                changed = true;
            }
            break;
        case kSetParity:
            if (const auto parity = settingOf(kParityByNumber, payload[0])) {
                held_.parity = asked.parity = *parity;
                changed = true;
            }
            break;
        case kSetStopSize:
            if (const auto stopBits = settingOf(kStopBitsByNumber, payload[0])) {
                held_.stopBits = asked.stopBits = *stopBits;
                changed = true;
            }
            break;
    }
    if (changed) notices_.push_back({ComPortNotice::Kind::Line, asked, {}, 0, {}});
    const std::uint8_t answer = command + kServerOffset;
    switch (command) {
        case kSetBaudRate:
            queueCommand(outgoing_, answer, speedBytes(held_.speed));
            break;
        case kSetDataSize:
            queueCommand(outgoing_, answer, {{byteOf(held_.dataBits)}});
            break;
        case kSetParity:
            queueCommand(outgoing_, answer, {{numberOf(kParityByNumber, held_.parity)}});
            break;
        case kSetStopSize:
            queueCommand(outgoing_, answer, {{numberOf(kStopBitsByNumber, held_.stopBits)}});
            break;
    }
}

// Every value the option defines is answered with the state now in force. This side does no
// flow control of its own, so every question or wish about it is answered "none".
void ComPortSession::onSetControl(std::uint8_t value) {
    using control_line::kDtr;
    using control_line::kRts;
    std::uint8_t answer = value;
    switch (value) {
        case kAskBreak:
            answer = breakOn_ ? kBreakOn : kBreakOff;
            break;
        case kAskDtr:
            answer = hostLines_ & kDtr ? kDtrOn : kDtrOff;
            break;
        case kAskRts:
            answer = hostLines_ & kRts ? kRtsOn : kRtsOff;
            break;
        case kBreakOn:
        case kBreakOff:
            breakOn_ = value == kBreakOn;
            notifyLine(breakOn_ ? LineEventKind::BreakStart : LineEventKind::BreakEnd);
            break;
        case kDtrOn:
        case kDtrOff:
        case kRtsOn:
        case kRtsOff:
            hostLines_ = hostLinesAfter(hostLines_, value);
            notifyLine(LineEventKind::ControlLines, hostLines_);
            break;
        case kAskInboundFlow:
        case kNoInboundFlow:
        case kInboundXonXoff:
        case kInboundHardware:
        case kInboundDtr:
            answer = kNoInboundFlow;
            break;
        default:
            if (value > kLastControlValue) {
                fault("SET-CONTROL " + std::to_string(value) + " dropped");
                return;
            }
            answer = kNoFlow;  // the question and the wishes for outbound flow control
            break;
    }
    queueCommand(outgoing_, kSetControl + kServerOffset, {{answer}});
}

void ComPortSession::onServerCommand(std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (command < kServerOffset || command > kServerOffset + kPurgeData) {
        fault("unknown COM port command " + std::to_string(command) + " dropped");
        return;
    }
    const std::uint8_t ours = command - kServerOffset;
    if (ours == kSignature) {
        if (payload.empty()) queueCommand(outgoing_, kSignature, kSignatureText);
        return;
    }
    // Flow control requests, and the acknowledgements of masks and purges, change nothing here.
    if (ours == kFlowControlSuspend || ours == kFlowControlResume || ours >= kSetLineStateMask)
        return;
    if (payload.size() != payloadSize(command)) {
        fault("COM port answer " + std::to_string(command) + " with " +
              std::to_string(payload.size()) + " bytes dropped");
        return;
    }
    if (ours == kNotifyModemState) return onModemState(payload[0]);
    if (ours == kNotifyLineState) return onLineState(payload[0]);
    constexpr ComPortSetting kSettingOf[] = {ComPortSetting::Speed,    ComPortSetting::Speed,
                                             ComPortSetting::DataBits, ComPortSetting::Parity,
                                             ComPortSetting::StopBits, ComPortSetting::Control};
    const std::uint32_t value = ours == kSetBaudRate ? speedOf(payload) : payload[0];
    // The server's word on DTR and RTS is what holds, whatever was asked.
    if (ours == kSetControl) hostLines_ = hostLinesAfter(hostLines_, payload[0]);
    notices_.push_back({ComPortNotice::Kind::Applied, {}, kSettingOf[ours], value, {}});
}

void ComPortSession::onModemState(std::uint8_t state) {
    const std::uint8_t lines = linesOfModemState(state);
    // A line that changed and changed back between two notices shows only by its delta bit:
    // it is told as both changes, so a short pulse is not lost.
    std::uint8_t pulsed = 0;
    for (const ModemBit& bit : kModemBits) {
        const bool delta = state & (bit.modem >> 4);
        if (delta && (deviceLines_ & bit.line) == (lines & bit.line)) pulsed |= bit.line;
    }
    if (pulsed) notifyLine(LineEventKind::ControlLines, (deviceLines_ ^ pulsed) | hostLines_);
    if (pulsed || lines != deviceLines_)
        notifyLine(LineEventKind::ControlLines, lines | hostLines_);
    deviceLines_ = lines;
}

// An overrun is not told: the bytes it lost are gone either way, and a line event has no
// word for it.
void ComPortSession::onLineState(std::uint8_t state) {
    const bool breakNow = state & kLineBreak;
    if (breakNow != breakOn_) {
        breakOn_ = breakNow;
        notifyLine(breakNow ? LineEventKind::BreakStart : LineEventKind::BreakEnd);
    }
    if (state & kLineFraming) notifyLine(LineEventKind::FramingError);
    if (state & kLineParity) notifyLine(LineEventKind::ParityError);
}

void ComPortSession::sendLineBytes(std::span<const std::uint8_t> bytes) {
    // Once BINARY is offered the bytes go as they are: the peer takes them so from the offer on.
    const bool binary = local_[kBinary] == OptionState::On || local_[kBinary] == OptionState::Asked;
    for (const std::uint8_t byte : bytes) {
        outgoing_.push_back(byte);
        if (byte == kIac) outgoing_.push_back(kIac);
        if (byte == kCr && !binary) outgoing_.push_back(0);
    }
}

// What the client asks waits until the server agreed to the option: a server may drop a
// sub-negotiation that comes before its agreement.
void ComPortSession::ask(std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (role_ != ComPortRole::Client) return;
    queueCommand(comPortAgreed() ? outgoing_ : heldAsks_, command, payload);
}

void ComPortSession::askLineSettings(const DeviceSettings& settings) {
    ask(kSetBaudRate, speedBytes(settings.speed));
    ask(kSetDataSize, {{byteOf(settings.dataBits)}});
    ask(kSetParity, {{numberOf(kParityByNumber, settings.parity)}});
    ask(kSetStopSize, {{numberOf(kStopBitsByNumber, settings.stopBits)}});
}

void ComPortSession::askControl(std::uint8_t controlValue) {
    if (role_ != ComPortRole::Client) return;
    hostLines_ = hostLinesAfter(hostLines_, controlValue);
    ask(kSetControl, {{controlValue}});
}

void ComPortSession::askPurge(std::uint8_t purgeValue) { ask(kPurgeData, {{purgeValue}}); }

void ComPortSession::askNotifyMasks(std::uint8_t lineStateMask, std::uint8_t modemStateMask) {
    ask(kSetLineStateMask, {{lineStateMask}});
    ask(kSetModemStateMask, {{modemStateMask}});
}

void ComPortSession::holdSettings(const DeviceSettings& settings) { held_ = settings; }

const DeviceSettings& ComPortSession::heldSettings() const { return held_; }

void ComPortSession::tellModemLines(std::uint8_t controlLines) {
    if (role_ != ComPortRole::Server) return;
    deviceLines_ = controlLines & control_line::kDeviceLines;
    if (comPortAgreed()) sendModemState(false);
}

// Sends NOTIFY-MODEMSTATE when a line the mask lets through changed since the last one sent
// (always, to answer a poll). A change to all-clear is sent too, though the mask leaves 0:
// without it a client whose mask has no delta bits would never see a line drop.
void ComPortSession::sendModemState(bool always) {
    const std::uint8_t state = modemStateOf(deviceLines_);
    const auto changed = static_cast<std::uint8_t>(state ^ lastModemState_);
    auto deltas = static_cast<std::uint8_t>((changed & (kModemDcd | kModemDsr | kModemCts)) >> 4);
    if ((lastModemState_ & kModemRing) && !(state & kModemRing)) deltas |= kRingTrailingEdge;
    if (!always && ((changed | deltas) & modemStateMask_) == 0) return;
    queueCommand(outgoing_, kNotifyModemState + kServerOffset,
                 {{static_cast<std::uint8_t>((state | deltas) & modemStateMask_)}});
    lastModemState_ = state;
}

// Errors are events and go each time; a break is a state, and its end is sent even when it
// leaves nothing through the mask, or the client would hold the break for ever.
void ComPortSession::tellLineState(std::uint8_t lineState) {
    if (role_ != ComPortRole::Server || !comPortAgreed()) return;
    const auto masked = static_cast<std::uint8_t>(lineState & lineStateMask_);
    if (masked == 0 && !(lastLineState_ & kLineBreak)) return;
    queueCommand(outgoing_, kNotifyLineState + kServerOffset, {{masked}});
    lastLineState_ = masked;
}

std::uint8_t ComPortSession::hostLines() const { return hostLines_; }

std::vector<std::uint8_t> ComPortSession::takeOutgoing() { return std::exchange(outgoing_, {}); }

bool ComPortSession::hasOutgoing() const { return !outgoing_.empty(); }

std::vector<ComPortNotice> ComPortSession::takeNotices() { return std::exchange(notices_, {}); }

bool ComPortSession::comPortAgreed() const {
    return (role_ == ComPortRole::Client ? local_ : remote_)[kComPortOption] == OptionState::On;
}

void ComPortSession::notifyLine(LineEventKind kind, std::uint8_t controlLines) {
    LineEvent line;
    line.kind = kind;
    line.controlLines = controlLines;
    notices_.push_back({ComPortNotice::Kind::Line, line, {}, 0, {}});
}

void ComPortSession::fault(std::string text) {
    notices_.push_back({ComPortNotice::Kind::Fault, {}, {}, 0, std::move(text)});
}
