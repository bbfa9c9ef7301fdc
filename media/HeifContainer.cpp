#include "HeifContainer.h"

#include <QByteArrayView>
#include <QtEndian>

#include <limits>

namespace HeifContainer {

namespace {

constexpr qsizetype largestPropertyCount = 256;

// Reads big-endian fields from a span; a read past the end yields zeros and marks the reader
// failed, so a parser checks once at the end instead of after every field.
class Reader
{
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}

    bool failed() const { return m_failed; }
    qsizetype remaining() const { return m_bytes.size() - m_at; }
    QByteArrayView rest() const { return m_bytes.sliced(m_failed ? m_bytes.size() : m_at); }

    quint64 number(int bytes)
    {
        if (!take(bytes))
            return 0;
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i)
            value = (value << 8) | static_cast<unsigned char>(m_bytes[m_at - bytes + i]);
        return value;
    }
    quint8 u8() { return static_cast<quint8>(number(1)); }
    quint16 u16() { return static_cast<quint16>(number(2)); }
    quint32 u32() { return static_cast<quint32>(number(4)); }

    QByteArray bytes(qsizetype count)
    {
        return take(count) ? m_bytes.sliced(m_at - count, count).toByteArray() : QByteArray();
    }
    void skip(qsizetype count) { take(count); }

private:
    bool take(qsizetype count)
    {
        if (m_failed || count < 0 || count > remaining()) {
            m_failed = true;
            return false;
        }
        m_at += count;
        return true;
    }

    QByteArrayView m_bytes;
    qsizetype m_at = 0;
    bool m_failed = false;
};

struct Box
{
    QByteArray type;
    QByteArrayView content;
};

// Calls visit(box) for each box in `bytes`; false when a box's header or size does not fit.
template<typename Visit>
bool forEachBox(QByteArrayView bytes, Visit visit)
{
    qsizetype at = 0;
    while (at < bytes.size()) {
        Reader header(bytes.sliced(at));
        quint64 size = header.u32();
        const QByteArray type = header.bytes(4);
        qsizetype headerSize = 8;
        if (size == 1) {
            size = header.number(8);
            headerSize = 16;
        } else if (size == 0) {
            size = quint64(bytes.size() - at);
        }
        if (header.failed() || size < quint64(headerSize) || size > quint64(bytes.size() - at))
            return false;
        if (!visit(Box{type, bytes.sliced(at + headerSize, qsizetype(size) - headerSize)}))
            return false;
        at += qsizetype(size);
    }
    return true;
}

struct FullBox
{
    int version = 0;
    quint32 flags = 0;
};

FullBox fullBoxHeader(Reader &reader)
{
    const quint32 word = reader.u32();
    return {int(word >> 24), word & 0xFFFFFF};
}

bool parsePrimary(QByteArrayView content, Container &container)
{
    Reader reader(content);
    const FullBox header = fullBoxHeader(reader);
    container.primary = header.version == 0 ? reader.u16() : reader.u32();
    return !reader.failed();
}

bool parseHandler(QByteArrayView content)
{
    Reader reader(content);
    fullBoxHeader(reader);
    reader.skip(4);
    return reader.bytes(4) == "pict" && !reader.failed();
}

bool parseItemInfoEntry(QByteArrayView content, Item &item)
{
    Reader reader(content);
    const FullBox header = fullBoxHeader(reader);
    if (header.version < 2) {
        // Versions 0 and 1 predate item types; such items are never pictures we decode.
        item.id = reader.u16();
        return !reader.failed();
    }
    item.id = header.version == 2 ? reader.u16() : reader.u32();
    reader.skip(2); // protection index
    item.type = reader.bytes(4);
    return !reader.failed();
}

bool parseItemInfo(QByteArrayView content, Container &container)
{
    Reader reader(content);
    const FullBox header = fullBoxHeader(reader);
    reader.skip(header.version == 0 ? 2 : 4); // the entry count; the boxes themselves say how many
    if (reader.failed())
        return false;
    return forEachBox(reader.rest(), [&](const Box &box) {
        if (box.type != "infe")
            return true;
        Item item;
        if (!parseItemInfoEntry(box.content, item))
            return false;
        if (!container.itemIndex.contains(item.id))
            container.itemIndex.insert(item.id, container.items.size());
        container.items.append(std::move(item));
        return true;
    });
}

bool parseLocations(QByteArrayView content, Container &container)
{
    Reader reader(content);
    const FullBox header = fullBoxHeader(reader);
    if (header.version > 2)
        return false;
    const quint8 sizes = reader.u8();
    const quint8 moreSizes = reader.u8();
    const int offsetSize = sizes >> 4;
    const int lengthSize = sizes & 0xF;
    const int baseOffsetSize = moreSizes >> 4;
    const int indexSize = header.version >= 1 ? moreSizes & 0xF : 0;
    for (int size : {offsetSize, lengthSize, baseOffsetSize, indexSize}) {
        if (size != 0 && size != 4 && size != 8)
            return false;
    }
    const quint32 count = header.version < 2 ? reader.u16() : reader.u32();
    for (quint32 i = 0; i < count && !reader.failed(); ++i) {
        const quint32 id = header.version < 2 ? reader.u16() : reader.u32();
        int method = 0;
        if (header.version >= 1)
            method = reader.u16() & 0xF;
        const quint16 dataReference = reader.u16();
        const quint64 base = reader.number(baseOffsetSize);
        const quint16 extentCount = reader.u16();
        // Extents whose fields take no bytes would cost memory without consuming the box: one such
        // extent (the whole file) is all that makes sense, and no list may outgrow what remains.
        const int extentBytes = indexSize + offsetSize + lengthSize;
        if (extentBytes == 0 ? extentCount > 1 : qint64(extentCount) * extentBytes > reader.remaining())
            return false;
        QList<Extent> extents;
        bool usable = (method == 0 || method == 1) && dataReference == 0;
        for (quint16 e = 0; e < extentCount && !reader.failed(); ++e) {
            reader.skip(indexSize);
            const quint64 offset = reader.number(offsetSize);
            const quint64 length = reader.number(lengthSize);
            if (offset > std::numeric_limits<quint64>::max() - base)
                usable = false;
            else
                extents.append({base + offset, length});
        }
        const auto found = container.itemIndex.constFind(id);
        if (found != container.itemIndex.cend() && !container.items[*found].extents.isEmpty())
            continue; // a second entry for the same item is ignored
        if (found != container.itemIndex.cend()) {
            Item &item = container.items[*found];
            item.located = usable && !extents.isEmpty();
            item.inItemData = method == 1;
            item.extents = std::move(extents);
        }
    }
    return !reader.failed();
}

bool parseReferences(QByteArrayView content, Container &container)
{
    Reader reader(content);
    const FullBox header = fullBoxHeader(reader);
    const int idSize = header.version == 0 ? 2 : 4;
    if (reader.failed())
        return false;
    return forEachBox(reader.rest(), [&](const Box &box) {
        Reader entry(box.content);
        Reference reference{box.type, quint32(entry.number(idSize)), {}};
        const quint16 count = entry.u16();
        for (quint16 i = 0; i < count && !entry.failed(); ++i)
            reference.to.append(quint32(entry.number(idSize)));
        if (entry.failed())
            return false;
        container.references.append(std::move(reference));
        return true;
    });
}

bool parseAssociations(QByteArrayView content, Container &container)
{
    Reader reader(content);
    const FullBox header = fullBoxHeader(reader);
    const quint32 count = reader.u32();
    for (quint32 i = 0; i < count && !reader.failed(); ++i) {
        const quint32 id = header.version < 1 ? reader.u16() : reader.u32();
        const quint8 associations = reader.u8();
        QList<Association> list;
        for (quint8 a = 0; a < associations && !reader.failed(); ++a) {
            const bool wide = header.flags & 1;
            const quint16 value = wide ? reader.u16() : reader.u8();
            const int index = wide ? value & 0x7FFF : value & 0x7F;
            const bool essential = wide ? value & 0x8000 : value & 0x80;
            if (index > 0) // 0 associates nothing
                list.append({index - 1, essential});
        }
        const auto found = container.itemIndex.constFind(id);
        if (found == container.itemIndex.cend())
            continue;
        QList<Association> &properties = container.items[*found].properties;
        // Real items have a handful; thousands only make every later look-up slow.
        if (properties.size() + list.size() > largestPropertyCount)
            return false;
        properties += list;
    }
    return !reader.failed();
}

bool parseProperties(QByteArrayView content, Container &container)
{
    bool sawContainer = false;
    QList<QByteArrayView> associationBoxes;
    const bool wellFormed = forEachBox(content, [&](const Box &box) {
        if (box.type == "ipco") {
            if (sawContainer)
                return false;
            sawContainer = true;
            return forEachBox(box.content, [&](const Box &property) {
                container.properties.append({property.type, property.content.toByteArray()});
                return true;
            });
        }
        if (box.type == "ipma")
            associationBoxes.append(box.content);
        return true;
    });
    if (!wellFormed)
        return false;
    // Associations name properties by index, and refer to items, so they are read last.
    for (QByteArrayView box : associationBoxes) {
        if (!parseAssociations(box, container))
            return false;
    }
    for (const Item &item : container.items) {
        for (const Association &association : item.properties) {
            if (association.property >= container.properties.size())
                return false;
        }
    }
    return true;
}

bool readExactly(QIODevice &file, qint64 at, qint64 length, char *into)
{
    return file.seek(at) && file.read(into, length) == length;
}

} // namespace

const Item *Container::item(quint32 id) const
{
    const auto found = itemIndex.constFind(id);
    return found == itemIndex.cend() ? nullptr : &items[*found];
}

QList<quint32> Container::referencedBy(quint32 from, const QByteArray &type) const
{
    QList<quint32> found;
    for (const Reference &reference : references) {
        if (reference.from == from && reference.type == type)
            found += reference.to;
    }
    return found;
}

QList<quint32> Container::referring(quint32 to, const QByteArray &type) const
{
    QList<quint32> found;
    for (const Reference &reference : references) {
        if (reference.type == type && reference.to.contains(to))
            found.append(reference.from);
    }
    return found;
}

std::optional<Container> parseMeta(const QByteArray &meta)
{
    Reader reader(meta);
    fullBoxHeader(reader);
    if (reader.failed())
        return std::nullopt;
    Container container;
    bool picture = false;
    bool hasPrimary = false;
    QByteArrayView itemInfo, locations, references, properties;
    const bool wellFormed = forEachBox(reader.rest(), [&](const Box &box) {
        if (box.type == "hdlr")
            picture = parseHandler(box.content);
        else if (box.type == "pitm")
            hasPrimary = parsePrimary(box.content, container);
        else if (box.type == "iinf")
            itemInfo = box.content;
        else if (box.type == "iloc")
            locations = box.content;
        else if (box.type == "iref")
            references = box.content;
        else if (box.type == "iprp")
            properties = box.content;
        else if (box.type == "idat")
            container.itemData = box.content.toByteArray();
        return true;
    });
    // Items first: the locations and properties attach to them.
    if (!wellFormed || !picture || !hasPrimary || itemInfo.isNull() || locations.isNull()
        || !parseItemInfo(itemInfo, container) || !parseLocations(locations, container)
        || (!references.isNull() && !parseReferences(references, container))
        || (!properties.isNull() && !parseProperties(properties, container)) || !container.item(container.primary))
        return std::nullopt;
    return container;
}

std::optional<Container> read(QIODevice &file)
{
    const qint64 fileSize = file.size();
    qint64 at = 0;
    while (at + 8 <= fileSize) {
        char header[16];
        if (!readExactly(file, at, 8, header))
            return std::nullopt;
        quint64 size = qFromBigEndian<quint32>(header);
        qint64 headerSize = 8;
        if (size == 1) {
            if (!readExactly(file, at + 8, 8, header + 8))
                return std::nullopt;
            size = qFromBigEndian<quint64>(header + 8);
            headerSize = 16;
        } else if (size == 0) {
            size = quint64(fileSize - at);
        }
        if (size < quint64(headerSize) || size > quint64(fileSize - at))
            return std::nullopt;
        if (QByteArrayView(header + 4, 4) == "meta") {
            const qint64 contentSize = qint64(size) - headerSize;
            if (contentSize > largestMetaBox)
                return std::nullopt;
            QByteArray meta(contentSize, Qt::Uninitialized);
            if (!readExactly(file, at + headerSize, contentSize, meta.data()))
                return std::nullopt;
            return parseMeta(meta);
        }
        at += qint64(size);
    }
    return std::nullopt;
}

namespace {

// The item's extents with "to the end" resolved, each checked against the file or the 'idat'.
std::optional<QList<Extent>> resolvedExtents(QIODevice &file, const Container &container, const Item &item)
{
    if (!item.located)
        return std::nullopt;
    const quint64 sourceSize = item.inItemData ? quint64(container.itemData.size()) : quint64(file.size());
    QList<Extent> extents;
    quint64 total = 0;
    for (Extent extent : item.extents) {
        if (extent.offset > sourceSize)
            return std::nullopt;
        if (extent.length == 0)
            extent.length = sourceSize - extent.offset;
        const quint64 room = quint64(std::numeric_limits<qint64>::max()) - total;
        if (extent.length > sourceSize - extent.offset || extent.length > room)
            return std::nullopt;
        total += extent.length;
        extents.append(extent);
    }
    return extents;
}

} // namespace

std::optional<qint64> itemSize(QIODevice &file, const Container &container, const Item &item)
{
    const auto extents = resolvedExtents(file, container, item);
    if (!extents)
        return std::nullopt;
    qint64 total = 0;
    for (const Extent &extent : *extents)
        total += qint64(extent.length);
    return total;
}

bool readItem(QIODevice &file, const Container &container, const Item &item, char *into)
{
    const auto extents = resolvedExtents(file, container, item);
    if (!extents)
        return false;
    for (const Extent &extent : *extents) {
        if (item.inItemData)
            std::copy_n(container.itemData.constData() + extent.offset, extent.length, into);
        else if (!readExactly(file, qint64(extent.offset), qint64(extent.length), into))
            return false;
        into += extent.length;
    }
    return true;
}

std::optional<QByteArray> itemBytes(QIODevice &file, const Container &container, const Item &item, qint64 limit)
{
    const auto size = itemSize(file, container, item);
    if (!size || *size > limit)
        return std::nullopt;
    QByteArray bytes(*size, Qt::Uninitialized);
    if (!readItem(file, container, item, bytes.data()))
        return std::nullopt;
    return bytes;
}

} // namespace HeifContainer
