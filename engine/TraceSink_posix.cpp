#include <cstdio>

#include "engine/TraceSink.h"

namespace {

// Without a debugger channel the trace goes to standard error, where a developer running the
// portable code by hand can see it.
class StandardErrorSink : public TraceSink {
public:
    void write(const char* text) override {
        std::fputs(text, stderr);
    }
};

}  // namespace

TraceSink& systemTraceSink() {
    static StandardErrorSink sink;
    return sink;
}
