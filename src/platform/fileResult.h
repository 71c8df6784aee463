// What a file operation reports: done, failed with the errno of the failure, or unanswered (a
// camera share that did not answer within its bound; the call may still finish later). Every
// file operation of the platform layer and of the camera shares returns it; an operation that
// yields something (a listing, a stamp, the bytes of a file) carries it in `value`.
#pragma once

#include <cerrno>
#include <utility>

enum class fileOutcome { done, failed, unanswered };

// The value of an operation that yields nothing.
struct noValue {};

template <class T = noValue> struct fileResult {
    fileOutcome outcome = fileOutcome::done;
    int error = 0; // the errno of a failure; ETIMEDOUT when unanswered, 0 when done
    T value{};

    static fileResult ok(T v = T()) { return fileResult{fileOutcome::done, 0, std::move(v)}; }
    static fileResult failure(int error) { return fileResult{fileOutcome::failed, error, T()}; }
    static fileResult noAnswer() { return fileResult{fileOutcome::unanswered, ETIMEDOUT, T()}; }
    // Done for 0, failed with `error` otherwise: for the system calls that report an errno.
    static fileResult fromErrno(int error) { return error == 0 ? ok() : failure(error); }

    bool done() const { return outcome == fileOutcome::done; }
    bool failed() const { return outcome == fileOutcome::failed; }
    bool unanswered() const { return outcome == fileOutcome::unanswered; }
    bool failedWith(int e) const { return failed() && error == e; }
    // `if (removeFile(p))`: done; the result never converts to a number.
    explicit operator bool() const { return done(); }

    // The same outcome without the value (or with another one).
    template <class U = noValue> fileResult<U> as(U v = U()) const {
        return fileResult<U>{outcome, error, std::move(v)};
    }
};
