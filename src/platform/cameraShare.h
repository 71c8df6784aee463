// A camera computer's share as the station uses it: the few operations it does there (list,
// stat, read whole, write a new file, rename without replacing, move out, remove), each bounded
// in time. A call into a file system over the network cannot be interrupted from the thread
// that waits in it (a server that hangs holds it 20 to 40 s), so a share has a worker thread
// of its own and the caller waits at most the bound, measured on the station clock. A call
// that overruns it goes on alone: the share is stalled until it returns, every further call
// fails at once as unanswered meanwhile, and only one call is ever under way. A local folder
// is the same object without a worker: its calls run at once on the caller's thread.
//
// What a call that overran may still do when it returns late is the caller's to settle (see
// docs/architecture.md, "The camera shares"): each operation says below what a late return
// leaves behind.
#pragma once

#include "platform/fileOps.h"
#include "platform/fileResult.h"
#include "platform/shareFiles.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>

// The operations, for holding one of them in a test.
enum class shareOp { list, stat, read, write, rename, move, remove };

// A directory of a share as one call sees it: the files the station can take, and the entries
// matching the same pattern that it cannot take as they are (platform/shareFiles.h).
struct shareListing {
    QStringList names;
    QList<unusableEntry> unusable;
};

class cameraShare {
public:
    // A local folder: no worker, nothing bounded.
    cameraShare();
    // A share with a worker of its own; each call is waited for at most `boundMs` of the
    // station clock.
    explicit cameraShare(int boundMs);
    // An idle worker is ended and joined; one still in a call that hangs is left to finish by
    // itself (it holds everything it touches); a call held by a test is dropped unrun.
    ~cameraShare();
    cameraShare(const cameraShare&) = delete;
    cameraShare& operator=(const cameraShare&) = delete;

    // The files of `dir` matching `pattern`, and the entries it cannot take (one listFiles
    // pass). A late return changes nothing.
    fileResult<shareListing> list(const QString& dir, const QString& pattern);
    // What `path` is (failed with ENOENT when there is nothing). A late return changes nothing.
    fileResult<fileInfo> stat(const QString& path);
    // The whole regular file `path`, at most `maxBytes`. A late return changes nothing.
    fileResult<QByteArray> readWhole(const QString& path, int64_t maxBytes);
    // `bytes` as the whole content of the new file `path` (whatever had the name goes first),
    // synced. Late: the file may be there, whole, or not at all.
    fileResult<> writeNew(const QString& path, const QByteArray& bytes);
    // Renames `from` to `to` without replacing a file, and makes the change durable. Late: the
    // file may have its new name.
    fileResult<> rename(const QString& from, const QString& to);
    // Moves the file `from` on this share to `to`, never replacing a file: on the station's
    // own disk when `destination` is null, else on that share. Late: the file may be at `to`
    // and gone from `from`, or still at `from` with no copy at `to`; from another share, when
    // the removal of `from` went unanswered, it may be in both places.
    fileResult<> moveOut(const QString& from, const QString& to,
                         cameraShare* destination = nullptr);
    // Removes `path` and makes the removal durable. Late: the file may be gone.
    fileResult<> remove(const QString& path);

    // Has a worker: its calls are bounded.
    bool bounded() const { return m_state != nullptr; }
    int boundMs() const { return m_boundMs; }
    // A call has overrun its bound and not yet returned.
    bool stalled() const;
    // How many calls have overrun the bound since the share was made (a stall that came and
    // went between two looks is still counted).
    int64_t stalls() const;

    // Tests: the next call of `op` hangs on the worker, as a call into a server that stopped
    // answering does, until release(). On a simulated clock the caller gives up at once.
    void holdNext(shareOp op);
    // Lets a held call go on and waits until it has returned: its late work is done.
    void release();
    // Tests: the first call of `op` on the next share with a worker that is made is held as
    // holdNext holds it: a share whose server hangs when the station starts.
    static void holdInNextShare(shareOp op);

    struct state;

private:
    // Runs `fn` on copies of `args` with a copy of the installed file hooks: on the worker,
    // waiting at most the bound, or at once without one. `fn` is a plain function, so it can
    // reach nothing of the caller's but the copies; the result comes back in a cell of the
    // call's own, which a late return fills long after the caller has gone on.
    template <class T, class... Args>
    fileResult<T> call(shareOp op, fileResult<T> (*fn)(const fileHooks&, const Args&...),
                       const Args&... args) {
        static_assert((!std::is_pointer_v<Args> && ...),
                      "a share call takes values: a pointer would reach the caller's state");
        if (!m_state)
            return fn(fileHooks::installed(), args...);
        auto cell = std::make_shared<fileResult<T>>(fileResult<T>::noAnswer());
        auto job = [cell, fn, copies = std::make_tuple(fileHooks::installed(), args...)] {
            *cell = std::apply(fn, copies);
        };
        if (!run(op, std::move(job)))
            return fileResult<T>::noAnswer();
        return std::move(*cell);
    }
    // Hands `job` to the worker and waits for it; false when it overran the bound or an
    // earlier call has not returned.
    bool run(shareOp op, std::function<void()> job);

    int m_boundMs = 0;
    std::shared_ptr<state> m_state;
};
