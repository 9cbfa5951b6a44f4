#pragma once

#include <QtGlobal>

#include <functional>

namespace korvo::platform {

// How often and how long a step that failed for a passing reason is tried
// again: a virus scanner, the indexer or a file browser window holds an
// entry open for a moment, and Windows then refuses to move or remove it
// (a sharing violation, or access denied while a deletion is pending).
struct RetryPolicy
{
    int tries = 6;          // in all, the first one included
    int firstWaitMs = 50;   // the wait before the second try; each next one doubles
    int totalWaitMs = 2000; // never more waiting than this in all
};

// Runs `step` (true on success, else false with the system's error code)
// until it succeeds, fails for a reason `transient` does not accept, or
// the policy's tries or waiting time run out; then gives the last result
// and its error code. `sleep` waits the given milliseconds (null: the
// thread sleeps), so that a test counts the waits instead.
bool retryTransient(const std::function<bool(qint64* errorCode)>& step, qint64* errorCode,
                    const std::function<bool(qint64 errorCode)>& transient, const RetryPolicy& policy = RetryPolicy(),
                    const std::function<void(int milliseconds)>& sleep = {});

// The system's error codes that may pass by themselves: Windows' sharing
// and lock violations and access denied; none elsewhere, where a refusal
// is final.
bool isTransientError(qint64 errorCode);

} // namespace korvo::platform
