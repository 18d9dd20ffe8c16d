#pragma once

// Where debug-trace text goes: the system debugger output on Windows, a recorder in tests.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void write(const char* text) = 0;
};

// The platform's debugger output (OutputDebugStringA on Windows).
TraceSink& systemTraceSink();
