#include "WebDav.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <QXmlStreamReader>

namespace {

// A transfer that moves no byte for this long is given up.
constexpr int kStallMs = 60000;

const QByteArray kPropfindBody = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                 "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:getcontentlength/>"
                                 "<d:getlastmodified/><d:resourcetype/></d:prop></d:propfind>";

// The server's answer in the user's words, with its status line.
QString HttpReason(int status, const QString &phrase)
{
    QString what;
    switch (status) {
    case 401:
        what = QStringLiteral("用户名或密码不对");
        break;
    case 403:
        what = QStringLiteral("服务器拒绝了这个操作");
        break;
    case 404:
        what = QStringLiteral("服务器上没有这个文件或文件夹");
        break;
    case 409:
        what = QStringLiteral("服务器上没有这个文件夹，请先在服务器上建好它");
        break;
    case 413:
    case 507:
        what = QStringLiteral("服务器的空间不足");
        break;
    default:
        what = QStringLiteral("服务器出错");
    }
    return QStringLiteral("%1（服务器答复：%2 %3）").arg(what).arg(status).arg(phrase).trimmed();
}

// Whether a host is this machine or on a private network.
bool IsLocal(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0
        || host.endsWith(QLatin1String(".local"), Qt::CaseInsensitive)
        || host.endsWith(QLatin1String(".lan"), Qt::CaseInsensitive))
        return true;
    const QHostAddress address(host);
    if (address.isNull())
        return false;
    return address.isLoopback() || address.isLinkLocal() || address.isUniqueLocalUnicast()
        || address.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8)
        || address.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12)
        || address.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16);
}

} // namespace

Outcome CheckAddress(const QUrl &address, QString *warning)
{
    if (!address.isValid() || address.host().isEmpty())
        return Outcome::Fault(
            QStringLiteral("请输入服务器地址，例如 https://dav.example.com/dav/"));
    const QString scheme = address.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return Outcome::Sound();
    if (scheme != QLatin1String("http"))
        return Outcome::Fault(QStringLiteral("服务器地址要以 https:// 开头"));
    if (!IsLocal(address.host()))
        return Outcome::Fault(
            QStringLiteral("只有局域网内的服务器可以用 http://，互联网上的服务器请用 https://"));
    if (warning)
        *warning = QStringLiteral("http 连接不加密，只应在自己家里的局域网中使用");
    return Outcome::Sound();
}

TWebDav::TWebDav(TWebDavPlace place)
    : FPlace(std::move(place))
    , FNetwork(std::make_unique<QNetworkAccessManager>())
{
    FNetwork->setAutoDeleteReplies(true);
}

TWebDav::~TWebDav() = default;

QUrl TWebDav::FileUrl(const QString &name) const
{
    QUrl url = FPlace.Address;
    QString path = url.path();
    for (const QString &part : {FPlace.Folder, name}) {
        const QString trimmed
            = part.trimmed().remove(QRegularExpression(QStringLiteral("^/+|/+$")));
        if (trimmed.isEmpty())
            continue;
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += trimmed;
    }
    if (name.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path);
    return url;
}

QNetworkRequest TWebDav::Request(const QUrl &url) const
{
    QNetworkRequest request(url);
    request.setTransferTimeout(kStallMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    const QByteArray credentials = (FPlace.User + QLatin1Char(':') + FPlace.Password).toUtf8();
    request.setRawHeader("Authorization", "Basic " + credentials.toBase64());
    return request;
}

Outcome TWebDav::Wait(QNetworkReply *reply, const QString &what, const TProgress &progress,
                      QIODevice *sink)
{
    QEventLoop loop;
    bool sinkFailed = false;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (progress) {
        QObject::connect(reply, &QNetworkReply::uploadProgress, &loop, progress);
        QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, progress);
    }
    if (sink)
        QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
            const QByteArray bytes = reply->readAll();
            if (!sinkFailed && sink->write(bytes) != bytes.size()) {
                sinkFailed = true;
                reply->abort();
            }
        });
    QTimer watch;
    bool cancelled = false;
    if (FCancel) {
        QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
            if (FCancel->load()) {
                cancelled = true;
                reply->abort();
            }
        });
        watch.start(50);
    }
    if (!reply->isFinished())
        loop.exec();
    if (cancelled)
        return Outcome::Fault(QStringLiteral("已取消"));
    if (sinkFailed)
        return Outcome::Fault(QStringLiteral("无法写入下载的文件：%1").arg(sink->errorString()));
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() >= 300))
        return Outcome::Fault(
            QStringLiteral("%1失败：%2")
                .arg(what,
                     HttpReason(
                         status.toInt(),
                         reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString())));
    if (reply->error() == QNetworkReply::AuthenticationRequiredError)
        return Outcome::Fault(QStringLiteral("%1失败：%2")
                                  .arg(what, HttpReason(401, QStringLiteral("Unauthorized"))));
    if (reply->error() != QNetworkReply::NoError)
        return Outcome::Fault(QStringLiteral("%1失败：无法连接服务器 %2（%3）")
                                  .arg(what, FPlace.Address.host(), reply->errorString()));
    return Outcome::Sound();
}

Outcome TWebDav::Propfind(const QUrl &url, int depth, QList<TRemoteFile> &files)
{
    QNetworkRequest request = Request(url);
    request.setRawHeader("Depth", QByteArray::number(depth));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/xml"));
    QNetworkReply *reply = FNetwork->sendCustomRequest(request, "PROPFIND", kPropfindBody);
    const Outcome done = Wait(reply, QStringLiteral("读取服务器上的文件夹"));
    if (!done.IsSound())
        return done;
    // Each response names a file (or the folder itself, which ends in '/').
    QXmlStreamReader xml(reply->readAll());
    TRemoteFile file;
    bool collection = false;
    QString text;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            text.clear();
            if (xml.name() == QLatin1String("response")) {
                file = TRemoteFile();
                collection = false;
            } else if (xml.name() == QLatin1String("collection")) {
                collection = true;
            }
            break;
        case QXmlStreamReader::Characters:
            text += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            if (xml.name() == QLatin1String("href"))
                file.Name = QUrl::fromPercentEncoding(text.trimmed().toUtf8())
                                .section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty);
            else if (xml.name() == QLatin1String("getcontentlength"))
                file.Size = text.trimmed().toLongLong();
            else if (xml.name() == QLatin1String("getlastmodified"))
                file.Modified = QDateTime::fromString(text.trimmed(), Qt::RFC2822Date);
            else if (xml.name() == QLatin1String("response") && !collection)
                files << file;
            break;
        default:
            break;
        }
    }
    if (xml.hasError())
        return Outcome::Fault(QStringLiteral("服务器的答复无法识别（%1），它可能不是 WebDAV 服务器")
                                  .arg(xml.errorString()));
    return Outcome::Sound();
}

Outcome TWebDav::Reach()
{
    QList<TRemoteFile> files;
    return Propfind(FileUrl({}), 0, files);
}

Outcome TWebDav::Check()
{
    const QString probe = QStringLiteral(".bookkeep-check");
    QByteArray bytes("check");
    return Reach()
        .Then([&] {
            QNetworkReply *reply = FNetwork->put(Request(FileUrl(probe)), bytes);
            return Wait(reply, QStringLiteral("在服务器的文件夹中写入"));
        })
        .Then([&] { return Remove(probe); });
}

Outcome TWebDav::List(QList<TRemoteFile> &files)
{
    files.clear();
    return Propfind(FileUrl({}), 1, files);
}

Outcome TWebDav::Size(const QString &name, qint64 &size)
{
    QList<TRemoteFile> files;
    const Outcome done = Propfind(FileUrl(name), 0, files);
    if (!done.IsSound())
        return done;
    if (files.size() != 1)
        return Outcome::Fault(QStringLiteral("服务器上没有文件 %1").arg(name));
    size = files.first().Size;
    return Outcome::Sound();
}

Outcome TWebDav::Put(const QString &localFile, const QString &name, const TProgress &progress)
{
    QFile file(localFile);
    if (!file.open(QIODevice::ReadOnly))
        return Outcome::Fault(
            QStringLiteral("无法读取文件 %1：%2").arg(localFile, file.errorString()));
    QNetworkRequest request = Request(FileUrl(name));
    request.setHeader(QNetworkRequest::ContentLengthHeader, file.size());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/octet-stream"));
    return Wait(FNetwork->put(request, &file), QStringLiteral("上传"), progress);
}

Outcome TWebDav::Move(const QString &from, const QString &to)
{
    QNetworkRequest request = Request(FileUrl(from));
    request.setRawHeader("Destination", FileUrl(to).toEncoded());
    request.setRawHeader("Overwrite", "T");
    return Wait(FNetwork->sendCustomRequest(request, "MOVE"), QStringLiteral("在服务器上改名"));
}

Outcome TWebDav::Get(const QString &name, const QString &localFile, const TProgress &progress)
{
    QSaveFile file(localFile);
    if (!file.open(QIODevice::WriteOnly))
        return Outcome::Fault(
            QStringLiteral("无法写入文件 %1：%2").arg(localFile, file.errorString()));
    QNetworkReply *reply = FNetwork->get(Request(FileUrl(name)));
    const Outcome done = Wait(reply, QStringLiteral("下载"), progress, &file);
    if (!done.IsSound())
        return done;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() != file.size())
        return Outcome::Fault(QStringLiteral("下载不完整：收到 %1 字节，应为 %2 字节")
                                  .arg(file.size())
                                  .arg(length.toLongLong()));
    if (!file.commit())
        return Outcome::Fault(
            QStringLiteral("无法写入文件 %1：%2").arg(localFile, file.errorString()));
    return Outcome::Sound();
}

Outcome TWebDav::Head(const QString &name, qint64 count, QByteArray &bytes)
{
    QNetworkRequest request = Request(FileUrl(name));
    request.setRawHeader("Range", "bytes=0-" + QByteArray::number(count - 1));
    QNetworkReply *reply = FNetwork->get(request);
    const Outcome done = Wait(reply, QStringLiteral("下载"));
    if (!done.IsSound())
        return done;
    bytes = reply->readAll().left(count);
    return Outcome::Sound();
}

Outcome TWebDav::Remove(const QString &name)
{
    return Wait(FNetwork->deleteResource(Request(FileUrl(name))),
                QStringLiteral("删除服务器上的文件"));
}
