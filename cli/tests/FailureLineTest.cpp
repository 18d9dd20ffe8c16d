// Every kind of failure through the command line's one wording: each names what failed and
// gives the reason, no two kinds read alike, and no line breaks in it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "cli/FailureLine.h"

TEST(FailureLine, EveryKindNamesItsSubjectAndReasonInOneLineOfItsOwn) {
    std::set<std::string> lines;
    const auto last = static_cast<int>(Failure::kLastKind);
    for (int number = 1; number <= last; ++number) {
        const auto kind = static_cast<Failure::Kind>(number);
        Failure failure = fileFailure(kind, "in.ser", cLibraryError(ENOENT));
        const std::string line = failureLine(failure);
        SCOPED_TRACE(line);
        EXPECT_TRUE(line.rfind("cannot ", 0) == 0 || line.rfind("port ", 0) == 0);
        EXPECT_NE(line.find(" in.ser"), std::string::npos);
        EXPECT_EQ(line.substr(line.size() - std::strlen(std::strerror(ENOENT)) - 2),
                  std::string(": ") + std::strerror(ENOENT));
        EXPECT_EQ(line.find('\n'), std::string::npos);
        lines.insert(line);
        // A port's own words stand in for the number; no reason at all leaves the line short.
        failure.detail = "CommMask:0x00000008 :FRAME";
        EXPECT_NE(failureLine(failure).find(": CommMask:0x00000008 :FRAME"), std::string::npos);
        EXPECT_EQ(failureLine(fileFailure(kind, "in.ser", {})).find(':'), std::string::npos);
    }
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(last));
    EXPECT_EQ(failureLine({}), "");
}
