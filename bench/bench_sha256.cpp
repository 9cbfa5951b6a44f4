// Hashes 256 MiB in memory with each SHA-256 implementation this build can
// reach: korvo's Sha256 (whatever it was built on), QCryptographicHash, and
// Nettle and libgcrypt when their development files were found. Prints MB/s
// for each, the best of three passes.

#include "Sha256.h"

#include <QCryptographicHash>
#include <QElapsedTimer>

#ifdef KORVO_BENCH_NETTLE
#include <nettle/sha2.h>
#endif
#ifdef KORVO_BENCH_GCRYPT
#include <gcrypt.h>
#endif

#include <cstdio>
#include <functional>

namespace {

const int BlockSize = 1 << 20;
const int Blocks = 256;

void measure(const char* name, const std::function<QByteArray(const QByteArray&)>& run, const QByteArray& block,
             const QByteArray& expected)
{
    double best = 0;
    bool right = true;
    for (int pass = 0; pass < 3; ++pass) {
        QElapsedTimer clock;
        clock.start();
        right = right && run(block) == expected;
        const double seconds = clock.nsecsElapsed() / 1e9;
        const double rate = double(BlockSize) * Blocks / 1e6 / seconds;
        if (rate > best)
            best = rate;
    }
    std::printf("  %-28s %8.0f MB/s%s\n", name, best, right ? "" : "  WRONG DIGEST");
}

} // namespace

int main()
{
    QByteArray block(BlockSize, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char((i * 131 + (i >> 9)) & 0xff);

    QCryptographicHash reference(QCryptographicHash::Sha256);
    for (int i = 0; i < Blocks; ++i)
        reference.addData(block);
    const QByteArray expected = reference.result();

    std::printf("SHA-256 of %d MiB in memory (korvo's Sha256 uses %s):\n", Blocks,
                korvo::Sha256::implementationName());
    measure("korvo::Sha256", [](const QByteArray& data) {
        korvo::Sha256 sha;
        for (int i = 0; i < Blocks; ++i)
            sha.addData(data.constData(), data.size());
        return sha.result();
    }, block, expected);
    measure("QCryptographicHash", [](const QByteArray& data) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (int i = 0; i < Blocks; ++i)
            hash.addData(data);
        return hash.result();
    }, block, expected);
#ifdef KORVO_BENCH_NETTLE
    measure("Nettle", [](const QByteArray& data) {
        sha256_ctx context;
        sha256_init(&context);
        for (int i = 0; i < Blocks; ++i)
            sha256_update(&context, size_t(data.size()), reinterpret_cast<const uint8_t*>(data.constData()));
        QByteArray digest(SHA256_DIGEST_SIZE, Qt::Uninitialized);
        sha256_digest(&context, SHA256_DIGEST_SIZE, reinterpret_cast<uint8_t*>(digest.data()));
        return digest;
    }, block, expected);
#endif
#ifdef KORVO_BENCH_GCRYPT
    gcry_check_version(nullptr);
    measure("libgcrypt", [](const QByteArray& data) {
        gcry_md_hd_t handle;
        gcry_md_open(&handle, GCRY_MD_SHA256, 0);
        for (int i = 0; i < Blocks; ++i)
            gcry_md_write(handle, data.constData(), size_t(data.size()));
        const QByteArray digest(reinterpret_cast<const char*>(gcry_md_read(handle, GCRY_MD_SHA256)), 32);
        gcry_md_close(handle);
        return digest;
    }, block, expected);
#endif
    return 0;
}
