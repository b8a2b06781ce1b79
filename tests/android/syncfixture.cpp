// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncfixture.h"

#include "android/syncrestorethread.h"
#include "common/sqlprobe.h"
#include "model/localdbcombinerule.h"

#include <QJsonObject>
#include <QSet>
#include <QTest>

QJsonArray phoneContact(const QString& given, const QString& family, const QStringList& numbers)
{
    const auto text = [](const QString& t) { return QJsonObject { { "text", t } }; };
    QJsonArray records { QJsonObject {
        { "type", 1 }, { "fields", QJsonArray { "", text(given), "", text(family) } } } };
    for (const QString& number : numbers)
        records.append(QJsonObject { { "type", 3 }, { "fields", QJsonArray { "mobile", "", text(number) } } });
    return records;
}

SyncFixture::SyncFixture()
    : db(new LocalDb(dir.filePath("android.db"), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)))
    , connector(new SimConnector(sim.address()))
{
    db->create();
}

void SyncFixture::startPhone(const QJsonObject& scenario)
{
    const QList<quint16> ports = sim.start(scenario, { "backup", "restore" });
    backupPort = ports.value(0);
    restorePort = ports.value(1);
}

void SyncFixture::readPhone()
{
    RecordingReporter reader;
    SyncRestoreThread thread(db, connector, backupPort, &reader);
    QVERIFY(finish(thread));
    QCOMPARE(reader.errors(), QStringList());
}

bool SyncFixture::finish(QThread& thread)
{
    thread.start();
    return thread.wait(60000);
}

QString SyncFixture::ending() const
{
    if (!reporter.errors().isEmpty())
        return "error:" + reporter.errors().join('|');
    return reporter.successes().isEmpty() ? QString("none") : "ok:" + reporter.successes().join('|');
}

QString SyncFixture::mirrorMismatch()
{
    QSet<QString> phone;
    QSet<QString> names;
    for (const QJsonValue& c : sim.dump(1)["contacts"].toArray()) {
        for (const QJsonValue& r : c["records"].toArray()) {
            phone << r["id"].toString();
            if (r["type"].toInt() == 1)
                names << r["id"].toString();
        }
    }
    SqlProbe probe(db->path());
    const QStringList rows = probe.column("select ifnull(src_id,'') from data order by src_id");
    const QStringList contacts = probe.column("select ifnull(src_id,'') from contact order by src_id");
    QStringList wrong;
    if (QSet<QString>(rows.begin(), rows.end()) != phone || rows.size() != phone.size())
        wrong << "data rows " + rows.join(' ') + " phone " + QStringList(phone.values()).join(' ');
    if (QSet<QString>(contacts.begin(), contacts.end()) != names || contacts.size() != names.size())
        wrong << "contact rows " + contacts.join(' ');
    return wrong.join('\n');
}

QStringList SyncFixture::phoneRecords(const QString& given)
{
    const QByteArray wanted = given.toUtf8().toBase64();
    for (const QJsonValue& c : sim.dump()["contacts"].toArray()) {
        const QJsonArray records = c["records"].toArray();
        if (records.isEmpty() || records[0]["fields"][1].toString().toLatin1() != wanted)
            continue;
        QStringList shown;
        for (const QJsonValue& r : records) {
            const int type = r["type"].toInt();
            QStringList fields;
            for (const QJsonValue& f : r["fields"].toArray()) {
                // Labelled types open with a word and a label; the rest is text.
                const bool word = type != 1 && type != 7 && fields.isEmpty();
                fields << (word ? f.toString() : QString::fromUtf8(QByteArray::fromBase64(f.toString().toLatin1())));
            }
            shown << QString::number(type) + ":" + fields.join(',');
        }
        shown.sort();
        return shown;
    }
    return {};
}

int SyncFixture::contactRows()
{
    return SqlProbe(db->path()).value("select count(*) from contact").toInt();
}
