// The program's start and end as processes: single instance, connection
// failures, the main window and the exit question.

#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

// One directory of books and one runtime directory (where the instance lock
// lives) per test, shared by the processes the test starts.
class TStartDir
{
public:
    TStartDir()
    {
        QFile::setPermissions(FRuntime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString books = FBooks.path() + QStringLiteral("/bookkeep.dat");
        QFile::copy(QStringLiteral(TEMPLATE_DB), books);
        QFile::setPermissions(books, QFile::ReadOwner | QFile::WriteOwner);
    }
    QString Books() const { return FBooks.path() + QStringLiteral("/bookkeep.dat"); }

    // Starts the program; env holds extra NAME=value entries for the probe.
    std::unique_ptr<QProcess> Start(const QStringList &env = {}) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), FRuntime.path());
        for (const QString &entry : env)
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(PROBE_EXE), {QStringLiteral("--data-dir"), FBooks.path()});
        process->waitForStarted();
        return process;
    }

private:
    QTemporaryDir FBooks;
    QTemporaryDir FRuntime;
};

// Waits until the process printed a line starting with the prefix.
bool WaitForLine(QProcess &process, const QString &prefix, QString &all)
{
    for (int i = 0; i < 200; ++i) {
        all += QString::fromUtf8(process.readAllStandardOutput());
        if (all.contains(prefix))
            return true;
        if (process.state() == QProcess::NotRunning && !process.waitForReadyRead(0))
            return QString::fromUtf8(process.readAllStandardOutput()).contains(prefix);
        process.waitForReadyRead(50);
    }
    return false;
}

QString RunToEnd(QProcess &process, int &status)
{
    process.waitForFinished(20000);
    status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mainWindowAndExitQuestion();
    void exitDeclinedKeepsRunning();
    void secondInstanceIsTurnedAway();
    void startAfterKilledInstance();
    void connectionFailureEndsQuietly_data();
    void connectionFailureEndsQuietly();
    void loginRefusedEndsProgram_data();
    void loginRefusedEndsProgram();
};

void TestStartup::mainWindowAndExitQuestion()
{
    TStartDir dir;
    auto process = dir.Start({QStringLiteral("PROBE_CLOSE=1"), QStringLiteral("PROBE_ANSWER=yes")});
    int status = -1;
    const QString out = RunToEnd(*process, status);
    QCOMPARE(status, 0);
    QCOMPARE(out, QStringLiteral("SHOWN|记账软件-Quillonsoft\nBOX|确认|确定要退出记账软件吗?\n"));
}

void TestStartup::exitDeclinedKeepsRunning()
{
    TStartDir dir;
    auto process = dir.Start({QStringLiteral("PROBE_CLOSE=1"), QStringLiteral("PROBE_ANSWER=no")});
    QString out;
    QVERIFY(WaitForLine(*process, QStringLiteral("STILL OPEN"), out));
    QCOMPARE(process->state(), QProcess::Running);
    process->kill();
    process->waitForFinished();
}

void TestStartup::secondInstanceIsTurnedAway()
{
    TStartDir dir;
    auto first = dir.Start();
    QString out;
    QVERIFY(WaitForLine(*first, QStringLiteral("SHOWN|"), out));

    auto second = dir.Start();
    int status = -1;
    QCOMPARE(RunToEnd(*second, status), QStringLiteral("BOX|提示|记账软件已经运行!\n"));
    QCOMPARE(status, 0);
    QCOMPARE(first->state(), QProcess::Running);
    first->kill();
    first->waitForFinished();
}

void TestStartup::startAfterKilledInstance()
{
    TStartDir dir;
    auto first = dir.Start();
    QString out;
    QVERIFY(WaitForLine(*first, QStringLiteral("SHOWN|"), out));
    ::kill(pid_t(first->processId()), SIGKILL);
    first->waitForFinished();

    auto next = dir.Start({QStringLiteral("PROBE_CLOSE=1"), QStringLiteral("PROBE_ANSWER=yes")});
    int status = -1;
    QVERIFY(RunToEnd(*next, status).startsWith(QStringLiteral("SHOWN|记账软件-Quillonsoft\n")));
    QCOMPARE(status, 0);
}

void TestStartup::connectionFailureEndsQuietly_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("foreign") << "foreign";
    QTest::newRow("another password") << "password";
}

void TestStartup::connectionFailureEndsQuietly()
{
    QFETCH(QString, kind);
    TStartDir dir;
    if (kind == u"missing") {
        QFile::remove(dir.Books());
    } else if (kind == u"foreign") {
        QFile::remove(dir.Books());
        RawExec(dir.Books(), QStringLiteral("create table t(x)"));
    } else {
        RawExec(dir.Books(), QStringLiteral("update DbKey set Verifier='00'"));
    }
    auto process = dir.Start();
    int status = -1;
    const QString out = RunToEnd(*process, status);
    QCOMPARE(status, 0);
    QCOMPARE(out.count(u'\n'), 1);
    QVERIFY2(out.startsWith(QStringLiteral("BOX|错误|数据库连接失败！\\n详细信息：")),
             qPrintable(out));
}

void TestStartup::loginRefusedEndsProgram_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("output");
    QTest::newRow("password cancelled") << "update SysSet set bPass='-1',PassWord='pw'"
                                        << "MODAL|先输入密码登录软件\n";
    QTest::newRow("setting unreadable")
        << "alter table SysSet rename to Gone"
        << "BOX|错误|数据库连接失败！\\n详细信息：数据文件缺少表 SysSet";
}

void TestStartup::loginRefusedEndsProgram()
{
    QFETCH(QString, setup);
    QFETCH(QString, output);
    TStartDir dir;
    RawExec(dir.Books(), setup);
    auto process = dir.Start({QStringLiteral("PROBE_CANCEL=1")});
    int status = -1;
    const QString out = RunToEnd(*process, status);
    QCOMPARE(status, 0);
    QVERIFY2(out.startsWith(output), qPrintable(out));
    QVERIFY(!out.contains(QStringLiteral("确定要退出")));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_Startup.moc"
