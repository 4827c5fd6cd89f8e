// One block's host work during a transfer (reading the next block of a file, checking
// and writing the last one) done beside the next exchange with the card. The card
// answers one request at a time; while it prepares block i + 1, a worker thread does
// block i's file work, so that neither waits for the other.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

#include "x9zunaifc.h"

// One job at a time: Start hands it over, Wait gives its result. The loops keep two
// block buffers, one in the worker's hands and one in the exchange's, and wait for the
// worker before they reuse its buffer or ask the card for another block, so a failure
// is seen before the block after the next is asked for.
//
// A worker thread is used only for a regular file: a pipe or a device may block
// without end, and a transfer that fails must not wait for it. Without a worker (or
// when no thread can be made) Start keeps the job and Wait runs it, so the work is
// done in the order of the loop without overlap. The worker blocks every signal: they
// reach the main thread, as they do without it.
class TransferWorker {
public:
    using Job = std::function<BlockLoopResult()>;

    explicit TransferWorker(std::FILE* stream);
    TransferWorker(const TransferWorker&) = delete;
    TransferWorker& operator=(const TransferWorker&) = delete;
    // A job still running ends first; one not yet begun is dropped.
    ~TransferWorker();

    // Hands over a job; the one before must have been waited for.
    void Start(Job job);
    // The result of the job started last (success when there is none).
    BlockLoopResult Wait();
    bool Overlaps() const { return m_thread.joinable(); }

private:
    void Run();

    enum class State { kIdle, kQueued, kDone };
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Job m_job;
    BlockLoopResult m_result;
    State m_state = State::kIdle;
    bool m_stop = false;
    std::thread m_thread;
};
