#include "StillFormat.h"

#include "FilePath.h"

#include <QFileInfo>
#include <QStringList>

namespace {

bool isRawExtension(const QString &path)
{
    static const QStringList raw{"cr3", "cr2", "nef", "nrw", "arw", "raf", "rw2", "orf", "pef", "srw", "dng"};
    return raw.contains(QFileInfo(path).suffix().toLower());
}

StillFormat fromExtension(const QString &path)
{
    static const QStringList heif{"heic", "heif", "avif", "hif"};
    if (isRawExtension(path))
        return StillFormat::CameraRaw;
    if (heif.contains(QFileInfo(path).suffix().toLower()))
        return StillFormat::Heif;
    return StillFormat::Unknown;
}

StillFormat fromIsoBrand(const QByteArray &brand)
{
    if (brand == "crx ")
        return StillFormat::CameraRaw;
    static const QList<QByteArray> heif{"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};
    return heif.contains(brand) ? StillFormat::Heif : StillFormat::Unknown;
}

} // namespace

StillFormat sniffStillFormat(const QString &path)
{
    const auto file = FilePath::openForReading(path);
    if (!file)
        return StillFormat::Unknown;
    const QByteArray head = file->read(32);

    if (head.startsWith("\xFF\xD8\xFF") || head.startsWith("\x89PNG") || head.startsWith("BM")
        || (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP"))
        return StillFormat::QtImage;
    if (head.startsWith("FUJIFILMCCD-RAW") || head.startsWith("IIRO") || head.startsWith("IIRS")
        || head.startsWith("MMOR") || head.startsWith(QByteArray("IIU\0", 4)))
        return StillFormat::CameraRaw;
    if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4)))
        return isRawExtension(path) ? StillFormat::CameraRaw : StillFormat::QtImage;
    if (head.mid(4, 4) == "ftyp") {
        const StillFormat byBrand = fromIsoBrand(head.mid(8, 4));
        return byBrand == StillFormat::Unknown ? fromExtension(path) : byBrand;
    }
    return fromExtension(path);
}
