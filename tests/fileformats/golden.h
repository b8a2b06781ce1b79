// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Golden-file cases: an input file and a reference file per case under
// tests/fileformats/data/<direction>/. Contacts are written as text, one line
// per contact ("contact <full name>") and one per entity ("  <type>
// data1=...; data2=#2"): "#" marks a number, "@" a date, "%" bytes in hex;
// a backslash escapes line breaks, tabs, itself and a leading marker. With
// MARROWLINK_UPDATE_GOLDEN=1 a mismatch rewrites the reference file instead
// of failing; every rewritten file is reviewed by eye before it is committed.

#include "storedtext.h"

#include "fileformats/absimport.h"
#include "fileformats/importcontactstolocalthread.h"
#include "model/contact.h"
#include "model/localdbcombinerule.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

#include <exception>

namespace golden {

// One data row per file of the folder with this suffix, named after the file.
inline void addRows(const char* direction, const QString& suffix)
{
    QTest::addColumn<QString>("input");
    const QDir dir(qEnvironmentVariable("MARROWLINK_SOURCE_DIR") + QLatin1String("/tests/fileformats/data/")
        + QLatin1String(direction));
    const QStringList names = dir.entryList({ QLatin1Char('*') + suffix }, QDir::Files, QDir::Name);
    QVERIFY2(!names.isEmpty(), qPrintable(dir.path()));
    for (const QString& name : names)
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}

inline const QStringList& typeNames()
{
    static const QStringList names { "?",     "name", "photo", "phone", "email", "nickname", "event",
                                     "group", "im",   "notes", "org",   "rel",   "addr",     "url" };
    return names;
}

inline QString escape(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    out.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\t'), QLatin1String("\\t"));
    if (!out.isEmpty() && QStringLiteral("#@%").contains(out.at(0)))
        out.prepend(QLatin1Char('\\'));
    return out;
}

inline QString unescape(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            c = text.at(++i);
            c = c == QLatin1Char('n') ? QChar('\n') : c == QLatin1Char('r') ? QChar('\r') : c == QLatin1Char('t') ? QChar('\t') : c;
        }
        out += c;
    }
    return out;
}

inline QString valueText(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QLatin1Char('#') + v.toString();
    case QMetaType::QByteArray:
        return QLatin1Char('%') + QString::fromLatin1(v.toByteArray().toHex());
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return QLatin1Char('@') + pim::fieldText(v);
    default:
        return escape(pim::fieldText(v));
    }
}

inline QVariant valueOf(const QString& text)
{
    if (text.startsWith(QLatin1Char('#')))
        return text.mid(1).toInt();
    if (text.startsWith(QLatin1Char('%')))
        return QByteArray::fromHex(text.mid(1).toLatin1());
    if (text.startsWith(QLatin1Char('@')))
        return QDateTime::fromString(text.mid(1), Qt::ISODate);
    return unescape(text);
}

inline QStringList dumpContact(const pim::_Contact& c)
{
    QStringList out { QStringLiteral("contact ") + escape(c.fullName) };
    for (auto it = c.entities.cbegin(); it != c.entities.cend(); ++it) {
        const QString type = pim::isValidEntityType(it.key()) ? typeNames().at(it.key()) : QString::number(it.key());
        for (const pim::Entity& e : it.value()) {
            QStringList fields;
            for (auto f = e.fields.cbegin(); f != e.fields.cend(); ++f)
                fields << f.key() + QLatin1Char('=') + valueText(f.value());
            out << (QLatin1String("  ") + type + (fields.isEmpty() ? QString() : QLatin1Char(' ') + fields.join("; ")));
        }
    }
    return out;
}

inline QList<pim::_Contact> parseContacts(const QString& text)
{
    static const QRegularExpression fieldBreak(QStringLiteral("; (?=\\w+=)"));
    QList<pim::_Contact> out;
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("contact"))) {
            out.append(pim::_Contact());
            out.last().fullName = unescape(line.mid(8));
            continue;
        }
        const QString body = line.trimmed();
        const qsizetype blank = body.indexOf(QLatin1Char(' '));
        const QString type = body.left(blank);
        const int code = typeNames().contains(type) ? int(typeNames().indexOf(type)) : type.toInt();
        pim::Entity e;
        if (blank > 0) {
            for (const QString& field : body.mid(blank + 1).split(fieldBreak)) {
                const qsizetype eq = field.indexOf(QLatin1Char('='));
                e.fields.insert(field.left(eq), valueOf(field.mid(eq + 1)));
            }
        }
        out.last().entities[code].append(e);
    }
    return out;
}

// What a reader makes of a file: its count, its contacts and what it skipped,
// or the error it threw.
inline QByteArray dumpImport(AbsImport& reader, const QString& path)
{
    QStringList out;
    try {
        reader.initialize(path);
        out << QStringLiteral("total %1").arg(reader.total());
        int named = 0;
        // What the merge into a local database leaves out, as the import
        // tells it after what the reader told.
        LocalDbCombineRule rule;
        ImportProblems merging;
        while (reader.hasNext()) {
            const pim::_Contact contact = reader.nextContact();
            // Every golden proves the rule of every reader.
            const QString control = storedtext::controlCharacterIn(contact);
            if (!control.isEmpty())
                QTest::qFail(qPrintable(path + QLatin1String(": stored text holds a control character: ") + control),
                             __FILE__, __LINE__);
            named += contact.fullName.isEmpty() ? 0 : 1;
            if (!contact.fullName.isEmpty())
                ImportContactsToLocalThread::noteOneKept(contact, rule, merging);
            out << dumpContact(contact);
        }
        reader.uninitialize();
        out << QStringLiteral("skipped lines %1").arg(reader.skippedCount());
        ImportProblems problems = reader.problems();
        for (const QString& text : merging.listed())
            problems.add(text);
        // The import's final message, as if every named contact were new,
        // in the words of the format of the folder.
        const auto format = path.endsWith(QLatin1String(".vcf")) ? ImportContactsToLocalThread::TYPE_VCARD
                                                                 : ImportContactsToLocalThread::TYPE_CSV;
        const auto outcome = ImportContactsToLocalThread::outcome(named, 0, reader.total(),
                                                                  QFileInfo(path).size() == 0, problems, format);
        out << (outcome.isError ? QStringLiteral("error message ") : QStringLiteral("message "))
                + escape(outcome.text);
    } catch (const std::exception& e) {
        out << QStringLiteral("error ") + QString::fromUtf8(e.what());
    }
    return out.join(QLatin1Char('\n')).toUtf8() + '\n';
}

// Compares actual line by line with the reference file of an input
// (name.vcf -> name.expected), naming the first differing line.
// MARROWLINK_UPDATE_GOLDEN=1 rewrites the file instead.
inline void compareWithReference(const QByteArray& actual, const QString& input)
{
    const QString path = input.left(input.lastIndexOf(QLatin1Char('.'))) + QLatin1String(".expected");
    QFile file(path);
    const QByteArray expected = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (actual != expected && qEnvironmentVariableIntValue("MARROWLINK_UPDATE_GOLDEN") == 1) {
        QFile out(path);
        QVERIFY2(out.open(QIODevice::WriteOnly) && out.write(actual) == actual.size(), qPrintable(path));
        return;
    }
    const QList<QByteArray> want = expected.split('\n'), got = actual.split('\n');
    for (qsizetype line = 0; line < qMax(want.size(), got.size()); ++line) {
        QVERIFY2(got.value(line) == want.value(line),
            qPrintable(QStringLiteral("%1:%2\n   expected: %3\n   actual:   %4")
                           .arg(path)
                           .arg(line + 1)
                           .arg(QString::fromUtf8(want.value(line)), QString::fromUtf8(got.value(line)))));
    }
}

} // namespace golden
