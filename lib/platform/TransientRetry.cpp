#include "TransientRetry.h"

#include <QThread>

#ifdef _WIN32
#include <windows.h>
#endif

namespace korvo::platform {

bool retryTransient(const std::function<bool(qint64* errorCode)>& step, qint64* errorCode,
                    const std::function<bool(qint64 errorCode)>& transient, const RetryPolicy& policy,
                    const std::function<void(int milliseconds)>& sleep)
{
    int waited = 0;
    int wait = qMax(1, policy.firstWaitMs);
    for (int attempt = 1;; ++attempt) {
        qint64 code = 0;
        if (step(&code))
            return true;
        if (errorCode)
            *errorCode = code;
        const int left = policy.totalWaitMs - waited;
        if (attempt >= policy.tries || left <= 0 || !transient || !transient(code))
            return false;
        const int now = qMin(wait, left);
        if (sleep)
            sleep(now);
        else
            QThread::msleep(ulong(now));
        waited += now;
        wait *= 2;
    }
}

bool isTransientError(qint64 errorCode)
{
#ifdef _WIN32
    return errorCode == ERROR_SHARING_VIOLATION || errorCode == ERROR_LOCK_VIOLATION
           || errorCode == ERROR_ACCESS_DENIED;
#else
    Q_UNUSED(errorCode)
    return false;
#endif
}

} // namespace korvo::platform
