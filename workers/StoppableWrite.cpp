#include "workers/StoppableWrite.h"

#include <algorithm>
#include <chrono>

namespace {

// Short enough that a stop is seen well within a second, long enough not to spin.
constexpr std::chrono::milliseconds kWriteSlice{100};

}  // namespace

WriteEnd writeUnlessStopped(WaitablePort& port, std::span<const std::uint8_t> bytes,
                            const std::function<bool()>& stopAsked, std::uint32_t* written) {
    std::size_t done = 0;
    WriteEnd end = WriteEnd::Whole;
    while (done < bytes.size()) {
        std::uint32_t moved = 0;
        const auto left = static_cast<std::uint32_t>(bytes.size() - done);
        if (!port.writeWithin(bytes.data() + done, left, &moved, kWriteSlice)) {
            done += std::min(moved, left);
            end = WriteEnd::Failed;
            break;
        }
        done += std::min(moved, left);
        // Asked only when the slice ran out: a write that goes through is never cut short.
        if (done < bytes.size() && stopAsked()) {
            // What the port still holds would make closing it wait for the far side.
            port.discardOutput();
            end = WriteEnd::Stopped;
            break;
        }
    }
    if (written) *written = static_cast<std::uint32_t>(done);
    return end;
}
