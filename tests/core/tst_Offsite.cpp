#include "DavServer.h"
#include "TestSupport.h"
#include "data/AutoBackup.h"
#include "data/DbAccess.h"
#include "offsite/OffsiteCopies.h"
#include "offsite/SealedCopy.h"
#include "shell/RestoreBooks.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kPassphrase = QStringLiteral("家里的口令 2026");

// A proxy between the client and the server that cuts a connection after a
// number of bytes one way, or answers a request of one method with a status.
class TFaultProxy : public QObject
{
public:
    enum TFault { Pass, CutUpload, CutDownload, Answer };
    TFaultProxy(quint16 upstream, TFault fault, QByteArray method = {}, int status = 0)
        : FUpstream(upstream)
        , FFault(fault)
        , FMethod(std::move(method))
        , FStatus(status)
    {
        FServer.listen(QHostAddress::LocalHost);
        connect(&FServer, &QTcpServer::newConnection, this, &TFaultProxy::Accept);
    }
    quint16 Port() const { return FServer.serverPort(); }

private:
    static constexpr qint64 kCutAfter = 200000;

    void Accept()
    {
        QTcpSocket *client = FServer.nextPendingConnection();
        auto *server = new QTcpSocket(client);
        server->connectToHost(QHostAddress::LocalHost, FUpstream);
        auto *sent = new qint64(0);
        auto *received = new qint64(0);
        auto *request = new QByteArray;
        connect(client, &QObject::destroyed, this, [=, this] {
            delete sent;
            delete received;
            delete request;
        });
        connect(client, &QTcpSocket::readyRead, server, [=, this] {
            const QByteArray bytes = client->readAll();
            *sent += bytes.size();
            if (FFault == Answer && (request->startsWith(FMethod) || request->isEmpty())) {
                *request += bytes;
                if (request->startsWith(FMethod)) {
                    const qsizetype end = request->indexOf("\r\n\r\n");
                    const QRegularExpression length(QStringLiteral("Content-Length: (\\d+)"),
                                                    QRegularExpression::CaseInsensitiveOption);
                    const auto match = length.match(QString::fromLatin1(request->left(end)));
                    if (end >= 0
                        && request->size() - end - 4
                            >= (match.hasMatch() ? match.captured(1).toLongLong() : 0)) {
                        client->write("HTTP/1.1 " + QByteArray::number(FStatus)
                                      + " Fault\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                        client->disconnectFromHost();
                    }
                    return;
                }
                server->write(*request);
                request->clear();
                return;
            }
            if (FFault == CutUpload && *sent > kCutAfter) {
                client->abort();
                return;
            }
            server->write(bytes);
        });
        connect(server, &QTcpSocket::readyRead, client, [=, this] {
            const QByteArray bytes = server->readAll();
            *received += bytes.size();
            if (FFault == CutDownload && *received > kCutAfter) {
                client->write(bytes.left(kCutAfter / 2));
                client->flush();
                client->abort();
                return;
            }
            client->write(bytes);
        });
        connect(server, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    }

    QTcpServer FServer;
    quint16 FUpstream;
    TFault FFault;
    QByteArray FMethod;
    int FStatus;
};

TWebDavPlace Place(quint16 port, const QString &password = TDavServer::kPassword,
                   const QString &folder = QStringLiteral("books"))
{
    return {QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)), TDavServer::kUser, password,
            folder};
}

// A copy of books of several chunks, named as an automatic copy of `time`.
QString MakeCopy(const QTemporaryDir &dir, const QDateTime &time)
{
    const QString file = dir.filePath(AutoBackup::FileName(time));
    QByteArray bytes = ReadAll(QStringLiteral(TEMPLATE_DB));
    QRandomGenerator random(7);
    while (bytes.size() < 3 * 1024 * 1024 + 123)
        bytes += QByteArray::number(random.generate64());
    WriteFile(file, bytes);
    return file;
}

void ChangeByte(const QString &file, qint64 at, char value)
{
    QByteArray bytes = ReadAll(file);
    bytes[at < 0 ? bytes.size() + at : at] = value;
    WriteFile(file, bytes);
}

} // namespace

class TestOffsite : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY2(FServer.Port() != 0, "rclone serve webdav did not start"); }

    // A copy sealed, uploaded, listed, fetched and opened is the copy byte for
    // byte; uploads over days keep what the local rotation keeps.
    void RoundTripAndRotation()
    {
        TWebDav dav(Place(FServer.Port()));
        QVERIFY2(dav.Check().IsSound(), qPrintable(dav.Check().Reason()));
        const QDateTime first(QDate(2026, 3, 1), QTime(21, 30));
        QStringList names;
        for (int day = 0; day < 10; ++day) {
            const QString copy = MakeCopy(FWork, first.addDays(day));
            names << QFileInfo(copy).fileName();
            const Outcome done = OffsiteCopies::Upload(dav, copy, kPassphrase, FWork.path(),
                                                       first.addDays(day), 7);
            QVERIFY2(done.IsSound(), qPrintable(done.Reason()));
        }
        QList<TRemoteFile> copies;
        QVERIFY(OffsiteCopies::List(dav, copies).IsSound());
        QStringList kept;
        for (const TRemoteFile &copy : copies)
            kept << copy.Name;
        QStringList expected;
        const QStringList expired = AutoBackup::Expired(names, first.addDays(9), 7, names.last());
        for (auto it = names.crbegin(); it != names.crend(); ++it)
            if (!expired.contains(*it))
                expected << *it + QStringLiteral(".sealed");
        QCOMPARE(kept, expected);

        const QString opened = FWork.filePath(QStringLiteral("round-trip.dat"));
        const Outcome fetched = OffsiteCopies::Fetch(dav, copies.first().Name, kPassphrase, opened);
        QVERIFY2(fetched.IsSound(), qPrintable(fetched.Reason()));
        QCOMPARE(ReadAll(opened), ReadAll(FWork.filePath(names.last())));
        QVERIFY(ReadAll(FServer.File(copies.first().Name)).indexOf("SQLite format 3") < 0);
    }

    // A copy of the books fetched from the server goes through the restore's
    // checks and replaces the books, which are then the copy's.
    void RestoreFromServer()
    {
        TTestBooks books;
        TAutoBackup autoBackup;
        AutoBackup::TMade made;
        const QDateTime time(QDate(2026, 5, 1), QTime(9, 0));
        QVERIFY(AutoBackup::Make(books.DatabaseFile(), FWork.path(), time, made).IsSound());
        TWebDav dav(Place(FServer.Port()));
        QVERIFY(
            OffsiteCopies::Upload(dav, made.File, kPassphrase, FWork.path(), time, 7).IsSound());
        DbExec(QStringLiteral("update Notepad set Remark='改过了'"));
        const QString fetched = FWork.filePath(QStringLiteral("fetched.dat"));
        QVERIFY(
            OffsiteCopies::Fetch(dav, OffsiteCopies::RemoteName(made.File), kPassphrase, fetched)
                .IsSound());
        RestoreBooks(fetched, autoBackup);
        QCOMPARE(DumpBooks(books.DatabaseFile()), DumpBooks(made.File));
    }

    // Every fault says what happened and leaves nothing half-made: no copy
    // under its name on the server after a failed upload, no opened file
    // after a failed fetch.
    void Faults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("upload");
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<int>("damage"); // 1 flipped bit, 2 cut end, 3 later format
        QTest::addColumn<QString>("message");
        const QString pw = TDavServer::kPassword;
        const QString books = QStringLiteral("books");
        const int pass = TFaultProxy::Pass;
        QTest::newRow("server down") << -1 << QByteArray() << 0 << pw << books << true
                                     << kPassphrase << 0 << QStringLiteral("无法连接服务器");
        QTest::newRow("wrong password") << pass << QByteArray() << 0 << QStringLiteral("x") << books
                                        << true << kPassphrase << 0 << QStringLiteral("401");
        QTest::newRow("folder missing")
            << pass << QByteArray() << 0 << pw << QStringLiteral("无") << true << kPassphrase << 0
            << QStringLiteral("没有这个文件或文件夹");
        QTest::newRow("conflict") << int(TFaultProxy::Answer) << QByteArray("PUT") << 409 << pw
                                  << books << true << kPassphrase << 0 << QStringLiteral("409");
        QTest::newRow("no room") << int(TFaultProxy::Answer) << QByteArray("PUT") << 507 << pw
                                 << books << true << kPassphrase << 0 << QStringLiteral("空间不足");
        QTest::newRow("cut upload")
            << int(TFaultProxy::CutUpload) << QByteArray() << 0 << pw << books << true
            << kPassphrase << 0 << QStringLiteral("上传失败");
        QTest::newRow("cut download")
            << int(TFaultProxy::CutDownload) << QByteArray() << 0 << pw << books << false
            << kPassphrase << 0 << QStringLiteral("下载");
        QTest::newRow("flipped bit") << pass << QByteArray() << 0 << pw << books << false
                                     << kPassphrase << 1 << QStringLiteral("已损坏或被改动");
        QTest::newRow("cut end") << pass << QByteArray() << 0 << pw << books << false << kPassphrase
                                 << 2 << QStringLiteral("不完整");
        QTest::newRow("later format") << pass << QByteArray() << 0 << pw << books << false
                                      << kPassphrase << 3 << QStringLiteral("更新版本");
        QTest::newRow("wrong passphrase")
            << pass << QByteArray() << 0 << pw << books << false << QStringLiteral("别的口令") << 0
            << QStringLiteral("加密口令不对");
    }

    void Faults()
    {
        QFETCH(int, fault);
        QFETCH(QByteArray, method);
        QFETCH(int, status);
        QFETCH(QString, password);
        QFETCH(QString, folder);
        QFETCH(bool, upload);
        QFETCH(QString, passphrase);
        QFETCH(int, damage);
        QFETCH(QString, message);

        // A sound copy on the server to fetch, made without the fault.
        const QDateTime time(QDate(2026, 4, 1), QTime(8, 0));
        const QString copy = MakeCopy(FWork, time);
        const QString name = OffsiteCopies::RemoteName(copy);
        TWebDav direct(Place(FServer.Port()));
        QVERIFY(OffsiteCopies::Upload(direct, copy, kPassphrase, FWork.path(), time, 7).IsSound());
        if (damage == 1)
            ChangeByte(FServer.File(name), 2 * 1024 * 1024, '\x5a');
        else if (damage == 2)
            WriteFile(FServer.File(name), ReadAll(FServer.File(name)).chopped(1000));
        else if (damage == 3)
            ChangeByte(FServer.File(name), 8, '\x02');

        quint16 port = 0;
        std::optional<TFaultProxy> proxy;
        if (fault < 0) {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost);
            port = closed.serverPort();
        } else {
            proxy.emplace(FServer.Port(), TFaultProxy::TFault(fault), method, status);
            port = proxy->Port();
        }
        TWebDav dav(Place(port, password, folder));
        Outcome done = Outcome::Sound();
        if (upload) {
            const QDateTime later = time.addSecs(60);
            const QString next = MakeCopy(FWork, later);
            done = OffsiteCopies::Upload(dav, next, kPassphrase, FWork.path(), later, 7);
            QVERIFY(!QFile::exists(FServer.File(OffsiteCopies::RemoteName(next))));
        } else {
            const QString opened = FWork.filePath(QStringLiteral("opened.dat"));
            done = OffsiteCopies::Fetch(dav, name, passphrase, opened);
            QVERIFY(!QFile::exists(opened));
        }
        QVERIFY(!done.IsSound());
        QVERIFY2(done.Reason().contains(message), qPrintable(done.Reason()));
        QVERIFY(QDir(FWork.path()).entryList({QStringLiteral("*.sealed*")}).isEmpty());
    }

private:
    TDavServer FServer;
    QTemporaryDir FWork;
};

QTEST_GUILESS_MAIN(TestOffsite)
#include "tst_Offsite.moc"
