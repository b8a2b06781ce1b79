// SPDX-License-Identifier: GPL-3.0-or-later
#include "itunesbackup/keybag.h"

#include "itunesbackup/itunesbackuplog.h"
#include "itunesbackup/qopensslevpaes.h"

#include <QtEndian>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <cstring>

namespace {

const QString& classKeyTags()
{
    static const QString tags = QStringLiteral("CLAS WRAP WPKY KTYP PBKY");
    return tags;
}

int readInt32(const QByteArray& value)
{
    if (value.size() < 4)
        return 0;
    return int(qFromBigEndian<quint32>(value.constData()));
}

// Clears a secret held in a QByteArray we own alone (data() would copy a
// shared one and leave the original behind).
void wipe(QByteArray& bytes)
{
    if (!bytes.isEmpty() && bytes.isDetached())
        OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

// Rounds between two asks of the cancel check: a few milliseconds of work.
constexpr int kRoundsPerSlice = 4096;

// PBKDF2 (RFC 8018) with HMAC over `digest`, asking `cancelled` every
// kRoundsPerSlice rounds, so that a count of ten million can be stopped at
// once; the result is the same as PKCS5_PBKDF2_HMAC's. Empty on an
// iteration count below 1, a failure or a cancel (*wasCancelled then true).
QByteArray pbkdf2(const char* digest, const QByteArray& password, const QByteArray& salt, int iterations, int length,
                  const KeybagCancelCheck& cancelled = {}, bool* wasCancelled = nullptr)
{
    if (wasCancelled)
        *wasCancelled = false;
    if (iterations < 1 || length < 1)
        return QByteArray();
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    EVP_MAC_CTX* ctx = mac ? EVP_MAC_CTX_new(mac) : nullptr;
    struct Release {
        EVP_MAC* mac;
        EVP_MAC_CTX*& ctx;
        ~Release()
        {
            EVP_MAC_CTX_free(ctx);
            EVP_MAC_free(mac);
        }
    } const release { mac, ctx };
    if (!ctx)
        return QByteArray();
    OSSL_PARAM params[] = { OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(digest), 0),
                            OSSL_PARAM_construct_end() };
    // An empty password is a valid key; OpenSSL wants a non-null pointer.
    static const unsigned char kNoKey = 0;
    const auto* key = password.isEmpty() ? &kNoKey : reinterpret_cast<const unsigned char*>(password.constData());
    if (EVP_MAC_init(ctx, key, size_t(password.size()), params) != 1)
        return QByteArray();
    const size_t block = EVP_MAC_CTX_get_mac_size(ctx);
    if (block == 0 || block > EVP_MAX_MD_SIZE)
        return QByteArray();

    QByteArray out(length, '\0');
    unsigned char u[EVP_MAX_MD_SIZE];
    unsigned char t[EVP_MAX_MD_SIZE];
    bool ok = true;
    for (quint32 index = 1; ok && qsizetype(index - 1) * qsizetype(block) < length; ++index) {
        const uchar number[4] = { uchar(index >> 24), uchar(index >> 16), uchar(index >> 8), uchar(index) };
        size_t written = 0;
        // The key set above is kept by every later init without a key.
        ok = EVP_MAC_init(ctx, nullptr, 0, nullptr) == 1
            && EVP_MAC_update(ctx, reinterpret_cast<const unsigned char*>(salt.constData()), size_t(salt.size())) == 1
            && EVP_MAC_update(ctx, number, sizeof number) == 1 && EVP_MAC_final(ctx, u, &written, sizeof u) == 1;
        std::memcpy(t, u, block);
        for (int round = 1; ok && round < iterations; ++round) {
            if (round % kRoundsPerSlice == 0 && cancelled && cancelled()) {
                if (wasCancelled)
                    *wasCancelled = true;
                ok = false;
                break;
            }
            ok = EVP_MAC_init(ctx, nullptr, 0, nullptr) == 1 && EVP_MAC_update(ctx, u, block) == 1
                && EVP_MAC_final(ctx, u, &written, sizeof u) == 1;
            for (size_t i = 0; i < block; ++i)
                t[i] ^= u[i];
        }
        const qsizetype at = qsizetype(index - 1) * qsizetype(block);
        std::memcpy(out.data() + at, t, size_t(std::min<qsizetype>(qsizetype(block), length - at)));
    }
    OPENSSL_cleanse(u, sizeof u);
    OPENSSL_cleanse(t, sizeof t);
    if (!ok) {
        wipe(out);
        return QByteArray();
    }
    return out;
}

// Ten times the largest count devices write: a keybag asking for more would
// keep the password check busy for hours without a chance to cancel.
constexpr int kMaxIterations = 100000000;

bool isCancelled(const KeybagCancelCheck& cancelled)
{
    return cancelled && cancelled();
}

} // namespace

int _KeybagPros::getInt32(const QString& tag) const
{
    return readInt32(value(tag));
}

bool _KeybagInfo::hasTwoStages() const
{
    return attributes.contains(QStringLiteral("DPIC")) && attributes.contains(QStringLiteral("DPSL"));
}

_KeybagInfo parseKeybag(const QByteArray& data)
{
    _KeybagInfo info;
    _KeybagPros open;
    const QString clas = QStringLiteral("CLAS");
    qsizetype pos = 0;
    while (pos < data.size()) {
        if (data.size() - pos < 8) {
            qCWarning(lcBackup) << "keybag: a fragment of" << data.size() - pos << "bytes at its end is ignored";
            break;
        }
        const QString tag = QString::fromLatin1(data.constData() + pos, 4);
        const quint32 length = qFromBigEndian<quint32>(data.constData() + pos + 4);
        pos += 8;
        if (length > quint64(data.size() - pos)) {
            qCWarning(lcBackup) << "keybag: record" << tag << "runs past the end of the data";
            break;
        }
        const QByteArray value = data.mid(pos, qsizetype(length));
        pos += qsizetype(length);

        if (tag == QLatin1String("UUID") && !info.attributes.contains(tag)) {
            info.attributes.insert(tag, value);
        } else if (tag == QLatin1String("WRAP") && !info.attributes.contains(tag)) {
            info.attributes.insert(tag, value);
        } else if (tag == QLatin1String("UUID")) {
            if (open.contains(clas))
                info.classKeys.insert(open.getInt32(clas), open);
            open = _KeybagPros();
            open.insert(tag, value);
        } else if (classKeyTags().contains(tag)) {
            open.insert(tag, value);
        } else {
            info.attributes.insert(tag, value);
        }
        if (open.contains(clas))
            info.classKeys.insert(open.getInt32(clas), open);
    }
    return info;
}

QByteArray pbkdf2Sha1(const QByteArray& password, const QByteArray& salt, int iterations, int length)
{
    return pbkdf2("SHA1", password, salt, iterations, length);
}

QByteArray pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations, int length)
{
    return pbkdf2("SHA256", password, salt, iterations, length);
}

QByteArray deriveKeybagKey(const QByteArray& password, const _KeybagInfo& info, const KeybagCancelCheck& cancelled,
    KeybagUnlock* result)
{
    KeybagUnlock dummy;
    KeybagUnlock& status = result ? *result : dummy;
    status = KeybagUnlock::Unusable;
    const QByteArray salt = info.attributes.value(QStringLiteral("SALT"));
    const int iter = readInt32(info.attributes.value(QStringLiteral("ITER")));
    const int dpic = readInt32(info.attributes.value(QStringLiteral("DPIC")));
    if (!info.attributes.contains(QStringLiteral("SALT")) || iter < 1 || iter > kMaxIterations
        || (info.hasTwoStages() && (dpic < 1 || dpic > kMaxIterations))) {
        qCWarning(lcBackup) << "keybag: no salt or an iteration count out of range" << iter << dpic;
        return QByteArray();
    }
    if (isCancelled(cancelled)) {
        status = KeybagUnlock::Cancelled;
        return QByteArray();
    }
    QByteArray key;
    bool stopped = false;
    if (info.hasTwoStages()) {
        QByteArray first = pbkdf2("SHA256", password, info.attributes.value(QStringLiteral("DPSL")), dpic, 32,
                                  cancelled, &stopped);
        if (!first.isEmpty())
            key = pbkdf2("SHA1", first, salt, iter, 32, cancelled, &stopped);
        wipe(first);
    } else {
        key = pbkdf2("SHA1", password, salt, iter, 32, cancelled, &stopped);
    }
    if (stopped)
        status = KeybagUnlock::Cancelled;
    if (key.isEmpty())
        return QByteArray();
    status = KeybagUnlock::Unlocked;
    return key;
}

KeybagUnlock unlockKeybag(const QByteArray& password, _KeybagInfo& info, const KeybagCancelCheck& cancelled)
{
    KeybagUnlock status;
    QByteArray key = deriveKeybagKey(password, info, cancelled, &status);
    if (status != KeybagUnlock::Unlocked)
        return status;
    // Work on a copy so that a wrong password leaves no half-unlocked keybag.
    QMap<int, _KeybagPros> unlocked = info.classKeys;
    for (auto it = unlocked.begin(); it != unlocked.end(); ++it) {
        _KeybagPros& rec = it.value();
        if (!rec.contains(QStringLiteral("WPKY")) || !(rec.getInt32(QStringLiteral("WRAP")) & 2))
            continue;
        if (isCancelled(cancelled)) {
            status = KeybagUnlock::Cancelled;
            break;
        }
        const QByteArray classKey = QOpenSSLEVPAES::aeswrap(key, rec.value(QStringLiteral("WPKY")), false);
        if (classKey.isEmpty()) {
            status = KeybagUnlock::WrongPassword;
            break;
        }
        rec.insert(QStringLiteral("KEY"), classKey);
    }
    wipe(key);
    if (status == KeybagUnlock::Unlocked)
        info.classKeys = unlocked;
    return status;
}

bool unlockWithPasscode(const QByteArray& password, _KeybagInfo& info)
{
    return unlockKeybag(password, info) == KeybagUnlock::Unlocked;
}

QByteArray unwrapKeyForClass(const _KeybagInfo& info, int protectionClass, const QByteArray& wrappedKey)
{
    const auto it = info.classKeys.constFind(protectionClass);
    if (it == info.classKeys.constEnd() || wrappedKey.size() != 40)
        return QByteArray();
    const QByteArray classKey = it->value(QStringLiteral("KEY"));
    if (classKey.isEmpty())
        return QByteArray();
    return QOpenSSLEVPAES::aeswrap(classKey, wrappedKey, false);
}

QByteArray unwrapManifestKey(const _KeybagInfo& info, const QByteArray& manifestKey)
{
    const QByteArray wrapped = manifestKey.mid(4);
    for (auto it = info.classKeys.constBegin(); it != info.classKeys.constEnd(); ++it) {
        const QByteArray key = unwrapKeyForClass(info, it.key(), wrapped);
        if (!key.isEmpty())
            return key;
    }
    return QByteArray();
}
