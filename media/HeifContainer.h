#pragma once

// The item structure of a HEIF file (ISO base media boxes: items, where their bytes lie, how they
// refer to each other and which properties they carry), read from the file's 'meta' box. Files
// come from anywhere: every count, length and offset is checked against the bytes really present,
// and nothing is allocated from a header value before that check.

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QList>

#include <cstdint>
#include <optional>

namespace HeifContainer {

// Phones and cameras write 'meta' boxes of a few kilobytes; larger ones are refused rather than
// read, which also bounds what parsing one can allocate.
constexpr qint64 largestMetaBox = 4 * 1024 * 1024;

struct Extent
{
    quint64 offset = 0;
    quint64 length = 0; // 0: up to the end of the file (or of the meta box's data)
};

struct Association
{
    int property = 0; // index into Container::properties
    bool essential = false;
};

struct Item
{
    quint32 id = 0;
    QByteArray type;         // 'hvc1', 'grid', 'Exif', …; empty for the old infe versions
    bool located = false;    // an iloc entry we can read: this file, plain offsets or idat
    bool inItemData = false; // extents count from the start of the meta box's 'idat'
    QList<Extent> extents;
    QList<Association> properties; // in the order the file lists them, which orders transforms
};

struct Property
{
    QByteArray type;
    QByteArray payload; // the box's content after its 8- or 16-byte header
};

struct Reference
{
    QByteArray type; // 'dimg', 'thmb', 'auxl', 'cdsc', …
    quint32 from = 0;
    QList<quint32> to;
};

struct Container
{
    quint32 primary = 0;
    QList<Item> items;
    QList<Property> properties;
    QList<Reference> references;
    QByteArray itemData; // the 'idat' box
    QHash<quint32, qsizetype> itemIndex; // item id → position in items; the first entry wins

    const Item *item(quint32 id) const;
    // The items `from` refers to by `type`, in the order the file gives them.
    QList<quint32> referencedBy(quint32 from, const QByteArray &type) const;
    // The items that refer to `to` by `type`.
    QList<quint32> referring(quint32 to, const QByteArray &type) const;
};

// Parses the content of a 'meta' box (after its own 8-byte header). Nothing when any part of it
// is malformed, there is no picture handler or no primary item.
std::optional<Container> parseMeta(const QByteArray &meta);

// Finds the top-level 'meta' box of the file and parses it.
std::optional<Container> read(QIODevice &file);

// How many bytes an item has; nothing when one of its extents lies outside the file (or 'idat').
std::optional<qint64> itemSize(QIODevice &file, const Container &container, const Item &item);
// Reads the item's itemSize() bytes into `into`.
bool readItem(QIODevice &file, const Container &container, const Item &item, char *into);
// The bytes of an item, at most `limit` of them: nothing when an extent lies outside the file or
// the item would be longer.
std::optional<QByteArray> itemBytes(QIODevice &file, const Container &container, const Item &item, qint64 limit);

} // namespace HeifContainer
