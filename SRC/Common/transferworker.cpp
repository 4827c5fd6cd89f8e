// The worker beside a transfer's exchanges: see transferworker.h.
#include "transferworker.h"

#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>

#include <system_error>
#include <utility>

TransferWorker::TransferWorker(std::FILE* stream)
{
    struct stat info {};
    if (stream == nullptr || ::fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) return;
    sigset_t all{};
    sigset_t old{};
    sigfillset(&all);
    if (pthread_sigmask(SIG_SETMASK, &all, &old) != 0) return;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        // No thread: the work is done in the loop's own thread.
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

TransferWorker::~TransferWorker()
{
    if (!m_thread.joinable()) return;
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void TransferWorker::Start(Job job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_job = std::move(job);
        m_state = State::kQueued;
    }
    m_changed.notify_all();
}

BlockLoopResult TransferWorker::Wait()
{
    std::unique_lock lock(m_mutex);
    if (m_state == State::kIdle) return {};
    if (!m_thread.joinable()) {
        // No worker: the job runs now, in the loop's thread.
        m_state = State::kIdle;
        const Job job = std::move(m_job);
        lock.unlock();
        return job();
    }
    m_changed.wait(lock, [this] { return m_state == State::kDone; });
    m_state = State::kIdle;
    return m_result;
}

void TransferWorker::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || m_state == State::kQueued; });
        if (m_stop) return;
        const Job job = std::move(m_job);
        lock.unlock();
        const BlockLoopResult result = job();
        lock.lock();
        m_result = result;
        m_state = State::kDone;
        m_changed.notify_all();
    }
}
