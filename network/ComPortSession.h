#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/DeviceSettings.h"
#include "engine/LineEvent.h"

// Telnet with the COM port option: one side of one connection, touching no socket. The peer's
// bytes go in (receive); the serial line's bytes and what the peer asked or told come out; what
// to send the peer gathers in one queue (takeOutgoing), protocol and line bytes in their order.
// Hostile input is bounded: a sub-negotiation longer than kLongestSubnegotiation is dropped
// whole and told as a fault; an unknown option is refused as Telnet refuses it (DONT/WONT).
namespace telnet {
inline constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251,
                              kSb = 250, kSe = 240;
inline constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPortOption = 44;
}  // namespace telnet

// The COM port option's commands as the client sends them (the server answers with 100 added).
namespace com_port {
inline constexpr std::uint8_t kSignature = 0, kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3,
                              kSetStopSize = 4, kSetControl = 5, kNotifyLineState = 6,
                              kNotifyModemState = 7, kFlowControlSuspend = 8,
                              kFlowControlResume = 9, kSetLineStateMask = 10,
                              kSetModemStateMask = 11, kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;
// SET-CONTROL values.
inline constexpr std::uint8_t kBreakOn = 5, kBreakOff = 6, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11,
                              kRtsOff = 12;
// NOTIFY-MODEMSTATE bits.
inline constexpr std::uint8_t kModemDcd = 0x80, kModemRing = 0x40, kModemDsr = 0x20,
                              kModemCts = 0x10;
// NOTIFY-LINESTATE bits.
inline constexpr std::uint8_t kLineBreak = 0x10, kLineFraming = 0x08, kLineParity = 0x04,
                              kLineOverrun = 0x02;
// PURGE-DATA values.
inline constexpr std::uint8_t kPurgeReceive = 1, kPurgeTransmit = 2, kPurgeBoth = 3;
}  // namespace com_port

enum class ComPortRole : std::uint8_t { Client, Server };

// One of the four line settings, as the option numbers them.
enum class ComPortSetting : std::uint8_t { Speed, DataBits, Parity, StopBits, Control };

// Something the peer said beside the line's bytes.
struct ComPortNotice {
    enum class Kind : std::uint8_t {
        // The peer's line did something: on the client, from the server's NOTIFY-MODEMSTATE
        // (ControlLines with the device's lines) and NOTIFY-LINESTATE (BreakStart/End,
        // FramingError, ParityError); on the server, the client's SET-CONTROL for DTR, RTS
        // and break (ControlLines with the host's lines, BreakStart/End) and its SET-BAUDRATE,
        // -DATASIZE, -PARITY, -STOPSIZE (LineSettings with the one setting asked, the others 0).
        Line,
        // Client: the server's answer to a SET (setting, value as the option numbers it).
        Applied,
        // Server: the client asked to purge (value: com_port::kPurge*).
        Purge,
        // The peer agreed to the COM port option, or refused it (value 1 agreed, 0 refused).
        ComPortAnswer,
        // The peer broke the protocol (text says how); the bytes concerned were dropped.
        Fault,
    };
    Kind kind = Kind::Fault;
    LineEvent line;
    ComPortSetting setting = ComPortSetting::Speed;
    std::uint32_t value = 0;
    std::string text;
};

class ComPortSession {
public:
    static constexpr std::size_t kLongestSubnegotiation = 64;

    explicit ComPortSession(ComPortRole role);

    // Queues the opening offers. Client: WILL and DO BINARY, WILL and DO SUPPRESS-GO-AHEAD,
    // WILL COM-PORT-OPTION. Server: the same with DO COM-PORT-OPTION.
    void start();

    // Takes bytes from the peer, in any pieces (a command may be split anywhere). The line's
    // bytes are appended to *lineBytes (IAC IAC becomes one 255; until the peer sends in BINARY,
    // CR NUL becomes CR); answers to the peer's negotiation and, on the server, the
    // acknowledgement of each SET go to the outgoing queue.
    void receive(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>* lineBytes);

    // Queues the line's bytes for the peer, each 255 doubled (and, until this side offered
    // BINARY, each CR followed by NUL).
    void sendLineBytes(std::span<const std::uint8_t> bytes);

    // Client: asks the server for the four settings (SET-BAUDRATE, -DATASIZE, -PARITY,
    // -STOPSIZE), for a SET-CONTROL value, for a purge, for the masks of what it notifies.
    void askLineSettings(const DeviceSettings& settings);
    void askControl(std::uint8_t controlValue);
    void askPurge(std::uint8_t purgeValue);
    void askNotifyMasks(std::uint8_t lineStateMask, std::uint8_t modemStateMask);

    // Server: the settings it holds, which answer a client's query (a SET with value 0) and are
    // replaced by each SET the client makes (acknowledged with the value now held).
    void holdSettings(const DeviceSettings& settings);
    const DeviceSettings& heldSettings() const;
    // Server: tells the client the device's lines (control_line bits; sent as NOTIFY-MODEMSTATE
    // with the delta bits against the last told) and line state (com_port::kLine* bits), as far
    // as the client's masks let them through; the line-state mask starts at 0, as the option
    // has it. Nothing is sent before the option is agreed; the lines are then told as they stand.
    void tellModemLines(std::uint8_t controlLines);
    void tellLineState(std::uint8_t lineState);
    // The host's lines as the client last set them (control_line::kDtr, kRts); both start set.
    std::uint8_t hostLines() const;

    // What to send the peer, in order; the queue is empty afterwards.
    std::vector<std::uint8_t> takeOutgoing();
    bool hasOutgoing() const;
    // What the peer said since the last call, in order.
    std::vector<ComPortNotice> takeNotices();

    // Whether the peer agreed to the COM port option (client: the server's DO; server: the
    // client's WILL; after this side's offer, the peer's first use of the option also counts).
    bool comPortAgreed() const;

private:
    // An option's state on one side, after RFC 1143 without the queue: this side never asks
    // to turn an option off, so "asked" is only ever a request to turn it on.
    enum class OptionState : std::uint8_t { Off, Asked, On, Refused };
    enum class ReceiveState : std::uint8_t { Data, Command, Option, Sub, SubCommand };

    bool supportsLocal(std::uint8_t option) const;
    bool supportsRemote(std::uint8_t option) const;
    void offer(std::uint8_t verb, std::uint8_t option);
    void takeLineByte(std::uint8_t byte, std::vector<std::uint8_t>* lineBytes);
    void onCommand(std::uint8_t byte);
    void onNegotiation(std::uint8_t verb, std::uint8_t option);
    void onComPortAnswer();
    void keepSubnegotiationByte(std::uint8_t byte);
    void onSubnegotiation();
    void onClientCommand(std::uint8_t command, std::span<const std::uint8_t> payload);
    void onServerCommand(std::uint8_t command, std::span<const std::uint8_t> payload);
    void onSetControl(std::uint8_t value);
    void onLineSetting(std::uint8_t command, std::span<const std::uint8_t> payload);
    void onModemState(std::uint8_t state);
    void onLineState(std::uint8_t state);
    void sendModemState(bool always);
    void ask(std::uint8_t command, std::span<const std::uint8_t> payload);
    void notifyLine(LineEventKind kind, std::uint8_t controlLines = 0);
    void fault(std::string text);

    ComPortRole role_;
    std::vector<std::uint8_t> outgoing_;
    // Client: what was asked before the server agreed to the option.
    std::vector<std::uint8_t> heldAsks_;
    std::vector<ComPortNotice> notices_;
    std::vector<std::uint8_t> subnegotiation_;
    DeviceSettings held_;
    std::uint8_t hostLines_ = control_line::kDtr | control_line::kRts;
    // The device's lines (control_line bits): server, as last given; client, as last told.
    std::uint8_t deviceLines_ = 0;
    // Server: the NOTIFY-MODEMSTATE state bits and the NOTIFY-LINESTATE byte last sent.
    std::uint8_t lastModemState_ = 0;
    std::uint8_t lastLineState_ = 0;
    std::uint8_t lineStateMask_ = 0;
    std::uint8_t modemStateMask_ = 0xFF;
    // Server: break as the client set it; client: as the server told it.
    bool breakOn_ = false;
    ReceiveState receiveState_ = ReceiveState::Data;
    std::uint8_t verb_ = 0;
    bool subnegotiationTooLong_ = false;
    bool lastWasCr_ = false;
    OptionState local_[256] = {};
    OptionState remote_[256] = {};
};
