#pragma once

#include <string>

// Two serial ports joined back to back, made by socat from a pseudo-terminal pair: the program
// under test opens portName(), the test plays the device on devicePortName().
// Natively each SerialPair starts its own socat and ends it by process id. Under Wine the test
// wrapper has started socat for two pairs and mapped their ends into the prefix
// (VELTRANE_TEST_PORT and VELTRANE_TEST_DEVICE_PORT, then the same names ending in 2); a pair
// then names the ports of the first one no other live SerialPair holds, and asks the wrapper to
// end or replace it.
class SerialPair {
public:
    SerialPair() = default;
    ~SerialPair();
    SerialPair(const SerialPair&) = delete;
    SerialPair& operator=(const SerialPair&) = delete;

    // False with a reason when the pair cannot be made.
    bool start(std::string* why);
    // Ends the far end: the device goes away. Under Wine the wrapper ends the pair and makes a
    // new one under the same names. False where the pair cannot be ended.
    bool stop();
    // Ends the pair but keeps its names, as an adapter unplugged: both ports go away, and
    // neither name opens. False where the pair cannot be ended.
    bool takeAway();
    // After takeAway: a new pair under the same names, as the adapter plugged back in.
    bool bringBack(std::string* why);

    const std::string& portName() const { return portName_; }
    const std::string& devicePortName() const { return devicePortName_; }

private:
    // Natively: socat's own start and end.
    bool startSocat(std::string* why);
    void endSocat();
    // Under Wine: a request to the wrapper, done once it is gone.
    bool askWrapper(const char* suffix);

    std::string portName_;
    std::string devicePortName_;
    std::string directory_;
    long processId_ = -1;
    int slot_ = -1;      // under Wine: which mapped pair this is
    bool away_ = false;  // under Wine: taken away, to be brought back for the tests after
};
