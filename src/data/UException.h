#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The general failure: a message for the user. Logic throws it; only the
// application's event dispatch catches it and hands it to GCardException.
class Exception : public std::exception
{
public:
    explicit Exception(QString message);
    const QString &Message() const { return FMessage; }
    const char *what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// The silent abort: ends a command (a declined question) and is shown nowhere.
class EAbort : public Exception
{
public:
    EAbort();
};

// A text that does not convert to a number or an amount.
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

// A database failure: the engine's message, a headline and the statement text.
class EDBException : public Exception
{
public:
    EDBException(const QString &message, QString title, QString sqlText);
    QString FTitle;
    QString FSqlText;
};

// Shows every failure that reaches the application in one place.
class TCardException
{
public:
    void ReportException(const std::exception &failure);

    QString FErrMsg;
    QString FErrTitle;
    QString FErrSql;
};

extern TCardException *GCardException;
