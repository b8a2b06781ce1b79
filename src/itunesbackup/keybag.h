// SPDX-License-Identifier: GPL-3.0-or-later
// The keybag of an encrypted backup: a stream of tag/length/value records
// holding the keybag-wide attributes and one record per protection class
// with that class's wrapped key. Unlocking derives the password key and
// unwraps the class keys; a file's own key is then unwrapped with the key
// of its class.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <functional>

// One class-key record: "UUID", "CLAS", "WRAP", "WPKY", "KTYP", "PBKY" as
// read, and "KEY" (the unwrapped class key) once unlocked.
struct _KeybagPros : QMap<QString, QByteArray> {
    // The tag's first 4 bytes as a big-endian signed integer; 0 when the
    // tag is missing or shorter.
    int getInt32(const QString& tag) const;
};

struct _KeybagInfo {
    QMap<QString, QByteArray> attributes;
    QMap<int, _KeybagPros> classKeys; // by protection class, ascending

    // True when the keybag carries both "DPIC" and "DPSL": the password key
    // then takes a SHA-256 stage before the SHA-1 one, and the backup's
    // Manifest.db is itself encrypted.
    bool hasTwoStages() const;
};

// Reads a keybag. Never fails: a record whose header or value runs past
// the end of the data ends the parse, and what was read before it stays.
_KeybagInfo parseKeybag(const QByteArray& data);

enum class KeybagUnlock {
    Unlocked,
    WrongPassword, // a password-wrapped class key failed its integrity check
    Unusable,      // no salt, an iteration count below 1 or above 10^8, or the derivation failed
    Cancelled,
};

// Asked every few thousand rounds of the password key derivation and before
// every unwrap; true stops within milliseconds. A realistic "DPIC" (ten
// million rounds) still takes seconds: call this on a worker thread.
using KeybagCancelCheck = std::function<bool()>;

// Derives the password key and unwraps every class key wrapped with it
// (the password test). `info` changes only on Unlocked: each such class
// record then holds its "KEY".
KeybagUnlock unlockKeybag(const QByteArray& password, _KeybagInfo& info, const KeybagCancelCheck& cancelled = {});

// unlockKeybag() == Unlocked; false is read by callers as a wrong password.
bool unlockWithPasscode(const QByteArray& password, _KeybagInfo& info);

// Unwraps a 40-byte wrapped file key with the key of protection class
// `protectionClass`. Empty when the class is unknown or was not unlocked,
// the wrapped key is not 40 bytes, or the unwrap fails.
QByteArray unwrapKeyForClass(const _KeybagInfo& info, int protectionClass, const QByteArray& wrappedKey);

// The key of the encrypted Manifest.db: the stored Manifest key (4 bytes of
// class, then the wrapped key) unwrapped with each class key in ascending
// class order until one fits. Empty when none does.
QByteArray unwrapManifestKey(const _KeybagInfo& info, const QByteArray& manifestKey);

// PBKDF2 over OpenSSL; empty on an iteration count below 1 or a failure.
QByteArray pbkdf2Sha1(const QByteArray& password, const QByteArray& salt, int iterations, int length);
QByteArray pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int iterations, int length);

// The 32-byte password key of the keybag (one or two stages), or empty when
// unusable or cancelled (*result then says which).
QByteArray deriveKeybagKey(const QByteArray& password, const _KeybagInfo& info,
    const KeybagCancelCheck& cancelled = {}, KeybagUnlock* result = nullptr);
