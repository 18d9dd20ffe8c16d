#include <windows.h>

#include "engine/TraceSink.h"

namespace {

class DebuggerOutputSink : public TraceSink {
public:
    void write(const char* text) override { OutputDebugStringA(text); }
};

}  // namespace

TraceSink& systemTraceSink() {
    static DebuggerOutputSink sink;
    return sink;
}
