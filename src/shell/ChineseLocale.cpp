#include "ChineseLocale.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLocale>

void UseChineseLocale(QApplication &app)
{
    if (QLocale::system().language() != QLocale::Chinese)
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    static const QString kChineseFace = QStringLiteral("Noto Sans CJK SC");
    if (QFontDatabase::families().contains(kChineseFace)) {
        QFont font = app.font();
        font.setFamilies(QStringList {kChineseFace} + font.families());
        app.setFont(font);
    }
}
