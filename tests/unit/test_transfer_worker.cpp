// The worker beside a transfer's exchanges: on its own thread, with every signal
// blocked, for a regular file; for a pipe the job waits for Wait and runs there.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "transferworker.h"

namespace {

struct Seen {
    std::thread::id thread;
    bool blocksSignals = false;
};

TransferWorker::Job Record(Seen& seen)
{
    return [&seen] {
        seen.thread = std::this_thread::get_id();
        sigset_t mask{};
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        seen.blocksSignals = sigismember(&mask, SIGINT) == 1 && sigismember(&mask, SIGPIPE) == 1;
        return BlockLoopResult{ZUNA_E_SPACE, true};
    };
}

TEST(TransferWorker, RegularFilesOverlapPipesWaitTheirTurn)
{
    std::FILE* file = std::tmpfile();
    ASSERT_NE(nullptr, file);
    Seen seen;
    {
        TransferWorker worker(file);
        EXPECT_TRUE(worker.Overlaps());
        worker.Start(Record(seen));
        const BlockLoopResult result = worker.Wait();
        EXPECT_EQ(ZUNA_E_SPACE, result.status);
        EXPECT_TRUE(result.hostFile);
        EXPECT_NE(std::this_thread::get_id(), seen.thread);
        EXPECT_TRUE(seen.blocksSignals);
        EXPECT_EQ(ZUNA_E_SUCCESS, worker.Wait().status) << "nothing started since";
    }
    std::fclose(file);

    int fds[2];
    ASSERT_EQ(0, ::pipe(fds));
    std::FILE* pipe = ::fdopen(fds[0], "r");
    seen = {};
    TransferWorker inLine(pipe);
    EXPECT_FALSE(inLine.Overlaps());
    inLine.Start(Record(seen));
    EXPECT_EQ(std::thread::id{}, seen.thread) << "not before Wait";
    EXPECT_EQ(ZUNA_E_SPACE, inLine.Wait().status);
    EXPECT_EQ(std::this_thread::get_id(), seen.thread);
    std::fclose(pipe);
    ::close(fds[1]);
}

}  // namespace
