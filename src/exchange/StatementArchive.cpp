#include "StatementArchive.h"

#include <QList>
#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <locale.h>
#include <memory>
#include <new>

namespace {

using TArchive = std::unique_ptr<archive, decltype(&archive_read_free)>;

// libarchive gives a name marked UTF-8 in the locale's character set, and no
// name at all where it does not fit (a Chinese name under the C locale).
// While it lives, this thread's character set is UTF-8.
class TUtf8Names
{
public:
    TUtf8Names()
        : FLocale(newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr)))
        , FPrevious(FLocale ? uselocale(FLocale) : nullptr)
    {
    }
    ~TUtf8Names()
    {
        if (FLocale) {
            uselocale(FPrevious);
            freelocale(FLocale);
        }
    }
    TUtf8Names(const TUtf8Names &) = delete;
    TUtf8Names &operator=(const TUtf8Names &) = delete;

private:
    locale_t FLocale;
    locale_t FPrevious;
};

// A zip reader over the bytes, given the password when there is one; null
// when the bytes do not open as a zip archive.
TArchive OpenZip(const QByteArray &bytes, const QString &password)
{
    TArchive zip(archive_read_new(), &archive_read_free);
    if (!zip)
        throw std::bad_alloc();
    archive_read_support_format_zip(zip.get());
    if (!password.isEmpty())
        archive_read_add_passphrase(zip.get(), password.toUtf8().constData());
    if (archive_read_open_memory(zip.get(), bytes.constData(), static_cast<size_t>(bytes.size()))
        != ARCHIVE_OK)
        zip.reset();
    return zip;
}

// Steps to the next entry: ARCHIVE_OK (a warning, such as a name in another
// character set, is no matter), ARCHIVE_EOF after the last, else damage.
int NextEntry(archive *zip, archive_entry *&entry)
{
    const int status = archive_read_next_header(zip, &entry);
    return status == ARCHIVE_WARN ? ARCHIVE_OK : status;
}

// The paths of an archive's entries in their order, empty for an entry that
// is no file; false when the archive cannot be read to its end.
bool ListEntries(const QByteArray &bytes, QList<QByteArray> &paths)
{
    TArchive zip = OpenZip(bytes, QString());
    archive_entry *entry = nullptr;
    int status = ARCHIVE_FATAL;
    while (zip && (status = NextEntry(zip.get(), entry)) == ARCHIVE_OK) {
        const char *path = archive_entry_pathname(entry);
        paths << (path && archive_entry_filetype(entry) == AE_IFREG ? QByteArray(path)
                                                                    : QByteArray());
    }
    return status == ARCHIVE_EOF;
}

// A bill by its name; the copies a Mac adds under __MACOSX are not.
bool IsBillName(const QByteArray &path)
{
    const QByteArray name = path.toLower();
    return !name.startsWith("__macosx/")
        && (name.endsWith(".csv") || name.endsWith(".xlsx") || name.endsWith(".xls"));
}

TUnpackedStatement Refused(const QString &reason, bool needsPassword = false)
{
    TUnpackedStatement refused;
    refused.Result = Outcome::Fault(reason);
    refused.NeedsPassword = needsPassword;
    return refused;
}

const QString kDamaged = QStringLiteral("压缩包已损坏，无法解压其中的账单");

} // namespace

bool IsBillArchive(const QByteArray &bytes)
{
    const TUtf8Names names;
    QList<QByteArray> paths;
    if (!ListEntries(bytes, paths))
        return false;
    return std::none_of(paths.cbegin(), paths.cend(), [](const QByteArray &path) {
        return path == "[Content_Types].xml" || path.startsWith("xl/");
    });
}

TUnpackedStatement UnpackStatement(const QByteArray &bytes, const QString &password)
{
    const TUtf8Names names;
    QList<QByteArray> paths;
    if (!ListEntries(bytes, paths))
        return Refused(kDamaged);
    QList<qsizetype> bills;
    for (qsizetype i = 0; i < paths.size(); ++i)
        if (IsBillName(paths[i]))
            bills << i;
    if (bills.isEmpty())
        return Refused(QStringLiteral("压缩包里没有账单文件（.csv、.xlsx 或 .xls）"));
    if (bills.size() > 1)
        return Refused(
            QStringLiteral("压缩包里有 %1 个账单文件：请先解压，再逐个导入").arg(bills.size()));

    TArchive zip = OpenZip(bytes, password);
    archive_entry *entry = nullptr;
    for (qsizetype i = 0; i <= bills.first(); ++i)
        if (!zip || NextEntry(zip.get(), entry) != ARCHIVE_OK)
            return Refused(kDamaged);
    const bool encrypted = archive_entry_is_encrypted(entry);
    if (encrypted && password.isEmpty())
        return Refused(QStringLiteral("压缩包设有密码"), true);
    TUnpackedStatement bill;
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (;;) {
        const la_ssize_t read = archive_read_data(zip.get(), chunk.data(), chunk.size());
        if (read == 0)
            return bill;
        // A wrong password fails at once; damage may show at any point.
        if (read < 0)
            return encrypted && bill.Bytes.isEmpty()
                ? Refused(QStringLiteral("解压密码不正确"), true)
                : Refused(kDamaged);
        if (bill.Bytes.size() + read > kMaxUnpackedBytes)
            return Refused(QStringLiteral("文件解压后超过 %1 MB，不像是账单，没有读取")
                               .arg(kMaxUnpackedBytes >> 20));
        bill.Bytes.append(chunk.constData(), read);
    }
}
