#include "SealedCopy.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <sodium.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>

namespace {

// The layout of the header; every field is authenticated as the first chunk's
// additional data.
constexpr char kMagic[8] = {'B', 'K', 'E', 'P', 'S', 'E', 'A', 'L'};
constexpr quint8 kFormat = 1;
constexpr int kFormatAt = 8;
constexpr int kOpsAt = 9;
constexpr int kMemAt = 17;
constexpr int kSaltAt = 25;
constexpr int kCheckAt = kSaltAt + crypto_pwhash_SALTBYTES;
constexpr int kStreamAt = kCheckAt + crypto_generichash_BYTES;
static_assert(kStreamAt + crypto_secretstream_xchacha20poly1305_HEADERBYTES
              == SealedCopy::kHeaderSize);

// Argon2id at a cost a desktop pays once per copy; what a header asks for is
// bounded, so a crafted file cannot make the program take gigabytes.
constexpr quint64 kOpsLimit = 3;
constexpr quint64 kMemLimit = 64ull << 20;
constexpr quint64 kMaxOpsLimit = 16;
constexpr quint64 kMaxMemLimit = 1ull << 30;

constexpr qint64 kChunk = 1 << 20;
constexpr qint64 kSealedChunk = kChunk + crypto_secretstream_xchacha20poly1305_ABYTES;

// What the key check hashes: proves the passphrase before the stream is read.
constexpr char kCheckText[] = "bookkeep sealed copy key check";

using TKey = std::array<unsigned char, crypto_secretstream_xchacha20poly1305_KEYBYTES>;

bool Ready()
{
    return sodium_init() >= 0;
}

bool Derive(const QString &passphrase, const unsigned char *salt, quint64 ops, quint64 mem,
            TKey &key)
{
    const QByteArray text = passphrase.toUtf8();
    return crypto_pwhash(key.data(), key.size(), text.constData(), quint64(text.size()), salt, ops,
                         size_t(mem), crypto_pwhash_ALG_ARGON2ID13)
        == 0;
}

// The last key derived and what it came from (the passphrase only as a hash):
// the copies of one run are sealed with one salt and key, and a copy sealed in
// this run opens without deriving again. The key derivation takes a tenth of a
// second and 64 MB on purpose; the stream's random header keeps every copy's
// encryption apart. Copies are sealed on a worker thread, hence the lock.
struct TDerived
{
    std::array<unsigned char, crypto_generichash_BYTES> Passphrase {};
    std::array<unsigned char, crypto_pwhash_SALTBYTES> Salt {};
    quint64 Ops = 0;
    quint64 Mem = 0;
    TKey Key {};
    bool Valid = false;
};
std::mutex gDerivedLock;
TDerived gDerived;

std::array<unsigned char, crypto_generichash_BYTES> PassphraseHash(const QString &passphrase)
{
    const QByteArray text = passphrase.toUtf8();
    std::array<unsigned char, crypto_generichash_BYTES> hash;
    crypto_generichash(hash.data(), hash.size(),
                       reinterpret_cast<const unsigned char *>(text.constData()),
                       quint64(text.size()), nullptr, 0);
    return hash;
}

// The key for the passphrase and salt, derived or the last one derived. With
// `newSalt`, the salt is the last key's when the passphrase is the same, a new
// random one otherwise, and is written to `salt`.
bool DeriveOnce(const QString &passphrase, unsigned char *salt, bool newSalt, quint64 ops,
                quint64 mem, TKey &key)
{
    const auto hash = PassphraseHash(passphrase);
    const std::lock_guard lock(gDerivedLock);
    const bool same = gDerived.Valid && gDerived.Passphrase == hash && gDerived.Ops == ops
        && gDerived.Mem == mem;
    if (newSalt && same)
        std::memcpy(salt, gDerived.Salt.data(), gDerived.Salt.size());
    else if (newSalt)
        randombytes_buf(salt, crypto_pwhash_SALTBYTES);
    if (same && std::memcmp(salt, gDerived.Salt.data(), gDerived.Salt.size()) == 0) {
        key = gDerived.Key;
        return true;
    }
    if (!Derive(passphrase, salt, ops, mem, key))
        return false;
    gDerived = {hash, {}, ops, mem, key, true};
    std::memcpy(gDerived.Salt.data(), salt, gDerived.Salt.size());
    return true;
}

void KeyCheck(const TKey &key, unsigned char *out)
{
    crypto_generichash(out, crypto_generichash_BYTES,
                       reinterpret_cast<const unsigned char *>(kCheckText), sizeof kCheckText - 1,
                       key.data(), key.size());
}

Outcome WriteFault(const QString &file, const QString &error)
{
    return Outcome::Fault(QStringLiteral("无法写入文件 %1：%2").arg(file, error));
}

// Writes through a QSaveFile: the target appears whole, synced, or not at all.
// Each block is written on another thread while the caller fills the next
// buffer, so the disk and the cipher work at once.
class TWriter
{
public:
    explicit TWriter(const QString &file)
        : FFile(file)
    {
    }
    ~TWriter() { Wait(); }
    TWriter(const TWriter &) = delete;
    TWriter &operator=(const TWriter &) = delete;

    bool Open() { return FFile.open(QIODevice::WriteOnly); }
    // The buffer to fill next: the one whose write has ended.
    char *Buffer() { return FBuffers[FNext].data(); }
    // Starts writing the first `size` bytes of Buffer(); false when a write
    // before it failed.
    bool Send(qint64 size)
    {
        if (!Wait())
            return false;
        const char *data = Buffer();
        FPending = std::async(std::launch::async,
                              [this, data, size] { return FFile.write(data, size) == size; });
        FNext = 1 - FNext;
        return true;
    }
    bool Commit()
    {
        return Wait() && FFile.flush() && ::fsync(FFile.handle()) == 0 && FFile.commit();
    }
    QString Error() const { return FFile.errorString(); }

private:
    bool Wait()
    {
        if (FPending.valid())
            FFailed = !FPending.get() || FFailed;
        return !FFailed;
    }

    QSaveFile FFile;
    std::array<QByteArray, 2> FBuffers {QByteArray(kSealedChunk + 4, Qt::Uninitialized),
                                        QByteArray(kSealedChunk + 4, Qt::Uninitialized)};
    int FNext = 0;
    std::future<bool> FPending;
    bool FFailed = false;
};

// Reads the next block on another thread while the caller works on this one.
// `read` fills a buffer and answers its length, or a negative value of its own.
class TReadAhead
{
public:
    using TRead = std::function<qint64(QByteArray &buffer)>;
    explicit TReadAhead(TRead read)
        : FRead(std::move(read))
    {
        Start();
    }
    ~TReadAhead()
    {
        if (FPending.valid())
            FPending.wait();
    }
    TReadAhead(const TReadAhead &) = delete;
    TReadAhead &operator=(const TReadAhead &) = delete;

    // The block read ahead (its length, or the reader's negative answer, then
    // nothing more is read) and starts on the one after it.
    qint64 Next(const char *&data)
    {
        const qint64 length = FPending.get();
        data = FBuffers[FNext].constData();
        FNext = 1 - FNext;
        if (length >= 0)
            Start();
        return length;
    }

private:
    void Start()
    {
        FPending = std::async(std::launch::async,
                              [this, next = FNext] { return FRead(FBuffers[next]); });
    }

    TRead FRead;
    std::array<QByteArray, 2> FBuffers {QByteArray(kSealedChunk + 4, Qt::Uninitialized),
                                        QByteArray(kSealedChunk + 4, Qt::Uninitialized)};
    int FNext = 0;
    std::future<qint64> FPending;
};

} // namespace

namespace SealedCopy {

Outcome CheckHeader(const QByteArray &header)
{
    if (header.size() < kHeaderSize || std::memcmp(header.constData(), kMagic, sizeof kMagic) != 0)
        return Outcome::Fault(QStringLiteral("这不是本软件的异地备份文件"));
    if (quint8(header[kFormatAt]) > kFormat)
        return Outcome::Fault(QStringLiteral("这份异地备份来自更新版本的软件，请先升级本软件"));
    const quint64 ops = qFromLittleEndian<quint64>(header.constData() + kOpsAt);
    const quint64 mem = qFromLittleEndian<quint64>(header.constData() + kMemAt);
    if (quint8(header[kFormatAt]) != kFormat || ops < crypto_pwhash_OPSLIMIT_MIN
        || ops > kMaxOpsLimit || mem < crypto_pwhash_MEMLIMIT_MIN || mem > kMaxMemLimit)
        return Outcome::Fault(QStringLiteral("异地备份的文件头已损坏"));
    return Outcome::Sound();
}

Outcome Seal(const QString &plainFile, const QString &sealedFile, const QString &passphrase,
             const TProgress &progress)
{
    if (passphrase.isEmpty())
        return Outcome::Fault(QStringLiteral("没有设置加密口令，备份不会离开本机"));
    if (!Ready())
        return Outcome::Fault(QStringLiteral("加密组件无法初始化"));
    QFile in(plainFile);
    if (!in.open(QIODevice::ReadOnly))
        return Outcome::Fault(
            QStringLiteral("无法读取文件 %1：%2").arg(plainFile, in.errorString()));

    QByteArray header(kHeaderSize, '\0');
    auto *bytes = reinterpret_cast<unsigned char *>(header.data());
    std::memcpy(bytes, kMagic, sizeof kMagic);
    bytes[kFormatAt] = kFormat;
    qToLittleEndian<quint64>(kOpsLimit, bytes + kOpsAt);
    qToLittleEndian<quint64>(kMemLimit, bytes + kMemAt);
    TKey key;
    if (!DeriveOnce(passphrase, bytes + kSaltAt, true, kOpsLimit, kMemLimit, key))
        return Outcome::Fault(QStringLiteral("内存不足，无法生成加密密钥"));
    KeyCheck(key, bytes + kCheckAt);
    crypto_secretstream_xchacha20poly1305_state state;
    crypto_secretstream_xchacha20poly1305_init_push(&state, bytes + kStreamAt, key.data());
    sodium_memzero(key.data(), key.size());

    TWriter out(sealedFile);
    if (!out.Open())
        return WriteFault(sealedFile, out.Error());
    std::memcpy(out.Buffer(), header.constData(), size_t(header.size()));
    if (!out.Send(header.size()))
        return WriteFault(sealedFile, out.Error());
    const qint64 total = in.size();
    // A short block is the last; -1 a failed read.
    TReadAhead blocks([&in](QByteArray &buffer) { return in.read(buffer.data(), kChunk); });
    qint64 done = 0;
    bool first = true;
    for (;;) {
        const char *plain = nullptr;
        const qint64 read = blocks.Next(plain);
        if (read < 0)
            return Outcome::Fault(
                QStringLiteral("无法读取文件 %1：%2").arg(plainFile, in.errorString()));
        done += read;
        const bool last = read < kChunk || done == total;
        unsigned long long length = 0;
        auto *target = reinterpret_cast<unsigned char *>(out.Buffer()) + 4;
        crypto_secretstream_xchacha20poly1305_push(
            &state, target, &length, reinterpret_cast<const unsigned char *>(plain), quint64(read),
            first ? reinterpret_cast<const unsigned char *>(header.constData()) : nullptr,
            first ? quint64(header.size()) : 0,
            last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        first = false;
        qToLittleEndian<quint32>(quint32(length), out.Buffer());
        if (!out.Send(qint64(length) + 4))
            return WriteFault(sealedFile, out.Error());
        if (progress && !progress(done, total))
            return Outcome::Fault(QStringLiteral("已取消"));
        if (last)
            break;
    }
    sodium_memzero(&state, sizeof state);
    if (!out.Commit())
        return WriteFault(sealedFile, out.Error());
    return Outcome::Sound();
}

Outcome Open(const QString &sealedFile, const QString &plainFile, const QString &passphrase,
             const TProgress &progress)
{
    if (!Ready())
        return Outcome::Fault(QStringLiteral("加密组件无法初始化"));
    QFile in(sealedFile);
    if (!in.open(QIODevice::ReadOnly))
        return Outcome::Fault(
            QStringLiteral("无法读取文件 %1：%2").arg(sealedFile, in.errorString()));
    const QByteArray header = in.read(kHeaderSize);
    if (const Outcome check = CheckHeader(header); !check.IsSound())
        return check;
    const auto *bytes = reinterpret_cast<const unsigned char *>(header.constData());
    TKey key;
    std::array<unsigned char, crypto_pwhash_SALTBYTES> salt;
    std::memcpy(salt.data(), bytes + kSaltAt, salt.size());
    if (!DeriveOnce(passphrase, salt.data(), false, qFromLittleEndian<quint64>(bytes + kOpsAt),
                    qFromLittleEndian<quint64>(bytes + kMemAt), key))
        return Outcome::Fault(QStringLiteral("内存不足，无法生成解密密钥"));
    std::array<unsigned char, crypto_generichash_BYTES> check;
    KeyCheck(key, check.data());
    if (sodium_memcmp(check.data(), bytes + kCheckAt, check.size()) != 0)
        return Outcome::Fault(QStringLiteral("加密口令不对，无法解开这份异地备份"));
    crypto_secretstream_xchacha20poly1305_state state;
    const int init
        = crypto_secretstream_xchacha20poly1305_init_pull(&state, bytes + kStreamAt, key.data());
    sodium_memzero(key.data(), key.size());
    if (init != 0)
        return Outcome::Fault(QStringLiteral("异地备份的文件头已损坏"));

    const Outcome damaged = Outcome::Fault(QStringLiteral("异地备份已损坏或被改动，不能使用"));
    TWriter out(plainFile);
    if (!out.Open())
        return WriteFault(plainFile, out.Error());
    const qint64 total = in.size();
    // A block as stored: its length, then its sealed bytes. -1: the file
    // ends before it; -2: its length cannot be a block's.
    constexpr qint64 kCutOff = -1;
    constexpr qint64 kBadLength = -2;
    TReadAhead blocks([&in](QByteArray &buffer) {
        quint32 length = 0;
        const qint64 lengthRead = in.read(reinterpret_cast<char *>(&length), 4);
        if (lengthRead == 0)
            return kCutOff;
        length = qFromLittleEndian(length);
        if (lengthRead != 4 || length < crypto_secretstream_xchacha20poly1305_ABYTES
            || length > kSealedChunk)
            return kBadLength;
        return in.read(buffer.data(), length) == qint64(length) ? qint64(length) : kCutOff;
    });
    qint64 done = kHeaderSize;
    bool first = true;
    for (;;) {
        const char *sealed = nullptr;
        const qint64 length = blocks.Next(sealed);
        if (length == kCutOff)
            return Outcome::Fault(QStringLiteral("异地备份不完整（文件在结尾之前中断）"));
        if (length < 0)
            return damaged;
        done += length + 4;
        unsigned long long plainLength = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(
                &state, reinterpret_cast<unsigned char *>(out.Buffer()), &plainLength, &tag,
                reinterpret_cast<const unsigned char *>(sealed), quint64(length),
                first ? bytes : nullptr, first ? quint64(header.size()) : 0)
            != 0)
            return damaged;
        first = false;
        if (!out.Send(qint64(plainLength)))
            return WriteFault(plainFile, out.Error());
        if (progress && !progress(done, total))
            return Outcome::Fault(QStringLiteral("已取消"));
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            if (done != total)
                return damaged;
            break;
        }
    }
    sodium_memzero(&state, sizeof state);
    if (!out.Commit())
        return WriteFault(plainFile, out.Error());
    return Outcome::Sound();
}

QByteArray DeriveKeyForTiming(const QString &passphrase)
{
    TKey key {};
    const std::array<unsigned char, crypto_pwhash_SALTBYTES> salt {};
    if (!Ready() || !Derive(passphrase, salt.data(), kOpsLimit, kMemLimit, key))
        return {};
    return QByteArray(reinterpret_cast<const char *>(key.data()), int(key.size()));
}

} // namespace SealedCopy
