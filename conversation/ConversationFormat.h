#pragma once

#include <cstddef>
#include <cstdint>

// The conversation file is pcapng with link type 250 (RTAC serial): what writer and reader
// agree on. Each packet's data begin with the 12-byte RTAC serial header.
namespace conversation_format {

inline constexpr std::uint32_t kSectionHeaderType = 0x0A0D0D0A;
inline constexpr std::uint32_t kInterfaceDescriptionType = 1;
inline constexpr std::uint32_t kEnhancedPacketType = 6;
// No time, interface or flags of its own: on interface 0, timed by its RTAC header.
inline constexpr std::uint32_t kSimplePacketType = 3;
inline constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;

inline constexpr std::uint16_t kLinkTypeRtacSerial = 250;

inline constexpr std::uint16_t kOptionEnd = 0;
inline constexpr std::uint16_t kOptionComment = 1;
inline constexpr std::uint16_t kSectionUserApplication = 4;
inline constexpr std::uint16_t kInterfaceName = 2;
inline constexpr std::uint16_t kInterfaceTimeResolution = 9;
inline constexpr std::uint16_t kPacketFlags = 2;

// epb_flags' direction bits.
inline constexpr std::uint32_t kFlagInbound = 1;
inline constexpr std::uint32_t kFlagOutbound = 2;

// RTAC serial header: seconds and microseconds (big-endian), event type, control lines,
// a 2-byte footer.
inline constexpr std::size_t kRtacHeaderSize = 12;
inline constexpr std::uint8_t kEventHostData = 0x01;    // DATA_TX_START
inline constexpr std::uint8_t kEventDeviceData = 0x02;  // DATA_RX_START
// What the line did beside its bytes: a packet of the RTAC header alone, the control-line byte
// giving the lines after it, who did it in epb_flags' direction bits as for data.
inline constexpr std::uint8_t kEventStatusChange = 0x00;  // STATUS_CHANGE
inline constexpr std::uint8_t kEventDataLost = 0x05;      // CAPTURE_DATA_LOST
inline constexpr std::uint8_t kEventFramingError = 0x07;  // FRAMING_ERROR
inline constexpr std::uint8_t kEventParityError = 0x08;   // PARITY_ERROR
inline constexpr std::uint8_t kEventSerialBreak = 0x09;   // SERIAL_BREAK_EVENT
// The type alone cannot tell a break's end from its start, nor asked-for settings from a change
// of the control lines: a packet comment tells, in words a person reading the capture follows.
inline constexpr const char* kCommentBreakStart = "break start";
inline constexpr const char* kCommentBreakEnd = "break end";
inline constexpr const char* kCommentLineSettings = "line settings: ";
// A gap gives the time its port was away: "port away for 2.345 s".
inline constexpr const char* kCommentPortAway = "port away for ";

// Block type, length, ..., length.
inline constexpr std::size_t kBlockFrameSize = 12;
// After the block's type and length: interface, time high and low, captured and original length.
inline constexpr std::size_t kPacketFieldsSize = 20;
// No block bigger than this is written or read: it bounds the reader's memory.
inline constexpr std::uint32_t kMaxBlockSize = 16 * 1024 * 1024;

// Classic pcap: file header and per-packet record header.
inline constexpr std::uint32_t kPcapMicrosMagic = 0xA1B2C3D4;
inline constexpr std::uint32_t kPcapNanosMagic = 0xA1B23C4D;
inline constexpr std::size_t kPcapFileHeaderSize = 24;
inline constexpr std::size_t kPcapRecordHeaderSize = 16;

constexpr std::size_t paddedTo4(std::size_t size) { return (size + 3) & ~std::size_t{3}; }

}  // namespace conversation_format
