#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/DeviceSettings.h"
#include "engine/LineEvent.h"
#include "engine/WaitablePort.h"
#include "network/NetworkPortName.h"

// A serial line reached over TCP, for waitForInput like any port: a device server we connect
// to (rfc2217://, tcp://), or a port we serve to the program under test (rfc2217-server:,
// tcp-server:). One thread reads, waits and tells line events; another may write.
//
// A served port takes one program at a time: while one is connected, another that connects is
// closed at once (and told in the remarks). A program that leaves is no failure: the port
// listens again, and what is written meanwhile is dropped, as a line with nobody on it drops it.
// A connection we made that ends is a failure, as an unplugged port is.
class NetworkPort final : public WaitablePort {
public:
    struct Timeouts {
        std::chrono::milliseconds connect{5000};
        // For the server's answers to the COM port option while the port opens.
        std::chrono::milliseconds answer{3000};
    };

    NetworkPort();
    ~NetworkPort() override;

    // Connects and, over RFC 2217, asks for the settings and reads back what was applied; or
    // starts listening, holding the settings for a program that asks for them. displayName
    // names the port in remarks and failures.
    bool open(const std::string& displayName, const NetworkPortName& name,
              const DeviceSettings& settings, const Timeouts& timeouts);
    bool open(const std::string& displayName, const NetworkPortName& name,
              const DeviceSettings& settings) {
        return open(displayName, name, settings, Timeouts{});
    }
    void close();
    bool isOpen() const;
    // The port listened on (useful when 0 asked for any free one); 0 for a connection we made.
    std::uint16_t listeningPort() const;
    // Whether a program is connected to the served port (always true for a connection made).
    bool connected() const;

    // What is worth a line in the log: settings the server applied differently, a server that
    // never acknowledged a control line, programs connecting, leaving or turned away. Taken by
    // the reading thread.
    std::vector<std::string> takeRemarks() override;
    // The far side's line events since the last call (over RFC 2217; none over raw TCP).
    std::vector<LineEvent> takeLineEvents() override;
    // Passes a line event to the far side where the protocol carries it: as a client DTR, RTS,
    // break and settings for the device server; as a server the device's lines, breaks and
    // errors for the program. False when it cannot (raw TCP, or nothing connected).
    bool tellLineEvent(const LineEvent& event) override;

    bool readAvailable(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
    bool writeWithin(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten,
                     std::chrono::milliseconds limit) override;
    const char* errorText() override;
    const char* writeErrorText() override;

    WaitStart startWait() override;
    PortInput finishWait(std::uint32_t events) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string errorText_;
    std::string writeErrorText_;
};
