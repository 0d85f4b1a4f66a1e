#include "AppIcon.h"

#include <QDir>

QIcon AppIcon()
{
    QIcon icon;
    const QDir sizes(QStringLiteral(":/icons/app"));
    for (const QString &name : sizes.entryList(QDir::Files))
        icon.addFile(sizes.filePath(name));
    return icon;
}
