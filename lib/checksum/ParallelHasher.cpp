#include "ParallelHasher.h"

#include "FileHasher.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <memory>
#include <vector>

namespace korvo::ParallelHasher {

namespace {

// What the hashing threads and the collecting thread share.
struct Shared
{
    explicit Shared(int count) : outcomes(count), ready(count, false) {}

    QMutex lock;
    QWaitCondition changed;
    // Guarded by `lock`: finished outcomes, and bytes read but not yet told.
    QVector<FileDigest> outcomes;
    std::vector<bool> ready;
    qint64 unreported = 0;

    std::atomic<int> next{0};
    std::atomic<bool> stop{false};
};

// One hashing thread: takes the next file of the list until none is left or
// the collector stopped.
void hashNext(const NativePath& folder, const QVector<QByteArray>& paths, Shared& shared)
{
    FileHasher hasher([&shared](qint64 bytes) {
        QMutexLocker locker(&shared.lock);
        shared.unreported += bytes;
        shared.changed.wakeAll();
    });
    for (;;) {
        const int index = shared.next.fetch_add(1);
        if (index >= paths.size() || shared.stop.load())
            return;
        FileDigest outcome;
        outcome.result = hasher.hash(folder, paths.at(index), outcome.digest, &outcome.errorString);
        QMutexLocker locker(&shared.lock);
        shared.outcomes[index] = std::move(outcome);
        shared.ready[size_t(index)] = true;
        shared.changed.wakeAll();
    }
}

// Passes progress and the outcomes in list order until all are passed or
// the consumer stops.
void collect(Shared& shared, int count, const Progress& progress, const Consumer& consumer)
{
    QMutexLocker locker(&shared.lock);
    for (int passed = 0; passed < count;) {
        while (shared.unreported == 0 && !shared.ready[size_t(passed)])
            shared.changed.wait(&shared.lock);
        const qint64 bytes = shared.unreported;
        shared.unreported = 0;
        if (bytes > 0 && progress) {
            locker.unlock();
            progress(bytes);
            locker.relock();
        }
        while (passed < count && shared.ready[size_t(passed)]) {
            const FileDigest outcome = std::move(shared.outcomes[passed]);
            locker.unlock();
            const bool goOn = consumer(passed, outcome);
            locker.relock();
            ++passed;
            if (!goOn) {
                shared.stop.store(true);
                return;
            }
        }
    }
    // Bytes added while the last outcomes were passed: every file's bytes
    // are counted before its outcome, so this completes the total.
    const qint64 rest = shared.unreported;
    shared.unreported = 0;
    if (rest > 0 && progress) {
        locker.unlock();
        progress(rest);
    }
}

} // namespace

void hashFiles(const NativePath& folder, const QVector<QByteArray>& paths, const Progress& progress,
               const Consumer& consumer, int threads)
{
    const int count = paths.size();
    if (count == 0)
        return;
    if (threads <= 0)
        threads = QThread::idealThreadCount();
    threads = qBound(1, threads, count);
    Shared shared(count);
    std::vector<std::unique_ptr<QThread>> pool;
    for (int i = 0; i < threads; ++i) {
        pool.emplace_back(QThread::create([&folder, &paths, &shared] { hashNext(folder, paths, shared); }));
        pool.back()->start();
    }
    collect(shared, count, progress, consumer);
    for (const auto& thread : pool)
        thread->wait();
}

} // namespace korvo::ParallelHasher
