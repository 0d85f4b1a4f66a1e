#include "DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const QString kBooks = QStringLiteral("bookkeep.dat");

QString WithSlash(const QString &dir)
{
    return dir.endsWith(u'/') ? dir : dir + u'/';
}

} // namespace

TDataFolder ChooseDataFolder(const QString &option, const QString &programDir,
                             const QString &dataHome)
{
    if (!option.isEmpty())
        return {WithSlash(QDir(option).absolutePath()), {}};
    const QFileInfo program(programDir);
    if (program.isWritable() && QFileInfo::exists(QDir(programDir).filePath(kBooks)))
        return {WithSlash(program.absoluteFilePath()), {}};
    // Installed: the template lies in the share folder beside bin/.
    const QString templateBooks = QDir::cleanPath(
        QDir(programDir).filePath(QStringLiteral(BOOKKEEP_SHARE_FROM_BIN "/") + kBooks));
    return {WithSlash(QDir(dataHome).absoluteFilePath(QStringLiteral("bookkeep"))), templateBooks};
}

Outcome PrepareDataFolder(const TDataFolder &folder)
{
    if (folder.Template.isEmpty())
        return Outcome::Sound();
    const QString path = QDir::toNativeSeparators(folder.Path);
    if (!QDir().mkpath(folder.Path))
        return Outcome::Fault(QStringLiteral("无法创建存放账簿的目录 %1。").arg(path));
    // Books that exist are never replaced; nor is a link whose target is
    // missing (books on a disk not mounted now): opening it reports that.
    const QString books = folder.Path + kBooks;
    if (QFileInfo::exists(books) || QFileInfo(books).isSymLink())
        return Outcome::Sound();

    QFile source(folder.Template);
    if (!source.open(QIODevice::ReadOnly))
        return Outcome::Fault(
            QStringLiteral("找不到账簿模板 %1（%2），无法创建新账簿。请重新安装记账软件。")
                .arg(QDir::toNativeSeparators(folder.Template), source.errorString()));
    const QByteArray content = source.readAll();
    if (content.isEmpty())
        return Outcome::Fault(
            QStringLiteral("账簿模板 %1 无法读取或是空文件，无法创建新账簿。请重新安装记账软件。")
                .arg(QDir::toNativeSeparators(folder.Template)));
    QSaveFile target(books);
    const auto fail = [&](const QString &reason) {
        return Outcome::Fault(QStringLiteral("无法在 %1 创建新账簿（%2）。").arg(path, reason));
    };
    if (!target.open(QIODevice::WriteOnly))
        return fail(target.errorString());
    if (target.write(content) != content.size() || !target.commit())
        return fail(target.errorString());
    return Outcome::Sound();
}
