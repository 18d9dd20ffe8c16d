// The pseudo-terminal host side while the program under test has its slave closed: the share of
// a core the wait uses, which must stay near nothing rather than spin on a hung-up master.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "bench/PortWaitIdle.h"
#include "engine/PseudoTerminalPort.h"

int main() {
    PseudoTerminalPort pty;
    if (!pty.open()) {
        std::printf("no pseudo-terminal: %s\n", pty.errorText());
        return 1;
    }
    // A program's visit: it opens the slave, says something and goes.
    int program = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
    if (program < 0 || ::write(program, "hello", 5) != 5) return 1;
    ::close(program);
    char buffer[16];
    std::uint32_t n = 0;
    WaitablePort* ports[] = {&pty};
    waitForInput(ports, std::chrono::seconds(1));
    pty.readAvailable(buffer, sizeof buffer, &n);
    std::printf("the program's bytes after it closed: %u\n", n);
    printIdleWaitCpu("pseudo-terminal host side, slave closed", ports, std::chrono::seconds(5));
    return 0;
}
