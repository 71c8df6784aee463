#include "platform/cameraShare.h"

#include "platform/stationClock.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

// Shared by the caller and the worker thread; the thread holds it as long as it runs, so a
// worker left in a stalled call outlives its share safely.
struct cameraShare::state {
    std::mutex mutex;
    std::condition_variable wake;     // the worker: a call, a release or the end
    std::condition_variable finished; // the caller: a call returned, or is held
    std::function<void()> job;        // the call handed over, empty once taken
    shareOp jobOp = shareOp::list;
    uint64_t handed = 0;   // calls handed over
    uint64_t returned = 0; // calls returned
    bool stop = false;
    bool overrun = false; // the call under way has overrun its bound
    int64_t overruns = 0;
    std::optional<shareOp> holdOp; // a test holds the next call of this operation
    bool held = false;             // the worker is held in a call now
    std::thread thread;
};

namespace {

// The operation whose first call the next share made holds (tests).
std::optional<shareOp> g_holdInNext;

void serve(const std::shared_ptr<cameraShare::state>& s) {
    std::unique_lock<std::mutex> lock(s->mutex);
    for (;;) {
        s->wake.wait(lock, [&] { return s->stop || s->job; });
        if (!s->job)
            return; // stopped, nothing pending
        std::function<void()> job = std::move(s->job);
        s->job = nullptr;
        bool run = true;
        if (s->holdOp && *s->holdOp == s->jobOp) {
            // The server stops answering in this call: until the test lets it go, or the
            // share is torn down (the call then never happens, as one that timed out).
            s->holdOp.reset();
            s->held = true;
            s->finished.notify_all();
            s->wake.wait(lock, [&] { return !s->held || s->stop; });
            run = !s->held;
            s->held = false;
        }
        lock.unlock();
        if (run) {
            try {
                job();
            } catch (...) {
                // Only memory can run out here; the call's cell keeps "unanswered".
            }
        }
        job = nullptr; // its captures go on this thread, before the caller hears of it
        lock.lock();
        s->overrun = false;
        ++s->returned;
        s->finished.notify_all();
        if (s->stop)
            return;
    }
}

fileResult<shareListing> listOn(const fileHooks& hooks, const QString& dir,
                                const QString& pattern) {
    // Read in the same pass: what is unusable is told beside what is taken.
    shareListing listing;
    const fileResult<QStringList> names = listFiles(dir, pattern, hooks, &listing.unusable);
    if (!names)
        return names.as<shareListing>();
    listing.names = names.value;
    return fileResult<shareListing>::ok(listing);
}

fileResult<fileInfo> statOn(const fileHooks& hooks, const QString& path) {
    return statFile(path, hooks);
}

fileResult<QByteArray> readOn(const fileHooks& hooks, const QString& path,
                              const int64_t& maxBytes) {
    (void)hooks;
    return readWholeFile(path, maxBytes);
}

fileResult<> writeOn(const fileHooks& hooks, const QString& path, const QByteArray& bytes) {
    return writeNewFile(path, bytes, hooks);
}

// A change the camera computer is to see after a power cut of the station as it saw it
// before: a failed directory sync leaves only the name at risk, which no retry would make
// safer, so the change counts as done.
fileResult<> durable(const fileHooks& hooks, const fileResult<> changed, const QString& path) {
    if (changed)
        (void)syncDirectory(directoryOf(path), hooks);
    return changed;
}

fileResult<> renameOn(const fileHooks& hooks, const QString& from, const QString& to) {
    return durable(hooks, renameNoReplace(from, to, hooks), to);
}

fileResult<> moveOn(const fileHooks& hooks, const QString& from, const QString& to) {
    return moveFileNoReplace(from, to, hooks);
}

fileResult<> removeOn(const fileHooks& hooks, const QString& path) {
    return durable(hooks, removeFile(path, hooks), path);
}

} // namespace

cameraShare::cameraShare() = default;

cameraShare::cameraShare(int boundMs) : m_boundMs(boundMs), m_state(std::make_shared<state>()) {
    m_state->holdOp = g_holdInNext;
    g_holdInNext.reset();
    std::shared_ptr<state> s = m_state;
    m_state->thread = std::thread([s] { serve(s); });
}

cameraShare::~cameraShare() {
    if (!m_state)
        return;
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->stop = true;
    const bool busy = m_state->handed != m_state->returned && !m_state->held;
    m_state->wake.notify_all();
    lock.unlock();
    // A thread still in a call on a share that hangs cannot be joined in any bounded time.
    if (busy)
        m_state->thread.detach();
    else
        m_state->thread.join();
}

bool cameraShare::run(shareOp op, std::function<void()> job) {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    if (m_state->handed != m_state->returned)
        return false;
    m_state->job = std::move(job);
    m_state->jobOp = op;
    const uint64_t ticket = ++m_state->handed;
    m_state->wake.notify_all();
    // The loop's duties go on while it waits (platform/stationClock.h).
    const bool inTime = waitForAnswer(
        lock, m_state->finished, m_boundMs, [&] { return m_state->returned >= ticket; },
        [&] { return m_state->held; });
    if (!inTime) {
        m_state->overrun = true;
        ++m_state->overruns;
    }
    return inTime;
}

bool cameraShare::stalled() const {
    if (!m_state)
        return false;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->overrun;
}

int64_t cameraShare::stalls() const {
    if (!m_state)
        return 0;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->overruns;
}

void cameraShare::holdNext(shareOp op) {
    if (!m_state)
        return;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->holdOp = op;
}

void cameraShare::holdInNextShare(shareOp op) {
    g_holdInNext = op;
}

void cameraShare::release() {
    if (!m_state)
        return;
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->holdOp.reset();
    m_state->held = false;
    m_state->wake.notify_all();
    m_state->finished.wait(lock, [&] { return m_state->handed == m_state->returned; });
}

fileResult<shareListing> cameraShare::list(const QString& dir, const QString& pattern) {
    return call(shareOp::list, listOn, dir, pattern);
}

fileResult<fileInfo> cameraShare::stat(const QString& path) {
    return call(shareOp::stat, statOn, path);
}

fileResult<QByteArray> cameraShare::readWhole(const QString& path, int64_t maxBytes) {
    return call(shareOp::read, readOn, path, maxBytes);
}

fileResult<> cameraShare::writeNew(const QString& path, const QByteArray& bytes) {
    return call(shareOp::write, writeOn, path, bytes);
}

fileResult<> cameraShare::rename(const QString& from, const QString& to) {
    return call(shareOp::rename, renameOn, from, to);
}

fileResult<> cameraShare::remove(const QString& path) {
    return call(shareOp::remove, removeOn, path);
}

fileResult<> cameraShare::moveOut(const QString& from, const QString& to,
                                  cameraShare* destination) {
    // One of the two ends is the station's own disk, or both lie on one share: one call, on
    // the worker of the share that has one.
    if (!destination || destination == this || !destination->bounded())
        return call(shareOp::move, moveOn, from, to);
    if (!bounded())
        return destination->call(shareOp::move, moveOn, from, to);
    // From one share to another: every step on the worker of the share it touches, so that
    // either share hanging holds up only its own calls. The copy becomes visible under its
    // name only when whole; the source goes last.
    const fileResult<QByteArray> bytes = readWhole(from, INT64_MAX);
    if (!bytes)
        return bytes.as();
    const QString part = to + QStringLiteral(".part");
    fileResult<> step = destination->writeNew(part, bytes.value);
    if (step)
        step = destination->rename(part, to);
    if (!step) {
        (void)destination->remove(part);
        return step;
    }
    step = remove(from);
    // A source that stayed: the copy is taken back, so that the file is not taken twice. One
    // whose removal went unanswered may go late: both stay, for the caller to settle.
    if (step.failed())
        (void)destination->remove(to);
    return step;
}
