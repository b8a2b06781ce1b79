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

namespace {

// An HTTP server on loopback that keeps each whole request and gives one answer.
class LoopbackHttp : public QTcpServer {
public:
    QList<QByteArray> requests;
    explicit LoopbackHttp(int status = 200, const QByteArray& body = {})
        : answer("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\n\r\n" + body)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                QByteArray& got = m_got[socket];
                got += socket->readAll();
                const qsizetype end = got.indexOf("\r\n\r\n"), length = got.toLower().indexOf("content-length: ");
                if (end < 0 || got.size() < end + 4 + (length < 0 ? 0 : got.mid(length + 16, 6).split('\r')[0].toInt()))
                    return;
                requests << got;
                socket->write(answer);
                socket->disconnectFromHost();
            });
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(serverPort())); }

private:
    const QByteArray answer;
    QHash<QTcpSocket*, QByteArray> m_got;
};

QStringList opened;
bool recordOpen(const QString&, const QStringList& arguments)
{
    opened << arguments.join(QLatin1Char(' '));
    return true;
}

constexpr qint64 kNow = 1700000000;

} // namespace

class TestUpdateCheck : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString timeFile() const { return m_dir.filePath(QStringLiteral("last-check-version-time")); }

private slots:
    void initTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        g_setDesktopOpener(&recordOpen);
    }
    void init() { opened.clear(); }

    void checksAndHandlesTheReply_data()
    {
        // lastCheck: the time file's content, empty for none; status 0: no server.
        QTest::addColumn<QByteArray>("lastCheck");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("outcome");
        const QByteArray old = QByteArray::number(kNow - 86401), day = QByteArray::number(kNow - 86400);
        const QString later = QStringLiteral("GET Question[Download now,Download later] ");
        const QString now = QStringLiteral("time 1700000000"), kept = QStringLiteral("time 1699913599");
        QTest::newRow("no server") << QByteArray() << 0 << QByteArray() << 0 << "time none";
        QTest::newRow("86400 s ago") << day << 200 << QByteArray() << 0 << "time 1699913600";
        QTest::newRow("no number") << QByteArray("soon") << 200 << QByteArray() << 0 << "GET " + now;
        QTest::newRow("future") << QByteArray::number(kNow + 60) << 200 << QByteArray() << 0 << "GET " + now;
        QTest::newRow("86401 s ago, 404") << old << 404 << QByteArray("http://x.org/") << 0 << "GET " + kept;
        QTest::newRow("https is no address") << old << 200 << QByteArray("https://x.org/") << 0 << "GET " + now;
        QTest::newRow("HTTP later") << old << 200 << QByteArray("HTTP://x.org/") << int(QMessageBox::Cancel) << later + now;
        QTest::newRow("http now") << old << 200 << QByteArray("http://x.org/a\r\n") << int(QMessageBox::Ok)
                                  << later + "open http://x.org/a leave " + kept;
        QTest::newRow("no URL, not opened") << old << 200 << QByteArray("http://a b|c") << int(QMessageBox::Ok)
                                            << later + "leave " + kept;
        QTest::newRow("oversized reply") << old << 200 << "http://x.org/" + QByteArray(5000, 'a') << 0 << "GET " + kept;
        QTest::newRow("first check: obsolete") << QByteArray() << 200 << QByteArray("http://x.org/a\0junk", 19) << 0
                                               << "GET Warning[Download] open http://x.org/a leave time none";
    }
    void checksAndHandlesTheReply()
    {
        QFETCH(QByteArray, lastCheck);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, answer);
        QFETCH(QString, outcome);
        QFile file(timeFile());
        file.remove();
        QVERIFY(lastCheck.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(lastCheck) && file.flush()));
        file.close();
        LoopbackHttp server(status, body);
        MessageBoxRecorder boxes;
        if (answer)
            boxes.answerNext(QMessageBox::StandardButton(answer));
        UpdateCheck check(status ? server.url() : QUrl());
        check.setClock([] { return kNow; });
        check.setTimeFilePath(timeFile());
        bool left = false;
        check.start([&left] { left = true; });
        QTRY_VERIFY(!check.isChecking());
        QString seen;
        for (const QByteArray& request : std::as_const(server.requests)) {
            QVERIFY(request.startsWith("GET /sms_check_update.php?pid=5E0C7B2A9D4F31E8B6A07C1D92F3E4B5&ver=13&q=1 HTTP/1.1\r\n"));
            seen += QStringLiteral("GET ");
        }
        for (const MessageBoxRecorder::Box& box : boxes.boxes()) {
            seen += QStringLiteral("%1[%2] ").arg(box.icon == QMessageBox::Warning ? "Warning" : "Question",
                                                  box.buttonTexts.join(QLatin1Char(',')));
            QCOMPARE(box.textFormat, Qt::PlainText);
        }
        for (const QString& link : std::as_const(opened))
            seen += QStringLiteral("open ") + link + QLatin1Char(' ');
        if (left)
            seen += QStringLiteral("leave ");
        QVERIFY(!file.exists() || file.open(QIODevice::ReadOnly));
        QCOMPARE(seen + "time " + (file.exists() ? file.readAll() : "none"), outcome);
    }

    void leavingEndsTheProgramThroughTheTeardown()
    {
        DataFolderFixture folder;
        LoopbackHttp server(200, "http://x.org/a");
        MessageBoxRecorder boxes;
        FakeDeviceLayer layer;
        UpdateCheck check(server.url());
        MainWindow window(&layer, &check);
        window.show();
        QTimer::singleShot(10000, &window, [] { QCoreApplication::exit(99); }); // fail-safe
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(opened, QStringList { QStringLiteral("http://x.org/a") });
        QVERIFY(!window.isVisible());
        QVERIFY(layer.log.contains(QStringLiteral("android watch stopped")));
    }

    void encodesReportFields()
    {
        QCOMPARE(base64_var(QStringLiteral("abc")), QStringLiteral("YWJj"));
        QCOMPARE(base64_var(QStringLiteral("?>?")), QStringLiteral("Pz4!"));
        QCOMPARE(base64_var(QStringLiteral("3.1.13(13)")), QStringLiteral("My4xLjEzKDEzKQ--"));
    }

    void reportsToTheConfiguredServer_data()
    {
        QTest::addColumn<bool>("withServer");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QString>("sent");
        QTest::newRow("capitals and blanks") << true << "a<BR>b< br />c<br >d" << "a\r\nb\r\nc\r\nd";
        QTest::newRow("other tags") << true << "a<b>c</b> x>y" << "a&lt;b&gt;c&lt;/b&gt; x&gt;y";
        QTest::newRow("no server") << false << "Failed." << QString();
    }
    void reportsToTheConfiguredServer()
    {
        QFETCH(bool, withServer);
        QFETCH(QString, err);
        QFETCH(QString, sent);
        LoopbackHttp server;
        // Only scheme, host and port count: the report's path is fixed.
        qputenv(maker::kServerUrlName, withServer ? server.url().toString().toUtf8() + "/ignored" : QByteArray());
        MessageBoxRecorder boxes;
        ErrorReportSender sender;
        sender.install();
        // The box's own markup, line breaks and tags, as the report gets it.
        Tips::error(BoxText::markup(err));
        qunsetenv(maker::kServerUrlName);
        if (!withServer) {
            QTest::qWait(200);
            QVERIFY(server.requests.isEmpty());
            return;
        }
        QTRY_COMPARE(server.requests.size(), 1);
        const QByteArray request = server.requests[0];
        QVERIFY(request.startsWith("POST /err_report.php HTTP/1.1\r\n"));
        QVERIFY(request.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
        QVERIFY(request.endsWith("\r\n\r\nprod=" + base64_var(product::title()).toUtf8()
                                 + "&ver=My4xLjEzKDEzKQ--&err=" + base64_var(sent).toUtf8()));
    }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
