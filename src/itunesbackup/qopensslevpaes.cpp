// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/qopensslevpaes.h"

#include <QIODevice>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <memory>
#include <vector>

namespace {

const EVP_CIPHER* wrapCipherForKey(int keyBytes)
{
    switch (keyBytes) {
    case 16:
        return EVP_aes_128_wrap();
    case 24:
        return EVP_aes_192_wrap();
    case 32:
        return EVP_aes_256_wrap();
    default:
        return nullptr;
    }
}

// Writes all of len bytes or reports why not.
bool writeAll(QIODevice* out, const unsigned char* data, int len)
{
    return out->write(reinterpret_cast<const char*>(data), len) == len;
}

} // namespace

QOpenSSLEVPAES::QOpenSSLEVPAES()
    : m_ctx(EVP_CIPHER_CTX_new())
{
}

QOpenSSLEVPAES::~QOpenSSLEVPAES()
{
    EVP_CIPHER_CTX_free(m_ctx);
}

QByteArray QOpenSSLEVPAES::aeswrap(const QByteArray& key, const QByteArray& data, bool wrap)
{
    const EVP_CIPHER* cipher = wrapCipherForKey(key.size());
    // RFC 3394 works on 64-bit blocks, at least two of plain data.
    const int minSize = wrap ? 16 : 24;
    if (!cipher || data.size() % 8 != 0 || data.size() < minSize)
        return QByteArray();
    QOpenSSLEVPAES aes;
    if (!aes.m_ctx)
        return QByteArray();
    EVP_CIPHER_CTX_reset(aes.m_ctx);
    EVP_CIPHER_CTX_set_flags(aes.m_ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    if (!aes.init(cipher, key, QByteArray(), wrap))
        return QByteArray();
    QByteArray out = aes.update(data);
    if (out.isEmpty())
        return QByteArray();
    out += aes.final();
    const int expected = wrap ? data.size() + 8 : data.size() - 8;
    if (out.size() != expected) {
        OPENSSL_cleanse(out.data(), out.size());
        return QByteArray();
    }
    return out;
}

bool QOpenSSLEVPAES::init(const EVP_CIPHER* cipher, const QByteArray& key, const QByteArray& iv, bool encrypt)
{
    if (!m_ctx || !cipher) {
        m_error = QStringLiteral("QOpenSSLEVPAES::init, no cipher.");
        return false;
    }
    const int ivLength = EVP_CIPHER_get_iv_length(cipher);
    const bool ivFits = iv.isEmpty() ? (ivLength == 0 || EVP_CIPHER_get_mode(cipher) == EVP_CIPH_WRAP_MODE)
                                     : iv.size() == ivLength;
    if (key.size() != EVP_CIPHER_get_key_length(cipher) || !ivFits) {
        m_error = QStringLiteral("QOpenSSLEVPAES::init, key or IV length does not fit the cipher.");
        return false;
    }
    const auto* k = reinterpret_cast<const unsigned char*>(key.constData());
    const auto* v = iv.isEmpty() ? nullptr : reinterpret_cast<const unsigned char*>(iv.constData());
    if (EVP_CipherInit_ex(m_ctx, cipher, nullptr, k, v, encrypt ? 1 : 0) != 1) {
        m_error = QStringLiteral("QOpenSSLEVPAES::init, EVP_CipherInit_ex return false.");
        return false;
    }
    m_error.clear();
    return true;
}

qint64 QOpenSSLEVPAES::updateAll(QIODevice* in, QIODevice* out, int step, const std::function<void(qint64)>& onStep)
{
    if (step <= 0) {
        m_error = QStringLiteral("QOpenSSLEVPAES::updateAll, invalid step size.");
        return -1;
    }
    std::vector<char> inBuf(step);
    std::vector<unsigned char> outBuf(size_t(step) + 16);
    qint64 written = 0;
    qint64 consumed = 0;
    for (;;) {
        const qint64 got = in->read(inBuf.data(), step);
        if (got == 0)
            return written;
        if (got < 0) {
            m_error = QStringLiteral("QOpenSSLEVPAES::updateAll, read file error.");
            return -1;
        }
        int outLen = 0;
        if (EVP_CipherUpdate(m_ctx, outBuf.data(), &outLen, reinterpret_cast<const unsigned char*>(inBuf.data()),
                int(got))
            != 1) {
            m_error = QStringLiteral("QOpenSSLEVPAES::updateAll, EVP_CipherUpdate return false.");
            return -1;
        }
        if (outLen > 0) {
            if (!writeAll(out, outBuf.data(), outLen)) {
                m_error = QStringLiteral("QOpenSSLEVPAES::updateAll, write file error, %1").arg(out->errorString());
                return -1;
            }
            written += outLen;
        }
        consumed += got;
        if (onStep)
            onStep(consumed);
    }
}

qint64 QOpenSSLEVPAES::finalAll(QIODevice* out, int bufferSize)
{
    // The final block is at most one cipher block; a smaller buffer would be
    // overrun by OpenSSL.
    std::vector<unsigned char> buf(size_t(qMax(bufferSize, EVP_MAX_BLOCK_LENGTH)));
    int outLen = 0;
    if (EVP_CipherFinal(m_ctx, buf.data(), &outLen) != 1) {
        m_error = QStringLiteral("QOpenSSLEVPAES::finalAll, EVP_CipherFinal return false.");
        return -1;
    }
    if (outLen > 0 && !writeAll(out, buf.data(), outLen)) {
        m_error = QStringLiteral("QOpenSSLEVPAES::finalAll, write file error, %1").arg(out->errorString());
        return -1;
    }
    return outLen;
}

QByteArray QOpenSSLEVPAES::update(const QByteArray& data)
{
    QByteArray out(data.size() * 2 + EVP_MAX_BLOCK_LENGTH, Qt::Uninitialized);
    int outLen = 0;
    if (EVP_CipherUpdate(m_ctx, reinterpret_cast<unsigned char*>(out.data()), &outLen,
            reinterpret_cast<const unsigned char*>(data.constData()), data.size())
            != 1
        || outLen < 0) {
        m_error = QStringLiteral("QOpenSSLEVPAES::update, EVP_CipherUpdate return false.");
        OPENSSL_cleanse(out.data(), out.size());
        return QByteArray();
    }
    out.resize(outLen);
    return out;
}

QByteArray QOpenSSLEVPAES::final()
{
    QByteArray out(EVP_MAX_BLOCK_LENGTH, Qt::Uninitialized);
    int outLen = 0;
    if (EVP_CipherFinal_ex(m_ctx, reinterpret_cast<unsigned char*>(out.data()), &outLen) != 1) {
        m_error = QStringLiteral("QOpenSSLEVPAES::final, EVP_CipherFinal_ex return false.");
        return QByteArray();
    }
    out.resize(outLen);
    return out;
}
