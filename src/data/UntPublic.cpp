#include "UntPublic.h"

#include "DbAccess.h"
#include "ListModel.h"

#include <QDateTime>
#include <QFile>
#include <QStringEncoder>
#include <algorithm>
#include <cstdio>

QString AppPath;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Used until the program installs its own: nothing to click, so report and decline.
class TStderrPrompt : public TPrompt
{
public:
    bool Box(TBoxKind, const QString &caption, const QString &text) override
    {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(caption), qUtf8Printable(text));
        return false;
    }
    QString FileDialog(TFileDialogKind, const QString &) override { return {}; }
    void OpenDocument(const QString &) override { }
};

TStderrPrompt GStderrPrompt;
TPrompt *GPrompt = &GStderrPrompt;

} // namespace

TPrompt *SetPrompt(TPrompt *prompt)
{
    TPrompt *previous = GPrompt;
    GPrompt = prompt ? prompt : &GStderrPrompt;
    return previous;
}

TPrompt &Prompt()
{
    return *GPrompt;
}

void ShowInfo(const QString &text)
{
    Prompt().Box(TBoxKind::Info, QStringLiteral("提示"), text);
}

bool ShowConfirm(const QString &text)
{
    return Prompt().Box(TBoxKind::Confirm, QStringLiteral("确认"), text);
}

void ShowError(const QString &text)
{
    Prompt().Box(TBoxKind::Error, QStringLiteral("错误"), text);
}

void ShowErrorDetail(const QString &title, const QString &message, const QString &sqlText)
{
    const QString detail = title + kCrLf + QStringLiteral("详细信息：") + message;
    Prompt().Box(TBoxKind::Error, QStringLiteral("错误"), detail);
    if (!sqlText.isEmpty())
        WriteLog(detail + kCrLf + sqlText);
}

void WriteLog(const QString &text)
{
    // The clock is read twice, as for the entry and the file name each.
    const QString entry = QDateTime::currentDateTime().toString(u"yyyy-MM-dd hh:mm:ss")
        + QStringLiteral("：") + text + kCrLf;
    const QString fileName = AppPath + QStringLiteral("Log")
        + QDateTime::currentDateTime().toString(u"yyyyMMdd") + QStringLiteral(".log");
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    QStringEncoder encoder(QStringConverter::System);
    const QByteArray bytes = encoder.encode(entry);
    file.write(bytes);
}

void OpenDocument(const QString &target)
{
    Prompt().OpenDocument(target);
}

bool IsBlankName(const QString &name)
{
    return std::all_of(name.cbegin(), name.cend(),
                       [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
}

void FillListView(const QString &sql, TListModel &list)
{
    list.Clear();
    GDbAccess->ReadLong(sql, [&list](TQuery &query) { list.AppendRows(query); });
}
