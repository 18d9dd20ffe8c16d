#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/DeviceSettings.h"
#include "engine/Failure.h"
#include "engine/SerialDeviceAliases.h"
#include "engine/WaitablePort.h"
#include "workers/PortOpening.h"

// The port of a run that outlives its adapter dropping off the bus for a while (a brown-out, a
// hub reset). When the port fails it is closed and, once it is back, reopened with the same
// settings: by its lasting name under /dev/serial/by-id where it had one when first opened (a
// replugged adapter may come back as another ttyUSB, and another adapter may take its old name),
// else by the name it was opened by. A device server is connected to again the same way.
// While away, reads find nothing, writes are dropped (told as written, so that a replay keeps to
// its schedule; droppedBytes counts them), and a wait on it ends when it wants another look (at
// most every kLookAgainEvery), so that the reading thread still serves the other ports and sees
// a stop. Going and coming back are told as remarks; coming back also as a DataLost line event
// with the time away, taken before any byte that came after it.
// As for any WaitablePort, one thread reads and waits (and reopens); another may write and
// discard at the same time: it never uses a port that the reading thread has closed.
class ReconnectingPort final : public WaitablePort {
public:
    static constexpr std::chrono::milliseconds kLookAgainEvery{200};

    // port: opened from settings (openDeviceSidePort). byIdDirectory: where the lasting names
    // are looked for.
    ReconnectingPort(const DeviceSettings& settings, std::unique_ptr<WaitablePort> port,
                     const std::string& byIdDirectory = kSerialByIdDirectory);
    ~ReconnectingPort() override;

    // Whether a port of that name can come back this way: a serial port or a device server we
    // connect to; not a pseudo-terminal or a served port, whose other side comes and goes on
    // its own.
    static bool canReconnect(const std::string& portName);

    // For the reading thread: whether the port is away now.
    bool isAway() const { return away_; }
    // Bytes written while the port was away (or failing), and so dropped. Any thread.
    std::uint64_t droppedBytes() const;
    // For a run that never waits on the port (a replay, which only writes), in place of the
    // waits: notices a port that failed a write and reopens it when due.
    void lookAfter();

    bool readAvailable(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override;
    bool writeWithin(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten,
                     std::chrono::milliseconds limit) override;
    void discardOutput() override;
    std::vector<std::string> takeRemarks() override;
    std::vector<LineEvent> takeLineEvents() override;
    bool tellLineEvent(const LineEvent& event) override;
    const char* errorText() override;
    const char* writeErrorText() override;
    WaitStart startWait() override;
    PortInput finishWait(std::uint32_t events) override;

private:
    using Clock = std::chrono::steady_clock;

    std::shared_ptr<WaitablePort> current();
    void goAwayIfWriteFailed();
    void goAway(const std::string& reason, Clock::time_point since);
    bool comeBackWhenDue();
    WaitStart nothingToWatch() const;
    void note(const LineEvent& event);

    const DeviceSettings settings_;
    const std::vector<std::string> aliases_;  // lasting names of the port when first opened

    // The writing thread takes its own reference to the port under the lock, so that a port
    // the reading thread lets go of is closed only when that write is over.
    mutable std::mutex mutex_;
    std::shared_ptr<WaitablePort> port_;  // none while away; only the reading thread changes it
    bool writeFailed_ = false;            // on the port that port_ holds now
    std::string writeFailure_;
    Clock::time_point writeFailedAt_;
    std::uint64_t dropped_ = 0;
    std::uint64_t droppedBeforeAway_ = 0;
    bool haveHostLines_ = false;  // DTR and RTS as last told, set again on the port come back
    LineEvent hostLines_;

    // The reading thread's.
    bool away_ = false;
    bool justBack_ = false;  // the first read after coming back gives nothing: the event first
    Clock::time_point awaySince_;
    Clock::time_point nextLook_;
    std::vector<std::string> remarks_;
    std::vector<LineEvent> lineEvents_;
    std::string errorText_;
    // The writing thread's.
    std::string writeErrorText_;
};

// Opens the device's side named by settings.port as openDeviceSidePort does; a port that can
// come back (canReconnect) is wrapped in a ReconnectingPort.
Failure openReconnectingDeviceSidePort(const DeviceSettings& settings, OpenedPort* opened);
// The same for the host's side (openHostSidePort): a serial port there may come back too.
Failure openReconnectingHostSidePort(const DeviceSettings& settings, OpenedPort* opened);

// Either side opened to reconnect or not, as the run was asked.
inline Failure openDeviceSide(const DeviceSettings& settings, bool reconnect, OpenedPort* opened) {
    return reconnect ? openReconnectingDeviceSidePort(settings, opened)
                     : openDeviceSidePort(settings, opened);
}
inline Failure openHostSide(const DeviceSettings& settings, bool reconnect, OpenedPort* opened) {
    return reconnect ? openReconnectingHostSidePort(settings, opened)
                     : openHostSidePort(settings, opened);
}
