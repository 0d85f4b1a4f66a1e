// The program's start and end as processes: single instance, connection
// failures, the main window and the exit question.

#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <grp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The user the permission cases run the program as when the tests run as
// root, who may write anywhere.
constexpr uid_t kNobody = 65534;

bool IsRoot()
{
    return ::geteuid() == 0;
}

// One directory of books (where the instance lock lives) and one runtime
// directory per test, shared by the processes the test starts.
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
    QString Runtime() const { return FRuntime.path(); }
    QString Folder() const { return FBooks.path(); }
    QString LockFile() const { return FBooks.path() + QStringLiteral("/Tallyo.lock"); }

    // Lets the program started by StartAsNobody() reach the books.
    void OpenToNobody() const
    {
        for (const QString &path : {FBooks.path(), Books()}) {
            if (::chown(QFile::encodeName(path).constData(), kNobody, kNobody) != 0)
                qFatal("cannot hand %s over", qPrintable(path));
        }
    }

    // Starts the program; env holds extra NAME=value entries for the probe.
    std::unique_ptr<QProcess> Start(const QStringList &env = {}) const { return Start(env, false); }

    // Starts the program as the unprivileged user nobody (tests run as root).
    std::unique_ptr<QProcess> StartAsNobody(const QStringList &env) const
    {
        return Start(env, true);
    }

private:
    std::unique_ptr<QProcess> Start(const QStringList &env, bool asNobody) const
    {
        auto process = std::make_unique<QProcess>();
        if (asNobody) {
            process->setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0
                    || ::setuid(kNobody) != 0)
                    ::_exit(126);
            });
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), FRuntime.path());
        for (const QString &entry : env)
            environment.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        process->setProcessEnvironment(environment);
        process->start(QStringLiteral(PROBE_EXE), {QStringLiteral("--data-dir"), FBooks.path()});
        process->waitForStarted();
        return process;
    }

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

// The id of a process that has ended.
qint64 EndedProcessId()
{
    QProcess process;
    process.start(QStringLiteral(PROBE_EXE), {QStringLiteral("--version")});
    process.waitForStarted();
    const qint64 pid = process.processId();
    process.waitForFinished();
    return pid;
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
    void lockOfKilledInstanceNamingAnotherHost_data();
    void lockOfKilledInstanceNamingAnotherHost();
    void foreignLockRefusesStart();
    void undeletableLockOfAnotherUserNamesTheBlocker();
    void connectionFailureEndsQuietly_data();
    void connectionFailureEndsQuietly();
    void damagedPageReportedOverWindow();
    void loginRefusedEndsProgram_data();
    void loginRefusedEndsProgram();
    void helpAndVersionWithoutDisplay();
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

    // Another session (its own runtime directory) on the same books.
    auto second = dir.Start({QStringLiteral("XDG_RUNTIME_DIR=") + dir.Runtime() + u'2'});
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

// A lock whose process has ended is stale whatever host it names (the host
// name may have changed since the crash; machines without a machine id record
// none).
void TestStartup::lockOfKilledInstanceNamingAnotherHost_data()
{
    QTest::addColumn<bool>("otherMachine");
    QTest::newRow("no machine id") << false;
    QTest::newRow("other machine id") << true;
}

void TestStartup::lockOfKilledInstanceNamingAnotherHost()
{
    QFETCH(bool, otherMachine);
    TStartDir dir;
    auto first = dir.Start();
    QString out;
    QVERIFY(WaitForLine(*first, QStringLiteral("SHOWN|"), out));
    const qint64 killed = first->processId();
    ::kill(pid_t(killed), SIGKILL);
    first->waitForFinished();

    QFile lock(dir.LockFile());
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QList<QByteArray> lines = lock.readAll().split('\n');
    QVERIFY2(lines.size() >= 3, lines.join('|').constData());
    QCOMPARE(lines[0].toLongLong(), killed);
    lines[2] = "another-host";
    lines = lines.mid(0, 3);
    lines << (otherMachine ? QByteArray("0123456789abcdef0123456789abcdef") : QByteArray())
          << QByteArray() << QByteArray();
    lock.resize(0);
    lock.write(lines.join('\n'));
    lock.close();

    auto next = dir.Start({QStringLiteral("PROBE_CLOSE=1"), QStringLiteral("PROBE_ANSWER=yes")});
    int status = -1;
    const QString shown = RunToEnd(*next, status);
    QVERIFY2(shown.startsWith(QStringLiteral("SHOWN|记账软件-Quillonsoft\n")), qPrintable(shown));
    QCOMPARE(status, 0);
    QVERIFY(!QFile::exists(dir.LockFile()));
}

// A lock file this program did not make is not taken over: the start is
// refused with the reason instead of going on unguarded.
void TestStartup::foreignLockRefusesStart()
{
    TStartDir dir;
    QVERIFY(::mkdir(QFile::encodeName(dir.LockFile()).constData(), 0700) == 0);
    int status = -1;
    QCOMPARE(
        RunToEnd(*dir.Start(), status),
        QStringLiteral("BOX|错误|记账软件无法启动：运行锁文件\\n%1\\n不是普通文件，不是记账软件"
                       "建立的锁文件。\n")
            .arg(dir.LockFile()));
    QCOMPARE(status, 1);
}

// A lock file another user left in a shared books folder (writable by all,
// sticky), which this user may not remove, is named with its owner: the
// program is not running.
void TestStartup::undeletableLockOfAnotherUserNamesTheBlocker()
{
    if (!IsRoot())
        QSKIP("Needs root to leave a lock file owned by another user; as root the program runs "
              "as nobody.");
    TStartDir dir;
    dir.OpenToNobody();
    const QByteArray folder = QFile::encodeName(dir.Folder());
    QVERIFY(::chown(folder.constData(), 0, 0) == 0 && ::chmod(folder.constData(), 01777) == 0);
    const QString lockFile = dir.LockFile();
    QFile lock(lockFile);
    QVERIFY(lock.open(QIODevice::WriteOnly));
    const QByteArray contents = QByteArray::number(EndedProcessId()) + "\nstartup_probe\n"
        + QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n'
        + QSysInfo::bootUniqueId() + '\n';
    lock.write(contents);
    lock.close();

    auto process = dir.StartAsNobody({});
    int status = -1;
    const QString out = RunToEnd(*process, status);
    QCOMPARE(out,
             QStringLiteral("BOX|错误|记账软件无法启动：运行锁文件\\n%1\\n是已经结束的记账软件"
                            "留下的，属于用户 root，当前用户无法删除（没有权限）。\n")
                 .arg(lockFile));
    QCOMPARE(status, 1);
    QCOMPARE(ReadAll(lockFile), contents);
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

void TestStartup::damagedPageReportedOverWindow()
{
    // A page no read at start reaches is found by the check that runs once
    // the window shows: the failure is told, and the books are not written.
    TStartDir dir;
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    sqlite3_open(QFile::encodeName(dir.Books()).constData(), &db);
    sqlite3_prepare_v2(db, "select rootpage from sqlite_master where name='ImportRule'", -1, &stmt,
                       nullptr);
    QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
    const qint64 page = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    QByteArray books = ReadAll(dir.Books());
    books.replace((page - 1) * 4096, 4096, QByteArray(4096, '\0'));
    WriteFile(dir.Books(), books);

    auto process = dir.Start({QStringLiteral("PROBE_ANSWER=yes")});
    QString out;
    QVERIFY(WaitForLine(*process, QStringLiteral("SHOWN|"), out));
    QVERIFY(WaitForLine(
        *process, QStringLiteral("BOX|错误|数据库连接失败！\\n详细信息：数据文件已损坏"), out));
    process->kill();
    process->waitForFinished();
    QCOMPARE(ReadAll(dir.Books()), books);
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

void TestStartup::helpAndVersionWithoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1StringView(name));
    const auto run = [&](const QString &option, int &status) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(PROBE_EXE), {option});
        process.waitForStarted();
        return RunToEnd(process, status);
    };
    int status = -1;
    const QString help = run(QStringLiteral("--help"), status);
    QCOMPARE(status, 0);
    QVERIFY2(help.contains(QStringLiteral("--data-dir")), qPrintable(help));
    QVERIFY(help.contains(QStringLiteral("存放 bookkeep.dat 和日志的目录")));
    QVERIFY(run(QStringLiteral("--version"), status).contains(QStringLiteral(BOOKKEEP_VERSION)));
    QCOMPARE(status, 0);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_Startup.moc"
