#include "Sha256.h"

#include <QCryptographicHash>

#ifdef KORVO_HAVE_OPENSSL
#include <openssl/evp.h>
#elif defined(KORVO_HAVE_CNG)
#include <windows.h>
#include <bcrypt.h>
#include <vector>
#endif

namespace korvo {

#ifdef KORVO_HAVE_OPENSSL

namespace {

// Fetched once: an implicit fetch on every start would cost more than
// hashing a small file.
const EVP_MD* sha256Method()
{
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
    static EVP_MD* const method = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return method;
#else
    return EVP_sha256();
#endif
}

} // namespace

struct Sha256::State
{
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
    void start() { EVP_DigestInit_ex(context, sha256Method(), nullptr); }
};

Sha256::Sha256() : state_(new State)
{
    state_->start();
}

void Sha256::addData(const char* data, qint64 length)
{
    EVP_DigestUpdate(state_->context, data, size_t(length));
}

QByteArray Sha256::result()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(state_->context, digest, &length);
    state_->start();
    return QByteArray(reinterpret_cast<const char*>(digest), int(length));
}

const char* Sha256::implementationName()
{
    return "OpenSSL libcrypto";
}

#elif defined(KORVO_HAVE_CNG)

namespace {

// The system's SHA-256 provider, opened once for the process (a provider
// is costly to open and may serve every thread); null when the system
// offers none, and QCryptographicHash then does the work.
BCRYPT_ALG_HANDLE sha256Provider()
{
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
            return BCRYPT_ALG_HANDLE(nullptr);
        return handle;
    }();
    return provider;
}

// The size of the memory a hash object of the provider works in.
ULONG hashObjectLength(BCRYPT_ALG_HANDLE provider)
{
    DWORD length = 0;
    ULONG written = 0;
    if (!BCRYPT_SUCCESS(BCryptGetProperty(provider, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&length),
                                          sizeof length, &written, 0)))
        return 0;
    return length;
}

} // namespace

// One CNG hash object, made again after each digest; QCryptographicHash
// where CNG could not make one.
struct Sha256::State
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<UCHAR> object;
    std::unique_ptr<QCryptographicHash> fallback;

    void start()
    {
        const BCRYPT_ALG_HANDLE provider = sha256Provider();
        if (provider && object.empty())
            object.resize(hashObjectLength(provider));
        if (provider && !object.empty() &&
            BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, object.data(), ULONG(object.size()), nullptr, 0, 0)))
            return;
        hash = nullptr;
        fallback = std::make_unique<QCryptographicHash>(QCryptographicHash::Sha256);
    }
    void finish()
    {
        if (hash)
            BCryptDestroyHash(hash);
        hash = nullptr;
    }
    ~State() { finish(); }
};

Sha256::Sha256() : state_(new State)
{
    state_->start();
}

void Sha256::addData(const char* data, qint64 length)
{
    // Both take at most a 32-bit length: feed a huge block in parts.
    const qint64 step = 1 << 30;
    for (qint64 done = 0; done < length; done += step) {
        const int part = int(qMin(step, length - done));
        if (state_->hash)
            BCryptHashData(state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data + done)), ULONG(part), 0);
        else
            state_->fallback->addData(data + done, part);
    }
}

QByteArray Sha256::result()
{
    QByteArray digest;
    if (state_->hash) {
        digest.resize(32);
        if (!BCRYPT_SUCCESS(BCryptFinishHash(state_->hash, reinterpret_cast<PUCHAR>(digest.data()), 32, 0)))
            digest.clear();
        state_->finish();
    } else {
        digest = state_->fallback->result();
        state_->fallback.reset();
    }
    state_->start();
    return digest;
}

const char* Sha256::implementationName()
{
    return sha256Provider() ? "Windows CNG (bcrypt)" : "QCryptographicHash";
}

#else

struct Sha256::State
{
    QCryptographicHash hash{QCryptographicHash::Sha256};
};

Sha256::Sha256() : state_(new State)
{
}

void Sha256::addData(const char* data, qint64 length)
{
    // QCryptographicHash takes an int length: feed a huge block in parts.
    const qint64 step = 1 << 30;
    for (qint64 done = 0; done < length; done += step)
        state_->hash.addData(data + done, int(qMin(step, length - done)));
}

QByteArray Sha256::result()
{
    const QByteArray digest = state_->hash.result();
    state_->hash.reset();
    return digest;
}

const char* Sha256::implementationName()
{
    return "QCryptographicHash";
}

#endif

Sha256::~Sha256() = default;

QByteArray Sha256::hash(const QByteArray& data)
{
    Sha256 sha;
    sha.addData(data.constData(), data.size());
    return sha.result();
}

} // namespace korvo
