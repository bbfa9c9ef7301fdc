#include "FilePath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FilePath {

namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Length of the well-formed UTF-8 sequence starting at `at`, or 0 when it is not one.
int sequenceLength(const QByteArray &bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t value = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(byte(at + i)))
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    return overlong || surrogate || value > 0x10FFFF ? 0 : length;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    QString result;
    result.reserve(bytes.size());
    qsizetype at = 0;
    while (at < bytes.size()) {
        const int length = sequenceLength(bytes, at);
        if (length == 0) {
            result.append(QChar(escapeBase + static_cast<unsigned char>(bytes[at])));
            ++at;
        } else {
            result.append(QString::fromUtf8(bytes.constData() + at, length));
            at += length;
        }
    }
    return result;
}

QByteArray encode(const QString &path)
{
    QByteArray result;
    result.reserve(path.size());
    qsizetype runStart = 0;
    const auto flushRun = [&](qsizetype end) { result.append(QStringView(path).mid(runStart, end - runStart).toUtf8()); };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        const bool escapedByte = unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF
            && !(i > 0 && path[i - 1].isHighSurrogate());
        if (!escapedByte)
            continue;
        flushRun(i);
        result.append(static_cast<char>(unit - escapeBase));
        runStart = i + 1;
    }
    flushRun(path.size());
    return result;
}

bool isRegularFile(const QString &path)
{
    struct stat info {};
    return ::stat(encode(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

std::unique_ptr<QFile> openForReading(const QString &path)
{
    if (!isRegularFile(path))
        return {};
    const int fd = ::open(encode(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    return file;
}

} // namespace FilePath
