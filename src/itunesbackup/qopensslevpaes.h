// SPDX-License-Identifier: GPL-3.0-or-later
// AES over OpenSSL's EVP interface: one-shot key wrap and unwrap (RFC 3394)
// and a streaming cipher that reads one device and writes another in fixed
// steps, so memory does not grow with the file.
//
// The stream steps report failure by their result (false or -1) and keep the
// reason in errorString(); callers put that text into their own exception.
// One object serves one operation on one thread.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;
typedef struct evp_cipher_st EVP_CIPHER;
typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;

class QOpenSSLEVPAES {
public:
    QOpenSSLEVPAES();
    ~QOpenSSLEVPAES();
    QOpenSSLEVPAES(const QOpenSSLEVPAES&) = delete;
    QOpenSSLEVPAES& operator=(const QOpenSSLEVPAES&) = delete;

    // Wraps (wrap = true) or unwraps data with a 16-, 24- or 32-byte key.
    // Returns empty bytes on any other key length, on data that is not a
    // whole number of 8-byte blocks, and when the unwrap integrity check
    // fails (a wrong key).
    static QByteArray aeswrap(const QByteArray& key, const QByteArray& data, bool wrap);

    // Starts the cipher. The key and IV must have the cipher's lengths
    // (an empty IV is allowed for ciphers that take none): OpenSSL reads
    // that many bytes whatever we hold.
    bool init(const EVP_CIPHER* cipher, const QByteArray& key, const QByteArray& iv, bool encrypt);

    // Ciphers everything `in` yields into `out` in steps of `step` bytes.
    // Returns the bytes written, or -1. onStep (optional) receives the
    // number of input bytes consumed so far after every step.
    qint64 updateAll(QIODevice* in, QIODevice* out, int step,
        const std::function<void(qint64)>& onStep = {});
    // Finishes: checks and strips the padding when decrypting, adds it when
    // encrypting. Returns the bytes written, or -1 (bad padding: nothing of
    // the last block is written).
    qint64 finalAll(QIODevice* out, int bufferSize);

    // In-memory counterparts; an empty result with a non-empty errorString
    // means failure.
    QByteArray update(const QByteArray& data);
    QByteArray final();

    const QString& errorString() const { return m_error; }

private:
    EVP_CIPHER_CTX* m_ctx;
    QString m_error;
};
