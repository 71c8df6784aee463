// One camera's share served by a thread of its own, so that a share that stops answering holds
// the loop for a bounded time only. A call into a file system over the network cannot be
// interrupted from the thread that waits in it: a server that hangs keeps it 20 to 40 s. So
// the file operations on a path under a registered share directory run on that share's
// worker (fileOps routes them there by path), and the loop waits at most the bound for each.
// A call that overruns it goes on alone; the share is "stalled" until it returns, and every
// further operation on the share fails at once with ETIMEDOUT meanwhile. The layers above see
// a stalled share as one that is away, within the bound.
//
// A call runs on copies of its arguments and leaves its result in a cell of its own, never in
// the caller's variables: once the caller has stopped waiting, nothing of the caller is
// touched. Only one call is ever under way per share, so a late call can never overlap another
// one on the same share.
#pragma once

#include <QString>
#include <QStringList>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <memory>

class shareWorker {
public:
    // Serves every path under the directories `dirs` (absolute, without a final "/") with one
    // thread; each call is waited for at most `boundMs`.
    shareWorker(const QStringList& dirs, int boundMs);
    // Leaves the routing first. An idle worker is ended and joined; one still in a stalled
    // call is left to finish by itself (it owns everything it touches).
    ~shareWorker();
    shareWorker(const shareWorker&) = delete;
    shareWorker& operator=(const shareWorker&) = delete;

    // Runs `call` on the worker and waits for it at most the bound. True when it returned in
    // time (an exception it threw is thrown here); false at once while an earlier call has not
    // returned, or when this one overruns the bound.
    bool run(std::function<void()> call);

    // A call has overrun its bound and not yet returned.
    bool stalled() const;
    // How many calls have overrun the bound since the worker began (a stall that came and went
    // between two looks of the loop is still counted).
    int64_t stalls() const;
    int boundMs() const { return m_boundMs; }
    const QStringList& directories() const { return m_dirs; }

    // The worker that serves `path`, null when none does. On a worker's own thread always
    // null: a call that uses other file operations runs them there directly.
    static shareWorker* serving(const QString& path);

    struct state;

private:
    QStringList m_dirs;
    int m_boundMs;
    std::shared_ptr<state> m_state;
};

// Runs `op` (which must hold copies of what it uses) on the worker of the share that `path`,
// else `other`, lies on, and at once where neither lies on one. Returns what `op` returned,
// with its errno; `stalledResult` with errno ETIMEDOUT when the share is stalled or `op`
// overruns the bound.
template <class T, class Op>
T shareCall(const QString& path, const QString& other, T stalledResult, Op op) {
    shareWorker* worker = shareWorker::serving(path);
    if (!worker && !other.isEmpty())
        worker = shareWorker::serving(other);
    if (!worker)
        return op();
    struct outcome {
        T value;
        int error;
    };
    // The call's own cell: a call that overruns its bound fills it when the caller has long
    // gone on.
    auto cell = std::make_shared<outcome>(outcome{stalledResult, 0});
    if (!worker->run([cell, op] {
            cell->value = op();
            cell->error = errno;
        })) {
        errno = ETIMEDOUT;
        return stalledResult;
    }
    errno = cell->error;
    return cell->value;
}
