#include "Sha256.h"

#ifdef KORVO_HAVE_OPENSSL
#include <openssl/evp.h>
#else
#include <QCryptographicHash>
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
