// SPDX-License-Identifier: GPL-3.0-or-later
// PlistCFType: the one property-list value of the program, a handle over a
// libplist node. Copying a handle never copies the node; the node is freed
// with the last handle of an owning value, and inserting a value into a
// container hands its node over to the container.
//
// Ownership, in short:
// - create*, parsing, clone, createCFDictionaryCreateMutableCopy and
//   CFPropertyListToData give owning values; get and at give views that live
//   only as long as their container's node.
// - put, append, array_replace and the list creators hand the value's node to
//   the container; every copy of the value handle then views the node in the
//   container. A node that cannot be handed over (it already sits in a
//   container, is the container itself or one of its ancestors, or the handle
//   does not own it) is deep-copied instead, so no tree is ever corrupted.
// - Replacing an entry frees the node it held; views of it die with it.
//
// No operation throws. Failures give the null value (ref() == nullptr), the
// caller's default, an empty result or no change; callers test the result and
// report in their own words.
//
// Parsing is safe on untrusted bytes (phones, backups, files): input is
// bounded in size and checked for structure, cycles and nesting before
// libplist sees it, and anything refused gives the null value.
//
// Threads: one tree of nodes, with every handle into it, is used by one
// thread at a time.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSharedPointer>
#include <QString>

// Opaque: the time-zone overload of CFDateToDateTime ignores its argument.
struct __CFTimeZone;

class PlistCFTypePrivacy;

class PlistCFType {
public:
    // Serialisation formats, numbered as CoreFoundation numbers them. Any
    // value other than XML gives binary.
    enum CFPropertyListFormat {
        kCFPropertyListOpenStepFormat = 1,
        kCFPropertyListXMLFormat_v1_0 = 100,
        kCFPropertyListBinaryFormat_v1_0 = 200,
    };

    // Wraps a libplist node; with owned = true the value frees it with its
    // last handle. A null node gives the null value.
    explicit PlistCFType(void* node = nullptr, bool owned = false);
    PlistCFType(const PlistCFType& other);
    PlistCFType& operator=(const PlistCFType& other);
    virtual ~PlistCFType();

    // The node, lent to a library call; the value keeps ownership.
    void* ref() const;
    // CoreFoundation-style type identifier of the node's kind; 16 for null.
    quint64 typeId() const;

    bool isCFBoolean() const;
    bool isCFNumber() const; // integer or real
    bool isCFString() const; // string or dictionary key
    bool isCFArray() const;
    bool isCFDictionary() const;
    bool isCFDate() const;
    bool isCFData() const;
    bool isCFKeyedArchiverUID() const;

    // Creators: each returns a new owning value.
    static PlistCFType createCFBoolean(bool value);
    static PlistCFType createCFNumberInt8(qint8 value); // sign-extended to 64 bits
    static PlistCFType createCFNumberInt16(qint16 value);
    static PlistCFType createCFNumberInt32(qint32 value);
    static PlistCFType createCFNumberInt64(qint64 value);
    static PlistCFType createCFNumberCFIndex(qint64 value);
    static PlistCFType createCFNumberFloat(float value);
    static PlistCFType createCFNumberDouble(double value);
    // The text's UTF-8 bytes up to its first NUL character.
    static PlistCFType createCFString(const QString& text);
    static PlistCFType createCFData(const QByteArray& bytes);
    // The date's wall-clock fields are stored as UTC, so CFDateToDateTime
    // gives the same fields back in every zone. An invalid date, or one
    // outside 1932-12-13 20:45:52 .. 2069-01-19 03:14:07, gives the null value.
    static PlistCFType createCFDate(const QDateTime& dateTime);
    static PlistCFType createCFKeyedArchiverUID(qint64 value);
    static PlistCFType createCFDictionary();
    // The pairs keys[i].toString() -> values[i] up to the shorter list.
    static PlistCFType createCFDictionary(const QList<PlistCFType>& keys, const QList<PlistCFType>& values);
    // A deep copy of a dictionary; for anything else an empty dictionary.
    static PlistCFType createCFDictionaryCreateMutableCopy(const PlistCFType& source);
    static PlistCFType createCFArray();
    static PlistCFType createCFArray(const QList<PlistCFType>& items);
    // A deep copy of any value; null gives null.
    static PlistCFType clone(const PlistCFType& value);

    // Getters: integer getters read integer nodes only, real getters real
    // nodes only; anything else gives the default.
    bool CFNumberBool(bool defaultValue = false) const;
    qint8 CFNumberInt8(qint8 defaultValue = 0) const;
    qint16 CFNumberInt16(qint16 defaultValue = 0) const;
    qint32 CFNumberInt(qint32 defaultValue = 0) const;
    qint64 CFNumberInt64(qint64 defaultValue = 0) const;
    float CFNumberFloat(float defaultValue = 0) const;
    double CFNumberDouble(double defaultValue = 0) const;
    QString CFStringQString() const; // empty for anything but a string or key
    int CFStringLength() const;      // in UTF-16 code units
    QByteArray CFDataBytes() const;
    int CFDataLength() const;
    // A local-time QDateTime with the stored wall-clock fields, plus
    // offsetSeconds; invalid for anything but a date.
    QDateTime CFDateToDateTime(int offsetSeconds = 0) const;
    QDateTime CFDateToDateTime(const __CFTimeZone* ignored) const;
    QDateTime CFDateToDateTime(const QString& ignored) const;
    quint32 CFKeyedArchiverUIDGetValue() const; // low 32 bits; 0 for non-UIDs

    // Dictionaries. get gives a view; put hands the value over (see above)
    // and replaces (frees) an entry already under the key.
    quint32 dict_size() const;
    QList<PlistCFType> dict_keys() const; // owning string values, dictionary order
    PlistCFType get(const QString& key) const;
    PlistCFType get(const PlistCFType& key) const; // by key.toString()
    PlistCFType& put(const QString& key, const PlistCFType& value);
    PlistCFType& put(const PlistCFType& key, const PlistCFType& value);
    PlistCFType& dict_replace(const PlistCFType& key, const PlistCFType& value);

    // Arrays. at gives a view; append and array_replace hand the value over.
    quint32 array_size() const;
    PlistCFType at(int index) const;
    PlistCFType& append(const PlistCFType& value);
    PlistCFType& array_replace(int index, const PlistCFType& value);

    // Binary ("bplist" and more than 6 bytes) or XML; the null value for
    // anything refused. reason, when given, receives why input was refused.
    static PlistCFType createCFPropertyList(const QByteArray& bytes, QString* reason = nullptr);
    static PlistCFType createCFPropertyListFromFile(const QString& path, QString* reason = nullptr);
    QByteArray CFPropertyListToBytes(CFPropertyListFormat format) const; // empty for null
    PlistCFType CFPropertyListToData(CFPropertyListFormat format) const;

    // One-line text form: "NULL", "1", "[1, 2]", "{a : [1, 2], b : x}", ...
    QString toString() const;

    // Keyed archives.
    // The root object's entries, references followed one level deep; the
    // map views nodes of this archive and lives no longer than it.
    QHash<QString, PlistCFType> NSKeyedArchiver() const;
    // A new archive of one (mutable) dictionary; the map's values are handed
    // to the archive as put hands them over.
    static PlistCFType createNSDictionaryStringCFType(const QHash<QString, PlistCFType>& map, bool isMutable);
    // Key text to owned deep copies of the values of such an archive.
    static QHash<QString, PlistCFType> parseNSDictionaryStringCFType(const PlistCFType& archive);

    // Limits on untrusted input.
    static constexpr qint64 kMaxInputBytes = 128 * 1024 * 1024;
    static constexpr int kMaxNesting = 256;
    static constexpr qint64 kMaxNodes = 2000000;

private:
    int kind() const; // libplist node type, -1 for null
    void* adoptForInsert(const PlistCFType& value);

    QSharedPointer<PlistCFTypePrivacy> d;
    // Keeps the private parts of values inserted through this handle.
    QHash<void*, QSharedPointer<PlistCFTypePrivacy>> m_children;
};
