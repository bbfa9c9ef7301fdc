#include "Cr3Boxes.h"

#include "FilePath.h"

#include <QtEndian>

namespace {

constexpr qint64 largestMetadataBox = 4 * 1024 * 1024;

struct Box
{
    QByteArray type;
    qint64 contentStart = 0;
    qint64 end = 0;
};

// The box starting at `at`, within `limit`; nothing when its header is cut short or lies.
std::optional<Box> boxAt(QIODevice &file, qint64 at, qint64 limit)
{
    if (at + 8 > limit || !file.seek(at))
        return std::nullopt;
    const QByteArray header = file.read(16);
    if (header.size() < 8)
        return std::nullopt;
    qint64 size = qFromBigEndian<quint32>(header.constData());
    qint64 headerSize = 8;
    if (size == 1) {
        if (header.size() < 16)
            return std::nullopt;
        size = static_cast<qint64>(qFromBigEndian<quint64>(header.constData() + 8));
        headerSize = 16;
    } else if (size == 0) {
        size = limit - at;
    }
    if (size < headerSize || size > limit - at)
        return std::nullopt;
    return Box{header.mid(4, 4), at + headerSize, at + size};
}

template<typename Visit>
void forEachBox(QIODevice &file, qint64 start, qint64 end, Visit visit)
{
    qint64 at = start;
    while (const auto box = boxAt(file, at, end)) {
        if (!visit(*box))
            return;
        at = box->end;
    }
}

} // namespace

std::optional<Cr3MetadataBoxes> readCr3MetadataBoxes(const QString &path)
{
    const auto file = FilePath::openForReading(path);
    if (!file)
        return std::nullopt;
    static const QByteArray canonUuid = QByteArray::fromHex("85c0b687820f11e08111f4ce462b6a48");

    std::optional<Cr3MetadataBoxes> found;
    // The media data after moov may be cut short; only the boxes up to moov need to be whole.
    const qint64 fileEnd = file->size();
    forEachBox(*file, 0, fileEnd, [&](const Box &top) {
        if (top.type != "moov")
            return true;
        forEachBox(*file, top.contentStart, top.end, [&](const Box &child) {
            if (child.type != "uuid" || !file->seek(child.contentStart) || file->read(16) != canonUuid)
                return true;
            Cr3MetadataBoxes boxes;
            forEachBox(*file, child.contentStart + 16, child.end, [&](const Box &item) {
                QByteArray *target = item.type == "CMT1" ? &boxes.imageIfd
                    : item.type == "CMT2"                ? &boxes.exifIfd
                    : item.type == "CMT4"                ? &boxes.gpsIfd
                                                         : nullptr;
                const qint64 length = item.end - item.contentStart;
                if (target && length <= largestMetadataBox && file->seek(item.contentStart))
                    *target = file->read(length);
                return true;
            });
            found = boxes;
            return false;
        });
        return false;
    });
    return found;
}
