#include <windows.h>

#include <algorithm>

#include "engine/WaitablePort.h"

std::vector<PortInput> waitForInput(std::span<WaitablePort* const> ports,
                                    std::chrono::milliseconds timeout) {
    std::vector<PortInput> states(ports.size(), PortInput::None);
    if (ports.size() > MAXIMUM_WAIT_OBJECTS) {
        return std::vector<PortInput>(ports.size(), PortInput::Failed);
    }

    // A port with nothing to watch for now shortens the wait to when it wants another look.
    std::vector<HANDLE> objects;
    std::vector<std::size_t> owners;
    bool known = false;
    bool away = false;
    std::chrono::milliseconds longest = timeout;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const WaitablePort::WaitStart start = ports[i]->startWait();
        states[i] = start.known;
        if (start.known != PortInput::None) {
            known = true;
            continue;
        }
        if (start.lookAgainWithin.count() >= 0) {
            away = true;
            if (longest.count() < 0 || start.lookAgainWithin < longest)
                longest = start.lookAgainWithin;
            continue;
        }
        objects.push_back(reinterpret_cast<HANDLE>(start.object));
        owners.push_back(i);
    }

    // A port that already has something to tell ends the wait at once; the others are still
    // looked at, so that one answer tells every port that is ready.
    DWORD limit = INFINITE;
    if (known) {
        limit = 0;
    } else if (longest.count() >= 0) {
        limit = static_cast<DWORD>(std::min<long long>(longest.count(), INFINITE - 1));
    }
    if (objects.empty()) {
        // Only ports that are away: the wait is a pause until one wants another look.
        if (away && limit != INFINITE) Sleep(limit);
        return states;
    }
    const DWORD result =
        WaitForMultipleObjects(static_cast<DWORD>(objects.size()), objects.data(), FALSE, limit);
    if (result == WAIT_TIMEOUT) return states;
    if (result == WAIT_FAILED) return std::vector<PortInput>(ports.size(), PortInput::Failed);
    // WaitForMultipleObjects names only the first object signalled. The others are not asked
    // again: under Wine each asking is a round trip to its server, on a byte's way. A port that
    // can tell its own state without the system (a serial port's finished read) still tells it;
    // one that cannot is told nothing and, its object being signalled, ends the next wait at once.
    const bool named = result - WAIT_OBJECT_0 < objects.size();
    for (std::size_t k = 0; k < objects.size(); ++k) {
        const bool signalled = named ? k == result - WAIT_OBJECT_0
                                     : WaitForSingleObject(objects[k], 0) == WAIT_OBJECT_0;
        states[owners[k]] = ports[owners[k]]->finishWait(signalled ? 1 : 0);
    }
    return states;
}
