#pragma once

#include "ChecksumManifest.h"

#include <QElapsedTimer>
#include <QString>

namespace korvo::cli {

// The progress line while files are hashed: what is being done and the
// share read so far, on stderr four times a second, only when stderr is a
// terminal. The line is removed when the object goes.
class ChecksumProgress
{
public:
    explicit ChecksumProgress(const QString& what);
    ~ChecksumProgress();
    ChecksumProgress(const ChecksumProgress&) = delete;
    ChecksumProgress& operator=(const ChecksumProgress&) = delete;

    // The callback to hand to the hashing.
    ChecksumManifest::Progress callback();

private:
    void add(qint64 bytes, qint64 total);

    QString what_;
    bool terminal_;
    qint64 done_ = 0;
    QElapsedTimer clock_;
    qint64 nextReport_ = 250;
};

} // namespace korvo::cli
