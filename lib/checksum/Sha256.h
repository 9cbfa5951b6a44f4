#pragma once

#include <QByteArray>

#include <memory>

namespace korvo {

// The SHA-256 digest of a stream of bytes fed in pieces. Where the build
// found OpenSSL's libcrypto it does the work (with the processor's SHA
// instructions where there are any, several times faster than a portable
// implementation); on Windows the system's CNG (BCryptHashData) does, which
// uses those instructions too; elsewhere QCryptographicHash does. One object
// belongs to one thread; separate objects may hash on separate threads.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void addData(const char* data, qint64 length);
    // The 32-byte digest of everything added; the object then starts over.
    QByteArray result();

    // The digest of one block of bytes.
    static QByteArray hash(const QByteArray& data);
    // Which implementation this build uses, for benchmarks and reports.
    static const char* implementationName();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace korvo
