#include "UException.h"

#include "UntPublic.h"

TCardException *GCardException = nullptr;

Exception::Exception(QString message)
    : FMessage(std::move(message))
    , FUtf8(FMessage.toUtf8())
{
}

EAbort::EAbort()
    : Exception(QStringLiteral("Operation aborted"))
{
}

EDBException::EDBException(const QString &message, QString title, QString sqlText)
    : Exception(message)
    , FTitle(std::move(title))
    , FSqlText(std::move(sqlText))
{
}

void TCardException::ReportException(const std::exception &failure)
{
    const auto *general = dynamic_cast<const Exception *>(&failure);
    FErrMsg = general ? general->Message() : QString::fromLocal8Bit(failure.what());
    if (const auto *db = dynamic_cast<const EDBException *>(&failure)) {
        FErrTitle = db->FTitle;
        FErrSql = db->FSqlText;
        ShowErrorDetail(FErrTitle, FErrMsg, FErrSql);
    } else {
        ShowError(FErrMsg);
    }
}
