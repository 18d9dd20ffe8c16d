#include "workers/WorkerPort.h"

#include <chrono>

#include "network/NetworkPortName.h"
#include "workers/PortOpening.h"
#include "workers/ReconnectingPort.h"

namespace {

class SerialWorkerPort final : public WorkerPort {
public:
    SerialPort& serial() { return port_; }
    bool read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override {
        return port_.read(buffer, count, bytesRead);
    }
    bool write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override {
        return port_.write(buffer, count, bytesWritten);
    }
    void discardOutput() override { port_.discardOutput(); }
    const char* errorText() override { return port_.errorText(); }

private:
    SerialPort port_;
};

// A port that waits with others, used one call at a time with a serial port's limits. A
// reconnecting port is looked after before each write too, for a run that never reads.
class WaitingWorkerPort final : public WorkerPort {
public:
    WaitingWorkerPort(std::unique_ptr<WaitablePort> port, const SerialTimeouts& timeouts,
                      ReconnectingPort* reconnecting = nullptr)
        : port_(std::move(port)),
          reconnecting_(reconnecting),
          firstByteWait_(timeouts.readTotalTimeoutConstant),
          writeLimit_(timeouts.writeTotalTimeoutConstant == 0
                          ? -1
                          : static_cast<std::int64_t>(timeouts.writeTotalTimeoutConstant)) {}
    bool read(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override {
        *bytesRead = 0;
        if (!port_->readAvailable(buffer, count, bytesRead)) return failedReading();
        if (*bytesRead > 0) return true;
        WaitablePort* ports[1] = {port_.get()};
        if (waitForInput(ports, firstByteWait_)[0] == PortInput::Failed) return failedReading();
        return port_->readAvailable(buffer, count, bytesRead) || failedReading();
    }
    bool write(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten) override {
        if (reconnecting_) reconnecting_->lookAfter();
        if (port_->writeWithin(buffer, count, bytesWritten, writeLimit_)) return true;
        failure_ = port_->writeErrorText();
        return false;
    }
    void discardOutput() override { port_->discardOutput(); }
    const char* errorText() override { return failure_.c_str(); }
    // The line's events have no place in a serial file: taken here so that none pile up.
    std::vector<std::string> takeRemarks() override {
        port_->takeLineEvents();
        return port_->takeRemarks();
    }

private:
    bool failedReading() {
        failure_ = port_->errorText();
        return false;
    }

    std::unique_ptr<WaitablePort> port_;
    ReconnectingPort* reconnecting_;  // port_ where it reconnects, else none
    std::chrono::milliseconds firstByteWait_;
    std::chrono::milliseconds writeLimit_;
    std::string failure_;
};

void reportOpenFailure(const Failure& failure, LogWriter& log, SharedState& state) {
    log.writeLine("Error opening serial port: " + failure.reason());
    state.reportFailure(failure);
}

}  // namespace

std::unique_ptr<WorkerPort> openWorkerPort(const DeviceSettings& device,
                                           const WorkerTimeouts& timeouts, LogWriter& log,
                                           SharedState& state, bool reconnect) {
    if (reconnect && ReconnectingPort::canReconnect(device.port)) {
        OpenedPort opened;
        if (const Failure failure = openDeviceSidePort(device, &opened); failure.happened()) {
            reportOpenFailure(failure, log, state);
            return nullptr;
        }
        for (const std::string& remark : opened.remarks) log.writeLine(remark);
        auto reconnecting = std::make_unique<ReconnectingPort>(device, std::move(opened.port));
        ReconnectingPort* const watched = reconnecting.get();
        SerialPort unused;  // the limits are a serial port's: taken from a closed one's defaults
        return std::make_unique<WaitingWorkerPort>(std::move(reconnecting), timeouts(unused),
                                                   watched);
    }
    if (looksLikeNetworkPort(device.port)) {
        OpenedPort opened;
        if (const Failure failure = openDeviceSidePort(device, &opened); failure.happened()) {
            reportOpenFailure(failure, log, state);
            return nullptr;
        }
        for (const std::string& remark : opened.remarks) log.writeLine(remark);
        SerialPort unused;  // the limits are a serial port's: taken from a closed one's defaults
        return std::make_unique<WaitingWorkerPort>(std::move(opened.port), timeouts(unused));
    }
    auto serial = std::make_unique<SerialWorkerPort>();
    if (!serial->serial().open(SerialPort::devicePath(device.port), device.speed, device.dataBits,
                               device.parity, device.stopBits)) {
        reportOpenFailure(portFailure(Failure::Kind::OpenPort, device.port, serial->errorText()),
                          log, state);
        return nullptr;
    }
    const SerialTimeouts wanted = timeouts(serial->serial());
    if (!serial->serial().setTimeouts(&wanted)) {
        const std::string reason = serial->errorText();
        log.writeLine("Error setting serial port timeouts: " + reason);
        state.reportFailure(portFailure(Failure::Kind::PortTimeouts, device.port, reason));
        return nullptr;
    }
    return serial;
}
