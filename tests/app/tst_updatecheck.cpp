// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/errorreportsender.h"
#include "app/mainwindow.h"
#include "app/updatecheck.h"
#include "datafolderfixture.h"
#include "fakedevicelayer.h"
#include "kit/makerconfig.h"
#include "kit/productinfo.h"
#include "kit/tips.h"
#include "model/data_path_util.h"
#include "support/messageboxrecorder.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// A one-answer HTTP server on loopback that keeps every request it got.
class LoopbackHttp : public QObject {
public:
    LoopbackHttp()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] { take(socket, *buffer); });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        answer(200, "no update");
    }
    void answer(int status, const QByteArray& body)
    {
        m_answer = "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\nConnection: close\r\n\r\n" + body;
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }
    QList<QByteArray> requests;

private:
    void take(QTcpSocket* socket, QByteArray& buffer)
    {
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        const qsizetype length = buffer.toLower().indexOf("content-length: ");
        const qsizetype bodySize = length < 0 ? 0 : buffer.mid(length + 16, buffer.indexOf('\r', length) - length - 16).toInt();
        if (end < 0 || buffer.size() < end + 4 + bodySize)
            return;
        requests << buffer;
        socket->write(m_answer);
        socket->disconnectFromHost();
    }
    QTcpServer m_server;
    QByteArray m_answer;
};

QStringList opened;
void recordOpen(const QString&, const QStringList& arguments) { opened << arguments.join(QLatin1Char(' ')); }

constexpr qint64 kNow = 1700000000;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString timeFile() const { return m_dir.filePath(QStringLiteral("last-check-version-time")); }
    void writeTimeFile(const QByteArray& text)
    {
        QFile file(timeFile());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }

private slots:
    void initTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        g_setDesktopOpener(&recordOpen);
    }
    void init()
    {
        QFile::remove(timeFile());
        opened.clear();
    }

    void sendsTheCheckOnlyWhenDue_data()
    {
        QTest::addColumn<QByteArray>("lastCheck");
        QTest::addColumn<bool>("due");
        QTest::newRow("never checked") << QByteArray("(none)") << true;
        QTest::newRow("86400 s ago") << QByteArray::number(kNow - 86400) << false;
        QTest::newRow("86401 s ago") << QByteArray::number(kNow - 86401) << true;
        QTest::newRow("zero") << QByteArray("0") << true;
        QTest::newRow("no number") << QByteArray("yesterday") << true;
        QTest::newRow("in the future") << QByteArray::number(kNow + 60) << true;
    }
    void sendsTheCheckOnlyWhenDue()
    {
        QFETCH(QByteArray, lastCheck);
        QFETCH(bool, due);
        if (lastCheck != "(none)")
            writeTimeFile(lastCheck);
        LoopbackHttp server;
        UpdateCheck check(server.url());
        check.setClock([] { return kNow; });
        check.setTimeFilePath(timeFile());
        check.start({});
        QCOMPARE(check.isChecking(), due);
        QTRY_VERIFY(!check.isChecking());
        QCOMPARE(server.requests.size(), due ? 1 : 0);
        if (due) {
            QVERIFY(server.requests[0].startsWith(
                "GET /sms_check_update.php?pid=5E0C7B2A9D4F31E8B6A07C1D92F3E4B5&ver=13&q=1 HTTP/1.1\r\n"));
            QCOMPARE(readFile(timeFile()), QByteArray::number(kNow));
        }
    }

    void handlesTheReply_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("checkedBefore");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("icon_text_opened");
        QTest::addColumn<bool>("leaves");
        QTest::addColumn<QByteArray>("timeFileAfter");
        const QByteArray before = QByteArray::number(kNow - 90000), now = QByteArray::number(kNow);
        const QString newVersion = QStringLiteral("Question|Download now,Download later|http://127.0.0.1/new");
        QTest::newRow("404 changes nothing") << 404 << QByteArray("http://127.0.0.1/new") << true << 0 << QString() << false << before;
        QTest::newRow("other text") << 200 << QByteArray("up to date") << true << 0 << QString() << false << now;
        QTest::newRow("https is no address") << 200 << QByteArray("https://127.0.0.1/new") << true << 0 << QString() << false << now;
        QTest::newRow("HTTP later") << 200 << QByteArray("HTTP://127.0.0.1/new") << true << int(QMessageBox::Cancel)
                                    << QStringLiteral("Question|Download now,Download later|") << false << now;
        QTest::newRow("http now") << 200 << QByteArray("http://127.0.0.1/new\r\n") << true << int(QMessageBox::Ok)
                                  << newVersion << true << before;
        QTest::newRow("HTTP now") << 200 << QByteArray("HTTP://127.0.0.1/new") << true << int(QMessageBox::Ok)
                                  << newVersion << true << before;
        QTest::newRow("first check is obsolete") << 200 << QByteArray("http://127.0.0.1/new\0junk", 25) << false << 0
                                                 << QStringLiteral("Warning|Download|http://127.0.0.1/new") << true
                                                 << QByteArray("(none)");
        QTest::newRow("address that is no URL") << 200 << QByteArray("http://a b|c") << true << int(QMessageBox::Ok)
                                                << QStringLiteral("Question|Download now,Download later|") << true << before;
    }
    void handlesTheReply()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, checkedBefore);
        QFETCH(int, answer);
        QFETCH(QString, icon_text_opened);
        QFETCH(bool, leaves);
        QFETCH(QByteArray, timeFileAfter);
        if (checkedBefore)
            writeTimeFile(QByteArray::number(kNow - 90000));
        LoopbackHttp server;
        server.answer(status, body);
        MessageBoxRecorder boxes;
        if (answer)
            boxes.answerNext(QMessageBox::StandardButton(answer));
        UpdateCheck check(server.url());
        check.setClock([] { return kNow; });
        check.setTimeFilePath(timeFile());
        int leaving = 0;
        check.start([&leaving] { ++leaving; });
        QTRY_VERIFY(!check.isChecking());
        QString seen;
        if (!boxes.boxes().isEmpty()) {
            const MessageBoxRecorder::Box& box = boxes.boxes().constFirst();
            seen = QStringLiteral("%1|%2|%3")
                       .arg(box.icon == QMessageBox::Warning ? "Warning" : "Question", box.buttonTexts.join(QLatin1Char(',')),
                            opened.join(QLatin1Char(';')));
            QCOMPARE(box.textFormat, Qt::PlainText);
        }
        QCOMPARE(seen, icon_text_opened);
        QCOMPARE(leaving, leaves ? 1 : 0);
        QCOMPARE(readFile(timeFile()), timeFileAfter);
    }

    void leavingEndsTheProgramThroughTheTeardown()
    {
        DataFolderFixture folder;
        LoopbackHttp server;
        server.answer(200, "http://127.0.0.1/new");
        MessageBoxRecorder boxes;
        FakeDeviceLayer layer;
        UpdateCheck check(server.url());
        MainWindow window(&layer, &check);
        window.show();
        QTimer::singleShot(10000, &window, [] { QCoreApplication::exit(99); }); // fail-safe
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(opened, QStringList { QStringLiteral("http://127.0.0.1/new") });
        QVERIFY(!window.isVisible());
        QVERIFY(layer.log.contains(QStringLiteral("android watch stopped")));
        QVERIFY(!QFile::exists(folder.dataFolder().filePath(QStringLiteral("last-check-version-time"))));
    }

    void encodesReportFields_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("abc") << "abc" << "YWJj";
        QTest::newRow("slash") << "?>?" << "Pz4!";
        QTest::newRow("padding") << "3.1.13(13)" << "My4xLjEzKDEzKQ--";
    }
    void encodesReportFields()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        QCOMPARE(base64_var(text), encoded);
    }

    void preparesTheReportText_data()
    {
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("sent");
        QTest::newRow("br/") << "Failed.<br/>Try again" << "Failed.\r\nTry again";
        QTest::newRow("capitals and blanks") << "a<BR>b< br />c<br >d" << "a\r\nb\r\nc\r\nd";
        QTest::newRow("other tags") << "a<b>c</b> x>y" << "a&lt;b&gt;c&lt;/b&gt; x&gt;y";
    }
    void preparesTheReportText()
    {
        QFETCH(QString, err);
        QFETCH(QString, sent);
        QCOMPARE(ErrorReportSender::reportText(err), sent);
    }

    void postsTheReportAfterTheErrorBox()
    {
        LoopbackHttp server;
        qputenv(maker::kServerUrlName, server.url().toString().toUtf8() + "/ignored/path");
        MessageBoxRecorder boxes;
        ErrorReportSender sender;
        sender.install();
        Tips::error(QStringLiteral("Failed.<br/>Try again"));
        QTRY_COMPARE(server.requests.size(), 1);
        const QByteArray request = server.requests[0];
        QVERIFY(request.startsWith("POST /err_report.php HTTP/1.1\r\n"));
        QVERIFY(request.contains("\r\nHost: 127.0.0.1:" + QByteArray::number(server.url().port()) + "\r\n"));
        QVERIFY(request.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
        const QByteArray body = "prod=" + base64_var(product::title()).toUtf8() + "&ver=My4xLjEzKDEzKQ--&err="
            + base64_var(QStringLiteral("Failed.\r\nTry again")).toUtf8();
        QVERIFY(request.endsWith("\r\n\r\n" + body));
        qunsetenv(maker::kServerUrlName);
    }

    void sendsNothingWithoutAServer()
    {
        LoopbackHttp server;
        qputenv(maker::kServerUrlName, "");
        MessageBoxRecorder boxes;
        ErrorReportSender sender;
        sender.install();
        Tips::error(QStringLiteral("Failed."));
        UpdateCheck check(maker::serverUrl());
        check.setTimeFilePath(timeFile());
        check.start({});
        QVERIFY(!check.isChecking());
        QTest::qWait(200);
        QVERIFY(server.requests.isEmpty());
        qunsetenv(maker::kServerUrlName);
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
