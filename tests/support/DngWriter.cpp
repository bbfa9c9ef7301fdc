#include "DngWriter.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <array>
#include <cmath>
#include <initializer_list>
#include <map>
#include <vector>

namespace {

enum Type : quint16 { Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SRational = 10 };

template<typename T>
void put(QByteArray &out, T value)
{
    value = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&value), sizeof value);
}

// One little-endian TIFF directory. Values longer than four bytes go right after it, each at an
// even offset, as TIFF asks.
class Directory
{
public:
    // Rationals are given as numerator and denominator pairs, flattened: `perValue` 2.
    template<typename T>
    void set(quint16 tag, Type type, std::initializer_list<T> values, int perValue = 1)
    {
        QByteArray data;
        for (T v : values)
            put(data, v);
        m_entries[tag] = {type, quint32(values.size() / perValue), data};
    }
    void setText(quint16 tag, const char *text)
    {
        m_entries[tag] = {Ascii, quint32(qstrlen(text) + 1), QByteArray(text, qstrlen(text) + 1)}; // with its NUL
    }

    quint32 size() const { return quint32(serialise(0).size()); }

    QByteArray serialise(quint32 offset) const
    {
        QByteArray table, values;
        const quint32 start = offset + 2 + 12 * quint32(m_entries.size()) + 4;
        put(table, quint16(m_entries.size()));
        for (const auto &[tag, entry] : m_entries) { // std::map keeps the tags ascending, as TIFF requires
            put(table, tag);
            put(table, quint16(entry.type));
            put(table, entry.count);
            if (entry.data.size() <= 4) {
                table.append(entry.data.leftJustified(4, '\0'));
                continue;
            }
            put(table, start + quint32(values.size()));
            values.append(entry.data);
            if (values.size() % 2)
                values.append('\0');
        }
        put(table, quint32(0)); // no further directory
        return table + values;
    }

private:
    struct Entry
    {
        Type type;
        quint32 count;
        QByteArray data;
    };
    std::map<quint16, Entry> m_entries;
};

} // namespace

bool writeBayerDng(const QString &path, const QImage &scene)
{
    const QImage rgb = scene.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull() || rgb.width() % 2 || rgb.height() % 2)
        return false;
    const quint32 width = rgb.width(), height = rgb.height();
    const quint32 stripBytes = width * height * 2;

    Directory ifd;
    ifd.set<quint32>(254, Long, {0}); // NewSubFileType: the main picture
    ifd.set<quint32>(256, Long, {width});
    ifd.set<quint32>(257, Long, {height});
    ifd.set<quint16>(258, Short, {16});    // BitsPerSample
    ifd.set<quint16>(259, Short, {1});     // Compression: none
    ifd.set<quint16>(262, Short, {32803}); // PhotometricInterpretation: colour filter array
    ifd.setText(271, "Orvane");
    ifd.setText(272, "Bench");
    ifd.set<quint32>(273, Long, {0}); // StripOffsets, known once the directory's size is
    ifd.set<quint16>(277, Short, {1}); // SamplesPerPixel
    ifd.set<quint32>(278, Long, {height}); // RowsPerStrip
    ifd.set<quint32>(279, Long, {stripBytes});
    ifd.set<quint16>(284, Short, {1});            // PlanarConfiguration: chunky
    ifd.set<quint16>(33421, Short, {2, 2});       // CFARepeatPatternDim
    ifd.set<quint8>(33422, Byte, {0, 1, 1, 2});   // CFAPattern: RGGB
    ifd.set<quint8>(50706, Byte, {1, 4, 0, 0});   // DNGVersion
    ifd.setText(50708, "Orvane Bench");           // UniqueCameraModel
    ifd.set<quint32>(50714, Long, {0});           // BlackLevel
    ifd.set<quint32>(50717, Long, {65535});       // WhiteLevel
    // ColorMatrix1 maps XYZ to the camera's values; for a "camera" that records linear sRGB that is
    // the usual XYZ-to-sRGB matrix.
    ifd.set<qint32>(50721, SRational,
                    {32406, 10000, -15372, 10000, -4986, 10000, -9689, 10000, 18758, 10000, 415, 10000,
                     557, 10000, -2040, 10000, 10570, 10000}, 2);
    ifd.set<qint32>(50728, Rational, {1, 1, 1, 1, 1, 1}, 2); // AsShotNeutral: D65 white is neutral already
    ifd.set<quint16>(50778, Short, {21});                  // CalibrationIlluminant1: D65

    const quint32 ifdOffset = 8;
    const quint32 pixelOffset = (ifdOffset + ifd.size() + 1) & ~1u;
    ifd.set<quint32>(273, Long, {pixelOffset});

    QByteArray head("II");
    put(head, quint16(42));
    put(head, ifdOffset);
    head += ifd.serialise(ifdOffset);
    head = head.leftJustified(pixelOffset, '\0');

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(head) != head.size())
        return false;
    // The scene's values are sRGB-encoded; the sensor records light linearly.
    std::array<quint16, 256> linear;
    for (int v = 0; v < 256; ++v)
        linear[v] = quint16(std::lround(65535 * std::pow(v / 255.0, 2.2)));
    // RGGB: red on even rows and columns, blue on odd ones, green between.
    std::vector<quint16> row(width);
    for (quint32 y = 0; y < height; ++y) {
        const uchar *pixel = rgb.constScanLine(y);
        for (quint32 x = 0; x < width; ++x) {
            const int channel = (y % 2) + (x % 2); // 0 red, 1 green, 2 blue
            row[x] = qToLittleEndian(linear[pixel[x * 3 + channel]]);
        }
        const auto bytes = qint64(row.size() * sizeof(quint16));
        if (file.write(reinterpret_cast<const char *>(row.data()), bytes) != bytes)
            return false;
    }
    return file.flush();
}

