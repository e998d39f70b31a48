// Stop requests reach the event loop as a signal; once the watcher is gone, the server
// is already on its way out and a repeated request leaves it alone.
#include "signalwatcher.h"

#include <QSignalSpy>
#include <csignal>
#include <gtest/gtest.h>

namespace qor {
namespace {

TEST(SignalWatcher, ReportsStopRequestsAndIgnoresThemOnceGone)
{
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        {
            SignalWatcher watcher;
            QSignalSpy requested(&watcher, &SignalWatcher::stopRequested);
            ASSERT_EQ(::raise(signalNumber), 0);
            ASSERT_TRUE(requested.wait(10000));
            EXPECT_EQ(requested.first().first().toInt(), signalNumber);
        }
        // With the default action this would end the test run.
        ASSERT_EQ(::raise(signalNumber), 0);
        struct sigaction current = {};
        ::sigaction(signalNumber, nullptr, &current);
        EXPECT_EQ(current.sa_handler, SIG_IGN);
        ::signal(signalNumber, SIG_DFL);
    }
}

} // namespace
} // namespace qor
