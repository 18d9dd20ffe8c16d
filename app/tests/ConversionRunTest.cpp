// The window's conversion run and a Cancel that meets the conversion's last check from either
// side: before it the conversion stops; after it the output is in place and the run says so.
#include <gtest/gtest.h>

#include <future>

#include "app/ConversionRun.h"

TEST(ConversionRun, ACancelAfterTheLastCheckIsToldApart) {
    for (const bool cancelFirst : {true, false}) {
        SCOPED_TRACE(cancelFirst ? "cancel before the last check" : "cancel after it");
        std::promise<void> cancelled, checked;
        std::shared_future<void> cancelDone = cancelled.get_future().share();
        std::future<void> checkDone = checked.get_future();
        ConversionRun run([&](const ConversionProgress& progress) {
            if (cancelFirst) cancelDone.wait();
            const bool goOn = progress(100, 100);  // the last check: the output is whole
            checked.set_value();
            if (!cancelFirst) cancelDone.wait();
            return goOn;  // true: the output was put in place
        });
        if (!cancelFirst) checkDone.wait();
        run.cancel();
        cancelled.set_value();
        run.finish();
        EXPECT_EQ(run.cancelCameTooLate(), !cancelFirst);
        EXPECT_EQ(run.done(), 100u);
    }
}
