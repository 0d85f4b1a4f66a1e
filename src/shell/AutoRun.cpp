#include "AutoRun.h"

#include "data/UException.h"
#include "data/UntPublic.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// One argument of a desktop entry's Exec line: quoted, with a backslash
// before each character that quoting reserves, then escaped as a string value
// of the entry, where a backslash is doubled: a quote is written as two
// backslashes and the quote, a backslash as four backslashes.
QString ExecArgument(const QString &argument)
{
    QString value;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$')
            value += QStringLiteral("\\\\") + c;
        else if (c == u'\\')
            value += QStringLiteral("\\\\\\\\");
        else if (c == u'\n')
            value += QStringLiteral("\\n");
        else if (c == u'%')
            value += QStringLiteral("%%");
        else
            value += c;
    }
    return u'"' + value + u'"';
}

} // namespace

QString AutoRunFileName(const QString &name)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/autostart/") + name + QStringLiteral(".desktop");
}

bool AutoRunExists(const QString &name)
{
    return QFile::exists(AutoRunFileName(name));
}

QString AutoRunCommand()
{
    QString command = ExecArgument(QCoreApplication::applicationFilePath());
    // Books kept away from the program (the usual case) are named, so the
    // program started at login opens the same books.
    const QString books = QDir::cleanPath(AppPath);
    if (books != QDir::cleanPath(QCoreApplication::applicationDirPath()))
        command += QStringLiteral(" --data-dir ") + ExecArgument(books);
    return command;
}

void SetAutoRun(const QString &name, const QString &command, bool present)
{
    const QString fileName = AutoRunFileName(name);
    const auto fail = [&](const QString &reason) {
        throw Exception(QStringLiteral("无法设置开机运行：%1（%2）")
                            .arg(QDir::toNativeSeparators(fileName), reason));
    };
    if (!present) {
        QFile file(fileName);
        if (file.exists() && !file.remove())
            fail(file.errorString());
        return;
    }
    if (!QDir().mkpath(QFileInfo(fileName).absolutePath()))
        fail(QStringLiteral("无法创建目录"));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=") + name
        + QStringLiteral("\nExec=") + command
        + QStringLiteral("\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    file.write(entry.toUtf8());
    if (!file.commit())
        fail(file.errorString());
}
