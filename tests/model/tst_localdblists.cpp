// SPDX-License-Identifier: GPL-3.0-or-later
// The contact list (group and keyword filters, order) and the group list
// of a database file, and the index the name lookup runs on.
#include "common/contactbuilders.h"
#include "model/contactpages.h"
#include "model/localdb.h"
#include "model/readaheadqueue.h"
#include "common/sqlprobe.h"
#include "support/timebounds.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class TestLocalDbLists : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QSharedPointer<LocalDb> m_db;
    unsigned long long m_work = 0;
    unsigned long long m_family = 0;

    // A contact with one row per (type, data1), in the group when given.
    void add(const QString& name, const QList<QPair<int, QString>>& data1s, unsigned long long group = 0)
    {
        pim::_Contact c(0, "src-" + name, name);
        m_db->insertContactBase(c);
        for (const auto& [type, value] : data1s) {
            pim::Entity e(0, "e-" + value);
            e.fields.insert("data1", value);
            m_db->insertEntity(c.id, type, e);
        }
        if (group)
            m_db->setGroup(c.id, group, group == m_work ? "Work" : "family");
    }
    static QStringList names(const QList<pim::_Contact>& list)
    {
        QStringList out;
        for (const auto& c : list)
            out << c.fullName;
        return out;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_db = LocalDb::openLocal(m_dir->filePath(QStringLiteral("l.db")));
        m_db->create();
        m_db->beginEdit();
        m_work = m_db->getGroupIdOrAdd(QStringLiteral("Work"));
        m_family = m_db->getGroupIdOrAdd(QStringLiteral("family"));
        add("adam", {{1, "adam"}, {3, "555-1234"}}, m_work);
        add("Zoe", {{1, "Zoe"}, {4, "zoe@example.org"}}, m_family);
        add("Émile", {{1, "Émile"}, {9, "50% off"}});
        add("Bob", {});            // no data rows: never listed
        add("", {{3, "500"}});     // nameless, sorts first
        add("Carl", {{2, ""}}, m_work); // photo only
        add("Dora", {{13, "http://x.org/a_b"}});
        m_db->endEdit(true);
        SqlProbe(m_db->path()).exec("insert into data(type,contact_id,data1) values(9,9999,'orphan 555')");
    }
    void cleanup()
    {
        m_db.reset();
        m_dir.reset();
    }

    // A walk in pages gives the list contacts() gives, whole and in its
    // order, whatever the page size; equal names keep ascending ids.
    void pagesGiveTheContactList_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("pageSize");
        for (const int size : { 1, 2, 1000 }) {
            QTest::addRow("all, pages of %d", size) << "" << size;
            QTest::addRow("group, pages of %d", size) << "Work" << size;
        }
    }
    void pagesGiveTheContactList()
    {
        QFETCH(QString, group);
        QFETCH(int, pageSize);
        m_db->beginEdit();
        add("Zoe", {{1, "Zoe"}, {3, "555-0000"}}, m_work); // a second Zoe, a later id
        m_db->endEdit(true);
        const unsigned long long groupId = group.isEmpty() ? 0 : m_work;
        QList<pim::_Contact> expected = m_db->contacts(groupId);
        std::stable_sort(expected.begin(), expected.end(), [](const pim::_Contact& a, const pim::_Contact& b) {
            return a.fullName == b.fullName ? a.id < b.id : a.fullName.compare(b.fullName) < 0;
        });

        LocalDbContactPages pages(m_db, groupId, pageSize);
        QCOMPARE(pages.count(), expected.size());
        for (int pass = 0; pass < 2; ++pass) { // a second walk after rewind()
            pages.rewind();
            QList<pim::_Contact> walked;
            QList<pim::_Contact> page;
            while (pages.nextPage(page)) {
                QVERIFY(page.size() <= pageSize);
                walked += page;
            }
            QCOMPARE(walked.size(), expected.size());
            for (qsizetype i = 0; i < walked.size(); ++i) {
                QCOMPARE(walked[i].id, expected[i].id);
                QCOMPARE(walked[i].srcId, expected[i].srcId);
                QCOMPARE(walked[i].fullName, expected[i].fullName);
                QCOMPARE(walked[i].entities.keys(), expected[i].entities.keys());
                for (auto it = walked[i].entities.cbegin(); it != walked[i].entities.cend(); ++it) {
                    const QList<pim::Entity> want = expected[i].entities.value(it.key());
                    QCOMPARE(it.value().size(), want.size());
                    for (qsizetype e = 0; e < want.size(); ++e) {
                        QCOMPARE(it.value()[e].id, want[e].id);
                        QCOMPARE(it.value()[e].fields, want[e].fields);
                    }
                }
            }
        }
    }

    // A contact removed after the order was read is left out of its page;
    // the walk goes on with the next.
    void pagesSkipContactsRemovedMeanwhile()
    {
        LocalDbContactPages pages(m_db, 0, 1);
        QCOMPARE(pages.count(), 6);
        const QList<pim::_Contact> all = m_db->contacts();
        m_db->beginEdit();
        m_db->removeContact(all.at(0).id);
        m_db->removeContact(all.at(1).id);
        m_db->endEdit(true);
        QList<pim::_Contact> page;
        QVERIFY(pages.nextPage(page));
        QCOMPARE(names(page), QStringList { all.at(2).fullName });
        QList<pim::_Contact> rest;
        while (pages.nextPage(page))
            rest += page;
        QCOMPARE(names(rest), names(all.mid(3)));
        QVERIFY(page.isEmpty());
    }

    // The walk's order is the list's (UTF-16 units, NULL read as empty,
    // equal names by id) also where SQLite's own order differs, every page
    // holds each contact whole (also photo bytes and one with many rows
    // beside ones with none), and a short last page repeats nobody.
    void pagesKeepTheListOrderAndRows_data()
    {
        QTest::addColumn<QStringList>("names"); // "<null>": a NULL name
        QTest::addColumn<QList<int>>("rows");   // data rows of each
        QTest::addColumn<int>("pageSize");
        QTest::newRow("beyond U+FFFF against U+E000 on")
            << QStringList { QString::fromUtf8("\xF0\x9F\x98\x80 smile"), QString::fromUtf8("\xEF\xBC\xA1 wide A"),
                             QString::fromUtf8("\xEE\x80\x80 private"), "Anna", QString::fromUtf8("\xF0\x9F\x98\x80") }
            << QList<int> { 1, 2, 1, 1, 1 } << 2;
        QTest::newRow("NULL name among empty ones")
            << QStringList { "", "<null>", "b", "", "<null>" } << QList<int> { 1, 1, 1, 2, 1 } << 3;
        QTest::newRow("many rows and none in one page")
            << QStringList { "a", "b", "c", "d", "e", "f" } << QList<int> { 0, 40, 0, 1, 0, 3 } << 4;
        QTest::newRow("short last page") << QStringList { "g", "c", "e", "a", "f", "b", "d" }
                                          << QList<int> { 1, 2, 1, 3, 1, 1, 2 } << 3;
    }
    void pagesKeepTheListOrderAndRows()
    {
        QFETCH(QStringList, names);
        QFETCH(QList<int>, rows);
        QFETCH(int, pageSize);
        const QSharedPointer<LocalDb> db = LocalDb::openLocal(m_dir->filePath(QStringLiteral("order.db")));
        db->create();
        db->beginEdit();
        struct Made {
            unsigned long long id;
            QString name;
        };
        QList<Made> made;
        QList<unsigned long long> nulls;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const bool isNull = names[i] == "<null>";
            pim::_Contact c(0, "src-" + QString::number(i), isNull ? QString() : names[i]);
            db->insertContactBase(c);
            for (int r = 0; r < rows[i]; ++r) {
                const int type = r % 3 == 2 ? pim::ENTITY_PHOTO : pim::ENTITY_PHONE;
                pim::Entity e(0, "e-" + QString::number(r));
                if (type == pim::ENTITY_PHOTO)
                    e.fields.insert("data15", QByteArray("\x89PNG photo ") + QByteArray::number(r));
                else
                    e.fields.insert("data1", "+1 555 " + QString::number(r));
                db->insertEntity(c.id, type, e);
            }
            if (rows[i] > 0)
                made.append({ c.id, isNull ? QString() : names[i] });
            if (isNull)
                nulls << c.id;
        }
        db->endEdit(true);
        for (const unsigned long long id : std::as_const(nulls))
            SqlProbe(db->path()).exec(QStringLiteral("update contact set full_name=NULL where _id=%1").arg(id));
        std::sort(made.begin(), made.end(), [](const Made& a, const Made& b) {
            const int order = a.name.compare(b.name);
            return order != 0 ? order < 0 : a.id < b.id;
        });
        QList<unsigned long long> expected;
        for (const Made& m : std::as_const(made))
            expected << m.id;
        QHash<unsigned long long, pim::_Contact> listed;
        for (const pim::_Contact& c : db->contacts())
            listed.insert(c.id, c);

        for (const int lanes : { 1, 3 }) {
            LocalDbContactPages pages(db, 0, pageSize);
            ReadAheadPages ahead(pages, lanes);
            QCOMPARE(ahead.count(), expected.size());
            QList<unsigned long long> walked;
            QList<pim::_Contact> page;
            while (ahead.nextPage(page)) {
                QVERIFY(page.size() <= pageSize);
                for (const pim::_Contact& c : std::as_const(page)) {
                    walked << c.id;
                    const pim::_Contact& want = listed.value(c.id);
                    QCOMPARE(c.fullName, want.fullName);
                    QCOMPARE(c.srcId, want.srcId);
                    QCOMPARE(c.entities.keys(), want.entities.keys());
                    for (auto it = c.entities.cbegin(); it != c.entities.cend(); ++it) {
                        const QList<pim::Entity> wantRows = want.entities.value(it.key());
                        QCOMPARE(it.value().size(), wantRows.size());
                        for (qsizetype e = 0; e < wantRows.size(); ++e) {
                            QCOMPARE(it.value()[e].id, wantRows[e].id);
                            QCOMPARE(it.value()[e].srcId, wantRows[e].srcId);
                            QCOMPARE(it.value()[e].fields, wantRows[e].fields);
                        }
                    }
                }
            }
            QCOMPARE(walked, expected);
        }
    }

    // A contact whose own row goes after the order was read, its data rows
    // left behind, is left out like one removed whole.
    void pagesLeaveOutAContactWhoseRowGoes()
    {
        LocalDbContactPages pages(m_db, 0, 4);
        QCOMPARE(pages.count(), 6);
        const QList<pim::_Contact> all = m_db->contacts();
        SqlProbe(m_db->path()).exec(QStringLiteral("delete from contact where _id=%1").arg(all.at(1).id));
        QList<pim::_Contact> walked, page;
        while (pages.nextPage(page))
            walked += page;
        QCOMPARE(names(walked), names(QList<pim::_Contact> { all.at(0) } + all.mid(2)));
    }

    // Read ahead on threads of their own (one per lane): the same pages in
    // the same order, again after a rewind, a contact removed meanwhile left
    // out without the lanes falling out of step, and the reader's failure
    // where its page would have come.
    void readAheadGivesThePagesThenTheFailure()
    {
        const QList<pim::_Contact> listed = m_db->contacts();
        for (const int lanes : { 1, 2, 3 }) {
            for (const int pageSize : { 1, 2, 4 }) {
                LocalDbContactPages pages(m_db, 0, pageSize);
                ReadAheadPages ahead(pages, lanes);
                QCOMPARE(ahead.count(), 6);
                for (int pass = 0; pass < 2; ++pass) {
                    ahead.rewind();
                    QList<pim::_Contact> all, page;
                    while (ahead.nextPage(page))
                        all += page;
                    QCOMPARE(names(all), names(listed));
                }
            }
        }
        LocalDbContactPages sparse(m_db, 0, 1);
        ReadAheadPages sparseAhead(sparse, 3);
        QCOMPARE(sparseAhead.count(), 6);
        m_db->beginEdit();
        m_db->removeContact(listed.at(1).id);
        m_db->endEdit(true);
        QList<pim::_Contact> rest, page;
        while (sparseAhead.nextPage(page))
            rest += page;
        QCOMPARE(names(rest), names(QList<pim::_Contact> { listed.at(0) } + listed.mid(2)));

        struct Failing : ContactPages {
            int given = 0;
            qsizetype count() override { return 3; }
            bool nextPage(QList<pim::_Contact>& page) override
            {
                if (++given == 3)
                    throw Error(QStringLiteral("disk read error"));
                page = { pim::_Contact(given, QString(), QString::number(given)) };
                return true;
            }
            void rewind() override { given = 0; }
        } failing;
        ReadAheadPages failingAhead(failing);
        QVERIFY(failingAhead.nextPage(page) && failingAhead.nextPage(page));
        QCOMPARE(names(page), QStringList { "2" });
        QVERIFY_THROWS_EXCEPTION(Error, failingAhead.nextPage(page));
    }

    // What the page work makes comes with its page, in the walk's order,
    // made on the reading threads; a failure of the work comes where its
    // page would have.
    void readAheadMakesEachPagesWorkBesideIt()
    {
        const QList<pim::_Contact> listed = m_db->contacts();
        const auto bytesOf = [](const QList<pim::_Contact>& page) {
            QByteArray bytes;
            for (const pim::_Contact& contact : page)
                bytes += contact.fullName.toUtf8() + ';';
            return bytes;
        };
        const std::thread::id caller = std::this_thread::get_id();
        for (const int lanes : { 1, 3 }) {
            LocalDbContactPages pages(m_db, 0, 2);
            ReadAheadPages ahead(pages);
            std::atomic<int> onCaller { 0 };
            std::atomic<int> failAt { 0 };
            std::atomic<int> made { 0 };
            const ReadAheadPages::PageWork work = [&](const QList<pim::_Contact>& page) {
                onCaller += std::this_thread::get_id() == caller;
                if (++made == failAt)
                    throw Error(QStringLiteral("no room left"));
                return bytesOf(page);
            };
            ahead.setPageWork(work, lanes);
            ahead.rewind();
            QList<pim::_Contact> all, page;
            QByteArray bytes;
            while (ahead.nextPage(page, bytes)) {
                QCOMPARE(bytes, bytesOf(page));
                all += page;
            }
            QCOMPARE(names(all), names(listed));
            QCOMPARE(onCaller.load(), 0);

            // On one lane, the second page's work fails after the first page.
            made = 0;
            failAt = 2;
            ahead.setPageWork(work, 1);
            ahead.rewind();
            QVERIFY(ahead.nextPage(page, bytes));
            QCOMPARE(names(page), names(listed.mid(0, 2)));
            QVERIFY_THROWS_EXCEPTION(Error, ahead.nextPage(page, bytes));
        }
    }

    // The hand-off under both read-aheads: what the consumer gives back is
    // freed on the producing thread (also what is given back after the
    // producer's last item), and the failure stays after the end.
    void readAheadQueueFreesOnTheProducingThread()
    {
        struct Tracked {
            std::thread::id* freedOn = nullptr;
            Tracked() = default;
            explicit Tracked(std::thread::id* where) : freedOn(where) {}
            Tracked(Tracked&& other) noexcept : freedOn(std::exchange(other.freedOn, nullptr)) {}
            Tracked& operator=(Tracked&& other) noexcept
            {
                std::swap(freedOn, other.freedOn);
                return *this;
            }
            ~Tracked()
            {
                if (freedOn)
                    *freedOn = std::this_thread::get_id();
            }
        };
        std::vector<std::thread::id> freedOn(20);
        std::thread::id producer;
        {
            ReadAheadQueue<Tracked> queue(2);
            queue.start([&](ReadAheadQueue<Tracked>& q) {
                producer = std::this_thread::get_id();
                for (std::size_t i = 0; i < freedOn.size(); ++i) {
                    if (!q.put(Tracked(&freedOn[i])))
                        return;
                }
                throw Error(QStringLiteral("disk read error"));
            });
            Tracked item;
            for (std::size_t i = 0; i < freedOn.size(); ++i) {
                QVERIFY(queue.take(item));
                QVERIFY(item.freedOn == &freedOn[i]);
                queue.giveBack(std::move(item));
            }
            QVERIFY_THROWS_EXCEPTION(Error, queue.take(item));
            QVERIFY_THROWS_EXCEPTION(Error, queue.take(item));
        }
        // Those given back after the producer's last put() may be freed with
        // the queue, on this thread; every earlier one on the producer's.
        const auto onProducer = std::count(freedOn.cbegin(), freedOn.cend(), producer);
        QVERIFY2(onProducer >= qsizetype(freedOn.size()) - 3, qPrintable(QString::number(onProducer)));
    }

    void filtersContactsByGroupAndKeyword_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all, code-unit order") << "" << "" << QStringList{"", "Carl", "Dora", "Zoe", "adam", "Émile"};
        QTest::newRow("non-ASCII case not folded") << "" << "émile" << QStringList{};
        QTest::newRow("percent is literal") << "" << "50%" << QStringList{"Émile"};
        QTest::newRow("underscore is literal") << "" << "_" << QStringList{"Dora"};
        QTest::newRow("backslash is literal") << "" << "\\" << QStringList{};
        QTest::newRow("group membership not searched") << "" << "Work" << QStringList{};
        QTest::newRow("group and keyword") << "Work" << "555" << QStringList{"adam"};
        QTest::newRow("unknown group") << "none" << "" << QStringList{};
    }
    void filtersContactsByGroupAndKeyword()
    {
        QFETCH(QString, group);
        QFETCH(QString, keyword);
        QFETCH(QStringList, expected);
        const unsigned long long groupId = group.isEmpty() ? 0 : group == "Work" ? m_work : 424242;
        QCOMPARE(names(m_db->contacts(groupId, keyword)), expected);
    }

    void listsGroupsInByteOrder()
    {
        m_db->getGroupIdOrAdd(QStringLiteral("Ärzte"));
        m_db->getGroupIdOrAdd(QStringLiteral("Alpha"));
        QStringList got;
        for (const auto& g : m_db->groups())
            got << g.name;
        QCOMPARE(got, (QStringList{"Alpha", "Work", "family", QStringLiteral("Ärzte")}));
        QCOMPARE(m_db->groups().at(1).id, m_work);
    }

    void looksNamesUpThroughTheIndex()
    {
        // The index is added to files that lack it, on first lookup, and
        // again when the edit that added it was rolled back.
        const QString hasIndex = "select count(*) from sqlite_master where name='index_contacts_full_name_nocase'";
        SqlProbe probe(m_db->path());
        m_db->close();
        QCOMPARE(probe.value(hasIndex).toInt(), 0);
        m_db->beginEdit();
        m_db->isContactBaseExist(QStringLiteral("adam"));
        m_db->endEdit(false);
        QCOMPARE(m_db->isContactBaseExist(QStringLiteral("ADAM")), 1ull);
        QCOMPARE(probe.value(hasIndex).toInt(), 1);
        QStringList plan;
        for (const QVariantList& row : probe.rows("explain query plan select _id from contact"
                                                  " where full_name=? collate nocase order by _id limit 1"))
            plan << row.value(3).toString();
        QVERIFY2(plan.join(" ").contains("SEARCH contact USING COVERING INDEX index_contacts_full_name_nocase (full_name=?)"),
                 qPrintable(plan.join(" / ")));
    }

    void keepsUncommittedRowsPrivate_data()
    {
        QTest::addColumn<QString>("call");
        QTest::newRow("list") << "contacts";
        QTest::newRow("close in the middle of the edit") << "close";
    }

    // A worker's open edit: every call of another thread fails at once
    // with DatabaseBusy instead of waiting or reading the worker's
    // uncommitted rows, and a rolled-back edit leaves nothing behind.
    void keepsUncommittedRowsPrivate()
    {
        QFETCH(QString, call);
        QSemaphore inEdit, finish;
        QString workerError;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            try {
                m_db->beginEdit();
                add("Uncommitted", {{3, "555-0000"}});
                inEdit.release();
                finish.acquire();
                m_db->endEdit(false);
            } catch (const std::exception& e) {
                workerError = QString::fromUtf8(e.what());
                inEdit.release();
            }
        }));
        worker->start();
        inEdit.acquire();
        QVERIFY2(workerError.isEmpty(), qPrintable(workerError));

        QElapsedTimer clock;
        clock.start();
        bool busy = false;
        QStringList seen;
        try {
            if (call == "contacts")
                seen = names(m_db->contacts());
            else
                m_db->close();
        } catch (const DatabaseBusy&) {
            busy = true;
        }
        const qint64 waited = clock.elapsed();
        const bool open = m_db->isOpen();
        // The committed view, over a second connection.
        SqlProbe probe(m_db->path());
        const int committed = probe.value("select count(*) from contact where full_name='Uncommitted'").toInt();
        finish.release();
        QVERIFY(worker->wait(timebound::kWaitMs));
        QVERIFY2(workerError.isEmpty(), qPrintable(workerError));
        QVERIFY2(busy, qPrintable(seen.join(',')));
        // Waiting would take the busy time-out of seconds.
        QVERIFY2(waited < timebound::kFreezeMs, qPrintable(QString::number(waited)));
        QVERIFY(open);
        QCOMPARE(committed, 0);
        QVERIFY(!names(m_db->contacts()).contains("Uncommitted"));
        QCOMPARE(probe.value("select count(*) from contact where full_name='Uncommitted'").toInt(), 0);
        m_db->close();
    }

    // Outside an edit a worker's single call is short: the other thread
    // waits for it instead of failing, so neither side sees DatabaseBusy.
    void takesTurnsOutsideAnEdit()
    {
        std::atomic<bool> done{false};
        QString workerError;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            try {
                for (int i = 0; i < 100; ++i)
                    add(QStringLiteral("W%1").arg(i), {{3, QString::number(i)}});
            } catch (const std::exception& e) {
                workerError = QString::fromUtf8(e.what());
            }
            done = true;
        }));
        worker->start();
        int reads = 0;
        while (!done) {
            for (const auto& c : m_db->contacts(0, QStringLiteral("W1")))
                QVERIFY(c.fullName.startsWith("W1"));
            ++reads;
        }
        QVERIFY(worker->wait(timebound::kWaitMs));
        QVERIFY2(workerError.isEmpty(), qPrintable(workerError));
        QVERIFY(reads > 0);
        QCOMPARE(SqlProbe(m_db->path()).value("select count(*) from contact where full_name like 'W%'").toInt(), 100);
    }
};

QTEST_GUILESS_MAIN(TestLocalDbLists)
#include "tst_localdblists.moc"
