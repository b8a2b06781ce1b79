// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/adb/adbkey.h"

#include "platform/adb/adbmessage.h"

#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QtEndian>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

namespace {

constexpr int kModulusWords = 2048 / 32;

[[noreturn]] void throwSsl(const char* call)
{
    const unsigned long code = ERR_get_error();
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error();
    throw AdbError(AdbErrorCode::Local,
                   QStringLiteral("%1 failed. return %2.").arg(QLatin1String(call), QLatin1String(text)));
}

struct BnDeleter { void operator()(BIGNUM* b) const { BN_free(b); } };
struct CtxDeleter { void operator()(BN_CTX* c) const { BN_CTX_free(c); } };
using Bn = std::unique_ptr<BIGNUM, BnDeleter>;

void appendWordsLE(QByteArray* out, const BIGNUM* value)
{
    unsigned char bytes[kModulusWords * 4];
    if (BN_bn2lebinpad(value, bytes, sizeof bytes) < 0)
        throwSsl("BN_bn2lebinpad");
    out->append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

// Android keeps the modulus with the Montgomery constants its verifier needs:
// n0inv = -1/n mod 2^32 and rr = (2^2048)^2 mod n.
QByteArray androidPublicKey(EVP_PKEY* key)
{
    BIGNUM* rawN = nullptr;
    BIGNUM* rawE = nullptr;
    if (!EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &rawN)
        || !EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &rawE)) {
        BN_free(rawN);
        throwSsl("EVP_PKEY_get_bn_param");
    }
    Bn n(rawN), e(rawE);
    if (BN_num_bits(n.get()) != 2048)
        throw AdbError(AdbErrorCode::Local, QStringLiteral("The ADB key is not an RSA-2048 key."));
    std::unique_ptr<BN_CTX, CtxDeleter> ctx(BN_CTX_new());
    Bn r32(BN_new()), n0(BN_new()), n0inv(BN_new()), rr(BN_new());
    if (!ctx || !r32 || !n0 || !n0inv || !rr)
        throwSsl("BN_new");
    BN_set_bit(r32.get(), 32);
    if (!BN_nnmod(n0.get(), n.get(), r32.get(), ctx.get())
        || !BN_mod_inverse(n0inv.get(), n0.get(), r32.get(), ctx.get())
        || !BN_sub(n0inv.get(), r32.get(), n0inv.get()))
        throwSsl("BN_mod_inverse");
    BN_set_bit(rr.get(), 4096);
    if (!BN_mod(rr.get(), rr.get(), n.get(), ctx.get()))
        throwSsl("BN_mod");

    QByteArray raw;
    uchar word[4];
    qToLittleEndian<quint32>(kModulusWords, word);
    raw.append(reinterpret_cast<const char*>(word), 4);
    qToLittleEndian<quint32>(static_cast<quint32>(BN_get_word(n0inv.get())), word);
    raw.append(reinterpret_cast<const char*>(word), 4);
    appendWordsLE(&raw, n.get());
    appendWordsLE(&raw, rr.get());
    qToLittleEndian<quint32>(static_cast<quint32>(BN_get_word(e.get())), word);
    raw.append(reinterpret_cast<const char*>(word), 4);

    QByteArray user = qgetenv("USER");
    if (user.isEmpty())
        user = "unknown";
    QByteArray host = QSysInfo::machineHostName().toUtf8();
    if (host.isEmpty())
        host = "unknown";
    return raw.toBase64() + ' ' + user + '@' + host + '\0';
}

EVP_PKEY* readKey(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
        throw AdbError(AdbErrorCode::Local,
                       QStringLiteral("Cannot read the ADB key %1: %2").arg(path, file.errorString()));
    const QByteArray pem = file.readAll();
    BIO* bio = BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size()));
    EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(bio);
    if (!key || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) {
        EVP_PKEY_free(key);
        ERR_clear_error();
        throw AdbError(AdbErrorCode::Local,
                       QStringLiteral("The ADB key %1 is not an RSA private key; move it away to "
                                      "create a new one.").arg(path));
    }
    return key;
}

EVP_PKEY* createKey(const QString& path)
{
    EVP_PKEY* key = EVP_RSA_gen(2048);
    if (!key)
        throwSsl("EVP_RSA_gen");
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio || !PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr)) {
        BIO_free(bio);
        EVP_PKEY_free(key);
        throwSsl("PEM_write_bio_PrivateKey");
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    const QByteArray pem(data, static_cast<int>(size));
    BIO_free(bio);

    // Created 0600 from the first byte and moved into place whole, so no
    // other user can read it and a crash never leaves half a key behind.
    const QString temp = path + QStringLiteral(".new");
    QFile::remove(temp);
    QFile file(temp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(pem) != pem.size() || !file.flush()) {
        const QString why = file.errorString();
        file.close();
        QFile::remove(temp);
        EVP_PKEY_free(key);
        throw AdbError(AdbErrorCode::Local, QStringLiteral("Cannot write the ADB key %1: %2").arg(temp, why));
    }
    file.close();
    if (!QFile::rename(temp, path)) {
        QFile::remove(temp);
        EVP_PKEY_free(key);
        throw AdbError(AdbErrorCode::Local, QStringLiteral("Cannot move the ADB key into %1.").arg(path));
    }
    return key;
}

}  // namespace

std::shared_ptr<AdbKey> AdbKey::loadOrCreate(const QString& folder)
{
    if (folder.isEmpty())
        throw AdbError(AdbErrorCode::Local, QStringLiteral("No folder was given for the ADB key."));
    if (!QDir().mkpath(folder))
        throw AdbError(AdbErrorCode::Local, QStringLiteral("Cannot create the folder %1 for the ADB key.").arg(folder));
    std::shared_ptr<AdbKey> self(new AdbKey);
    self->m_path = QDir(folder).filePath(QStringLiteral("adbkey"));
    self->m_key = QFile::exists(self->m_path) ? readKey(self->m_path) : createKey(self->m_path);
    self->m_blob = androidPublicKey(self->m_key);
    return self;
}

AdbKey::~AdbKey()
{
    EVP_PKEY_free(m_key);
}

QByteArray AdbKey::sign(const QByteArray& token) const
{
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(m_key, nullptr);
    size_t size = 0;
    QByteArray signature;
    const bool ok = ctx && EVP_PKEY_sign_init(ctx) > 0
        && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) > 0
        && EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha1()) > 0
        && EVP_PKEY_sign(ctx, nullptr, &size, reinterpret_cast<const uchar*>(token.constData()),
                         static_cast<size_t>(token.size())) > 0;
    if (ok) {
        signature.resize(static_cast<int>(size));
        if (EVP_PKEY_sign(ctx, reinterpret_cast<uchar*>(signature.data()), &size,
                          reinterpret_cast<const uchar*>(token.constData()),
                          static_cast<size_t>(token.size())) > 0) {
            signature.resize(static_cast<int>(size));
            EVP_PKEY_CTX_free(ctx);
            return signature;
        }
    }
    EVP_PKEY_CTX_free(ctx);
    throwSsl("EVP_PKEY_sign");
}
