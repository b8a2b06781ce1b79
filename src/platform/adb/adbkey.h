// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

typedef struct evp_pkey_st EVP_PKEY;

// The computer's RSA-2048 key that a phone remembers once the user allows
// debugging. It is created once and kept as "adbkey" (PEM, mode 0600) in the
// folder the caller names; a later run loads it, so the phone asks only once.
class AdbKey {
public:
    // Loads the key from folder, or creates it there when the file is missing.
    // Throws AdbError(Local) when the folder cannot be written or the file is
    // not a private key.
    static std::shared_ptr<AdbKey> loadOrCreate(const QString& folder);
    ~AdbKey();
    AdbKey(const AdbKey&) = delete;
    AdbKey& operator=(const AdbKey&) = delete;

    // Signs the 20-byte token of an AUTH message (PKCS#1 v1.5, the token
    // taken as a SHA-1 digest). Throws AdbError(Local) when OpenSSL fails.
    QByteArray sign(const QByteArray& token) const;
    // The public key as the phone stores it: base64 of the RSAPublicKey
    // structure, a space, "user@host" and a NUL.
    QByteArray publicKeyBlob() const { return m_blob; }
    QString path() const { return m_path; }

private:
    AdbKey() = default;
    EVP_PKEY* m_key = nullptr;
    QByteArray m_blob;
    QString m_path;
};
