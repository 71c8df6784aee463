#include "platform/shareWorker.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Shared by the loop and the worker thread; the thread holds it as long as it runs, so a
// worker left in a stalled call outlives its shareWorker safely.
struct shareWorker::state {
    std::mutex mutex;
    std::condition_variable wake;     // the worker: a call or the end
    std::condition_variable finished; // the caller: a call returned
    std::function<void()> call;       // the call handed over, empty once taken
    std::exception_ptr thrown;        // what the last call threw
    uint64_t handed = 0;              // calls handed over
    uint64_t returned = 0;            // calls returned
    bool stop = false;
    bool overrun = false; // the call under way has overrun its bound
    int64_t overruns = 0;
    std::thread thread;
};

namespace {

thread_local bool onWorkerThread = false;

struct route {
    QString dir;
    shareWorker* worker;
};

std::mutex& routesMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<route>& routes() {
    // Never destroyed: a call still stalled at the end of the process may look it up.
    static auto* table = new std::vector<route>();
    return *table;
}

void serve(const std::shared_ptr<shareWorker::state>& s) {
    onWorkerThread = true;
    std::unique_lock<std::mutex> lock(s->mutex);
    for (;;) {
        s->wake.wait(lock, [&] { return s->stop || s->call; });
        if (!s->call)
            return; // stopped, nothing pending
        std::function<void()> call = std::move(s->call);
        s->call = nullptr;
        lock.unlock();
        std::exception_ptr thrown;
        try {
            call();
        } catch (...) {
            thrown = std::current_exception();
        }
        call = nullptr; // its captures go on this thread, before the caller hears of it
        lock.lock();
        s->thrown = thrown;
        s->overrun = false;
        ++s->returned;
        s->finished.notify_all();
        if (s->stop)
            return;
    }
}

} // namespace

shareWorker::shareWorker(const QStringList& dirs, int boundMs)
    : m_dirs(dirs), m_boundMs(boundMs), m_state(std::make_shared<state>()) {
    std::shared_ptr<state> s = m_state;
    m_state->thread = std::thread([s] { serve(s); });
    std::lock_guard<std::mutex> lock(routesMutex());
    for (const QString& dir : m_dirs)
        routes().push_back(route{dir, this});
}

shareWorker::~shareWorker() {
    {
        std::lock_guard<std::mutex> lock(routesMutex());
        std::vector<route>& table = routes();
        for (auto it = table.begin(); it != table.end();)
            it = it->worker == this ? table.erase(it) : it + 1;
    }
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->stop = true;
    const bool busy = m_state->handed != m_state->returned;
    m_state->wake.notify_all();
    lock.unlock();
    // A thread still in a call on a share that hangs cannot be joined in any bounded time.
    if (busy)
        m_state->thread.detach();
    else
        m_state->thread.join();
}

bool shareWorker::run(std::function<void()> call) {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    if (m_state->handed != m_state->returned)
        return false;
    m_state->call = std::move(call);
    const uint64_t ticket = ++m_state->handed;
    m_state->wake.notify_all();
    const bool inTime = m_state->finished.wait_for(lock, std::chrono::milliseconds(m_boundMs),
                                                   [&] { return m_state->returned >= ticket; });
    if (!inTime) {
        m_state->overrun = true;
        ++m_state->overruns;
        return false;
    }
    if (m_state->thrown)
        std::rethrow_exception(std::exchange(m_state->thrown, nullptr));
    return true;
}

bool shareWorker::stalled() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->overrun;
}

int64_t shareWorker::stalls() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->overruns;
}

shareWorker* shareWorker::serving(const QString& path) {
    if (onWorkerThread)
        return nullptr;
    std::lock_guard<std::mutex> lock(routesMutex());
    for (const route& r : routes())
        if (path == r.dir || (path.startsWith(r.dir) && path.size() > r.dir.size() &&
                              path.at(r.dir.size()) == QLatin1Char('/')))
            return r.worker;
    return nullptr;
}
