#include "Files.h"
#include "Fixtures.h"
#include "PeakMemory.h"

#include "FilePath.h"
#include "HeifContainer.h"
#include "StillDecoder.h"
#include "StillLoaders.h"

#include <QBuffer>
#include <QDataStream>
#include <QFileInfo>
#include <QtEndian>

#include <libheif/heif.h>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

// Mean absolute difference per channel (0–255); 255 when the sizes differ.
double meanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 255;
    const QImage left = a.convertToFormat(QImage::Format_RGB888);
    const QImage right = b.convertToFormat(QImage::Format_RGB888);
    double total = 0;
    for (int y = 0; y < left.height(); ++y) {
        const uchar *p = left.constScanLine(y);
        const uchar *q = right.constScanLine(y);
        for (int i = 0; i < left.width() * 3; ++i)
            total += std::abs(int(p[i]) - int(q[i]));
    }
    return total / (double(left.width()) * left.height() * 3);
}

// Same-sized changes to a real file's boxes, for the cases no encoder at hand writes.
QByteArray withBoxChanged(QByteArray bytes, const QByteArray &box, const QByteArray &replacement)
{
    const qsizetype at = bytes.indexOf(box);
    EXPECT_GT(at, 0) << box.toHex().toStdString();
    return bytes.replace(at, replacement.size(), replacement);
}

// A HEIC whose colr box gives the matrix and range the picture is coded with. heif-enc leaves
// the box out (for older macOS), so the library writes it here.
void encodeWithColourBox(const QImage &picture, const QString &file, int matrix, bool fullRange)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    heif_image *image = nullptr;
    ASSERT_EQ(
        heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code,
        heif_error_Ok);
    ASSERT_EQ(heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8).code, heif_error_Ok);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgb.height(); ++y)
        std::copy_n(rgb.constScanLine(y), rgb.width() * 3, plane + y * stride);
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    ASSERT_EQ(heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code, heif_error_Ok);
    heif_encoder_set_lossy_quality(encoder, 95);
    heif_color_profile_nclx *nclx = heif_nclx_color_profile_alloc();
    nclx->matrix_coefficients = static_cast<heif_matrix_coefficients>(matrix);
    nclx->full_range_flag = fullRange;
    heif_image_set_nclx_color_profile(image, nclx);
    heif_encoding_options *options = heif_encoding_options_alloc();
    options->macOS_compatibility_workaround_no_nclx_profile = 0;
    EXPECT_EQ(heif_context_encode_image(context, image, encoder, options, nullptr).code, heif_error_Ok);
    EXPECT_EQ(heif_context_write_to_file(context, FilePath::encode(file).constData()).code, heif_error_Ok);
    heif_encoding_options_free(options);
    heif_nclx_color_profile_free(nclx);
    heif_encoder_release(encoder);
    heif_context_free(context);
    heif_image_release(image);
}

struct Encoding
{
    const char *name;
    QStringList options; // for heif-enc
    int matrix = 0;      // otherwise a colr box with this matrix and range
    bool fullRange = true;
    bool deep = false; // a 16-bit source, coded in 10 bits
};

// 4:2:0, 4:2:2, 4:4:4 and 10-bit pictures, of even and odd sizes, in both ranges and the usual
// matrices, come out as the source went in.
TEST(HeifDirect, EncodedPicturesLookLikeTheSource)
{
    const Encoding encodings[] = {
        {"chroma422", {"-p", "chroma=422"}},
        {"chroma444", {"-p", "chroma=444"}},
        {"tenBit", {"-b", "10"}, 0, true, true},
        {"bt709LimitedRange", {}, 1, false},
        {"bt2020FullRange", {}, 9, true},
    };
    Fixtures fixtures;
    for (const Encoding &encoding : encodings) {
        for (QSize size : {QSize(160, 120), QSize(97, 61)}) {
            const std::string what = std::string(encoding.name) + " " + std::to_string(size.width());
            const QImage source = quadrantPicture(size.width(), size.height())
                                      .convertToFormat(encoding.deep ? QImage::Format_RGBX64 : QImage::Format_RGB888);
            const QString heic = fixtures.path("coded.heic");
            if (encoding.matrix) {
                encodeWithColourBox(source, heic, encoding.matrix, encoding.fullRange);
            } else {
                const QString png = fixtures.picture("source.png", source);
                Fixtures::run("heif-enc", QStringList{"-q", "95"} + encoding.options + QStringList{png, "-o", heic});
            }
            const auto direct = StillLoaders::heifDirect(heic, 0);
            ASSERT_TRUE(direct) << what;
            EXPECT_LT(meanDifference(*direct, source), 2.0) << what;
        }
    }
}

// Phone and camera files are grids of tiles, cropped, turned by irot; their copies add mirrors
// and other colour descriptions. The direct decoder and libheif agree closely, at full size and
// scaled (libheif hands over deeper or 4:2:2 pictures as 8-bit 4:2:0, hence the margin).
TEST(HeifDirect, PhoneAndCameraFilesAsLibheifReadsThem)
{
    const QString portrait = sharedMedia("heic/iphone8plus_orient6.heic");
    const QString camera = sharedMedia("heic/sony_a7siii.hif");
    SKIP_WITHOUT_SHARED_MEDIA(portrait);
    Fixtures fixtures;
    const QByteArray irot = QByteArray("\0\0\0\x09irot", 8);
    const auto mirrored = [&](char axis) { return irot.left(4) + "imir" + axis; };
    const QByteArray nclx = QByteArray("\0\0\0\x13" "colrnclx", 12);
    const QByteArray nclxBt601Full = QByteArray::fromHex("0001000d000580");
    const QString files[] = {
        sharedMedia("heic/iphonex_orient3_gps-w.heic"),
        portrait,
        sharedMedia("heic/xiaomi_m2012k11ag_gps.heic"),
        camera,
        fixtures.text("mirrorTopBottom.heic", withBoxChanged(Files::read(portrait), irot, mirrored(0))),
        fixtures.text("mirrorLeftRight.heic", withBoxChanged(Files::read(portrait), irot, mirrored(1))),
        fixtures.text("bt2020Full.hif", withBoxChanged(Files::read(camera), nclx + nclxBt601Full,
                                                       nclx + QByteArray::fromHex("00090010000980"))),
    };
    for (const QString &file : files) {
        const std::string name = QFileInfo(file).fileName().toStdString();
        // The edited copies differ from their originals in boxes only, which boxed pictures show.
        for (int side : {1280, 0}) {
            if (side == 0 && file.startsWith(fixtures.path("")))
                continue;
            const auto direct = StillLoaders::heifDirect(file, side);
            const auto reference = StillLoaders::heif(file, side);
            ASSERT_TRUE(direct && reference) << name;
            EXPECT_LT(meanDifference(*direct, *reference), side ? 3.0 : 2.0) << name << " at " << side;
        }
    }
}

struct Damage
{
    const char *name;
    std::function<QByteArray(QByteArray)> apply;
    bool boxesReadable; // the damage lies past the boxes, in what they point at
};

QByteArray withWord(QByteArray bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
    return bytes;
}

// Where a box of the file starts (its size field), by its type.
qsizetype boxAt(const QByteArray &bytes, const char *type)
{
    return bytes.indexOf(type) - 4;
}

qsizetype boxEnd(const QByteArray &bytes, const char *type)
{
    const qsizetype at = boxAt(bytes, type);
    return at + qFromBigEndian<quint32>(bytes.constData() + at);
}

// Damaged containers give nothing from the direct decoder, never a crash or a huge allocation,
// and libheif behind it returns as well.
TEST(HeifDirect, DamagedContainersGiveNothing)
{
    Fixtures fixtures;
    const QString png = fixtures.picture("source.png", quadrantPicture(64, 48));
    const QString heic = fixtures.path("good.heic");
    Fixtures::run("heif-enc", {"-q", "90", png, "-o", heic});
    const QByteArray good = Files::read(heic);
    ASSERT_TRUE(StillLoaders::heifDirect(heic, 0));

    const Damage damages[] = {
        {"CutInsideMeta", [](QByteArray b) { return b.left(boxAt(b, "iprp")); }, false},
        {"MetaLongerThanFile", [](QByteArray b) { return withWord(b, boxAt(b, "meta"), 0x7FFFFFFF); }, false},
        {"BoxShorterThanItsHeader", [](QByteArray b) { return withWord(b, boxAt(b, "hdlr"), 4); }, false},
        {"BoxPastItsParent", [](QByteArray b) { return withWord(b, boxAt(b, "ipco"), 0x10000); }, false},
        {"NoPictureHandler", [](QByteArray b) { return withBoxChanged(b, "pict", "vide"); }, false},
        {"PropertyIndexOutOfRange", [](QByteArray b) { return b.replace(boxAt(b, "ipma") + 19, 1, "\xFF"); }, false},
        {"ExtentPastTheEnd", [](QByteArray b) { return withWord(b, boxEnd(b, "iloc") - 4, 0x7FFFFFF0); }, true},
        {"PicturesOfBillionsOfPixels",
         [](QByteArray b) { return withWord(withWord(b, boxAt(b, "ispe") + 12, 60000), boxAt(b, "ispe") + 16, 60000); }, true},
        {"ThousandsOfItemsWithEmptyExtents",
         [](QByteArray b) {
             // Version 2, fields of no bytes, then a thousand items of 65535 extents each.
             QByteArray iloc;
             QDataStream out(&iloc, QIODevice::WriteOnly);
             out << quint32(0) << quint32(0x696C6F63) << quint32(0x02000000) << quint16(0) << quint32(1000);
             for (quint32 id = 1; id <= 1000; ++id)
                 out << id << quint16(0) << quint16(0) << quint16(0xFFFF);
             iloc = withWord(iloc, 0, quint32(iloc.size()));
             const qsizetype at = boxAt(b, "iloc");
             const qsizetype grown = iloc.size() - (boxEnd(b, "iloc") - at);
             b.replace(at, boxEnd(b, "iloc") - at, iloc);
             const qsizetype meta = boxAt(b, "meta");
             return withWord(b, meta, qFromBigEndian<quint32>(b.constData() + meta) + quint32(grown));
         },
         false},
        {"ParameterSetsGarbled",
         [](QByteArray b) {
             const qsizetype start = boxAt(b, "hvcC") + 8 + 23;
             return b.replace(start, boxEnd(b, "hvcC") - start, QByteArray(boxEnd(b, "hvcC") - start, char(0xA5)));
         },
         true},
    };
    for (const Damage &damage : damages) {
        const QByteArray bytes = damage.apply(good);
        const PeakMemory peak;
        QBuffer buffer;
        buffer.setData(bytes);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        EXPECT_EQ(HeifContainer::read(buffer).has_value(), damage.boxesReadable) << damage.name;
        const QString file = fixtures.text(QString("%1.heic").arg(damage.name), bytes);
        EXPECT_FALSE(StillLoaders::heifDirect(file, 0)) << damage.name;
        EXPECT_FALSE(StillDecoder::decode(file, 1280)) << damage.name << " through libheif";
        // A file of a few kilobytes may not make us hold more than a picture's worth.
        EXPECT_LT(peak.growthKiB(), 64 * 1024) << damage.name;
    }
}

} // namespace
