#include "HeifPicture.h"

#include <QtEndian>

#include <array>

using namespace HeifContainer;

namespace {

// Exif blocks with an embedded preview reach a few hundred kilobytes.
constexpr qint64 largestExifItem = 16 * 1024 * 1024;

// A turn or mirror as a 2×2 matrix on pixel positions (x right, y down).
using Turn = std::array<int, 4>;

constexpr Turn turnOf[9] = {
    {1, 0, 0, 1},   // (unused)
    {1, 0, 0, 1},   // 1: as stored
    {-1, 0, 0, 1},  // 2: mirrored left to right
    {-1, 0, 0, -1}, // 3: half a turn
    {1, 0, 0, -1},  // 4: mirrored top to bottom
    {0, 1, 1, 0},   // 5: transposed
    {0, -1, 1, 0},  // 6: a quarter turn clockwise
    {0, -1, -1, 0}, // 7: transversed
    {0, 1, -1, 0},  // 8: a quarter turn anticlockwise
};

// `after` applied to the result of `before`.
Turn then(const Turn &before, const Turn &after)
{
    return {after[0] * before[0] + after[1] * before[2], after[0] * before[1] + after[1] * before[3],
            after[2] * before[0] + after[3] * before[2], after[2] * before[1] + after[3] * before[3]};
}

int orientationOf(const Turn &turn)
{
    for (int orientation = 1; orientation <= 8; ++orientation) {
        if (turnOf[orientation] == turn)
            return orientation;
    }
    return 1; // not reached: the eight cover every product of turns and mirrors
}

const Property *firstOfType(const Container &container, const Item &item, const char *type)
{
    for (const Association &association : item.properties) {
        if (container.properties[association.property].type == type)
            return &container.properties[association.property];
    }
    return nullptr;
}

std::optional<QSize> spatialExtent(const Container &container, const Item &item)
{
    const Property *ispe = firstOfType(container, item, "ispe");
    if (!ispe || ispe->payload.size() < 12)
        return std::nullopt;
    const auto *bytes = ispe->payload.constData();
    const quint32 width = qFromBigEndian<quint32>(bytes + 4);
    const quint32 height = qFromBigEndian<quint32>(bytes + 8);
    if (width == 0 || height == 0 || width > 1'000'000 || height > 1'000'000)
        return std::nullopt;
    return QSize(int(width), int(height));
}

struct Nclx
{
    int matrixCoefficients = 0;
    bool fullRange = false;
};

std::optional<Nclx> nclxOf(const Container &container, const Item &item)
{
    for (const Association &association : item.properties) {
        const Property &property = container.properties[association.property];
        if (property.type != "colr" || property.payload.size() < 11 || !property.payload.startsWith("nclx"))
            continue;
        const auto *bytes = property.payload.constData();
        return Nclx{qFromBigEndian<quint16>(bytes + 8), (static_cast<unsigned char>(bytes[10]) & 0x80) != 0};
    }
    return std::nullopt;
}

// Properties that only describe (pixi) or that we use are fine; anything the picture's look
// depends on that we do not apply (clap, unknown essential boxes) sends the file to libheif.
enum class Role { Picture, Tile };

bool propertiesUnderstood(const Container &container, const Item &item, Role role)
{
    for (const Association &association : item.properties) {
        const QByteArray &type = container.properties[association.property].type;
        if (type == "ispe" || type == "pixi" || type == "colr")
            continue;
        if (type == "hvcC" && (role == Role::Tile || item.type == "hvc1"))
            continue;
        if ((type == "irot" || type == "imir") && role == Role::Picture)
            continue;
        if (type == "clap" || type == "irot" || type == "imir" || association.essential)
            return false;
    }
    return true;
}

std::optional<int> orientationOfPicture(const Container &container, const Item &item)
{
    Turn turn = turnOf[1];
    for (const Association &association : item.properties) {
        const Property &property = container.properties[association.property];
        if (property.type != "irot" && property.type != "imir")
            continue;
        if (property.payload.isEmpty())
            return std::nullopt;
        const int value = static_cast<unsigned char>(property.payload[0]);
        if (property.type == "irot") {
            // Anticlockwise, in quarter turns.
            constexpr int byQuarterTurns[] = {1, 8, 3, 6};
            turn = then(turn, turnOf[byQuarterTurns[value & 3]]);
        } else {
            // 0 swaps top and bottom, 1 left and right: the reading that phones and libheif
            // share, and that the standard's amendment settled on.
            turn = then(turn, turnOf[(value & 1) ? 2 : 4]);
        }
    }
    return orientationOf(turn);
}

bool isAlphaAuxiliary(const Container &container, const Item &item)
{
    const Property *auxiliary = firstOfType(container, item, "auxC");
    if (!auxiliary)
        return false;
    const QByteArray type = auxiliary->payload.mid(4).split('\0').value(0);
    return type == "urn:mpeg:hevc:2015:auxid:1" || type == "urn:mpeg:mpegB:cicp:systems:auxiliary:alpha";
}

struct Grid
{
    int rows = 0;
    int columns = 0;
    QSize size;
};

std::optional<Grid> gridOf(QIODevice &file, const Container &container, const Item &item)
{
    const auto bytes = itemBytes(file, container, item, 64);
    if (!bytes || bytes->size() < 8 || (*bytes)[0] != 0)
        return std::nullopt;
    const auto *data = bytes->constData();
    const bool wide = data[1] & 1;
    if (bytes->size() < (wide ? 12 : 8))
        return std::nullopt;
    const quint32 width = wide ? qFromBigEndian<quint32>(data + 4) : qFromBigEndian<quint16>(data + 4);
    const quint32 height = wide ? qFromBigEndian<quint32>(data + 8) : qFromBigEndian<quint16>(data + 6);
    if (width == 0 || height == 0 || width > 1'000'000 || height > 1'000'000)
        return std::nullopt;
    return Grid{static_cast<unsigned char>(data[2]) + 1, static_cast<unsigned char>(data[3]) + 1,
                QSize(int(width), int(height))};
}

} // namespace

std::optional<HevcPictureLayout> hevcPictureLayout(QIODevice &file, const Container &container)
{
    const Item *primary = container.item(container.primary);
    if (!primary || !propertiesUnderstood(container, *primary, Role::Picture))
        return std::nullopt;
    for (quint32 id : container.referring(primary->id, "auxl")) {
        const Item *auxiliary = container.item(id);
        if (!auxiliary || isAlphaAuxiliary(container, *auxiliary))
            return std::nullopt;
    }
    HevcPictureLayout layout;
    const auto orientation = orientationOfPicture(container, *primary);
    if (!orientation)
        return std::nullopt;
    layout.orientation = *orientation;

    if (primary->type == "hvc1") {
        layout.tiles = {primary->id};
        const auto size = spatialExtent(container, *primary);
        if (!size)
            return std::nullopt;
        layout.size = layout.tileSize = *size;
    } else if (primary->type == "grid") {
        const auto grid = gridOf(file, container, *primary);
        if (!grid)
            return std::nullopt;
        layout.tiles = container.referencedBy(primary->id, "dimg");
        layout.rows = grid->rows;
        layout.columns = grid->columns;
        layout.size = grid->size;
        if (layout.tiles.size() != qsizetype(grid->rows) * grid->columns)
            return std::nullopt;
    } else {
        return std::nullopt;
    }

    const Property *sharedConfiguration = nullptr;
    for (quint32 id : layout.tiles) {
        const Item *tile = container.item(id);
        if (!tile || tile->type != "hvc1" || !tile->located)
            return std::nullopt;
        if (tile != primary && !propertiesUnderstood(container, *tile, Role::Tile))
            return std::nullopt;
        const Property *configuration = firstOfType(container, *tile, "hvcC");
        const auto size = spatialExtent(container, *tile);
        if (!configuration || !size)
            return std::nullopt;
        if (!sharedConfiguration) {
            sharedConfiguration = configuration;
            layout.tileSize = *size;
        } else if (configuration->payload != sharedConfiguration->payload || *size != layout.tileSize) {
            return std::nullopt;
        }
    }
    layout.configuration = sharedConfiguration->payload;
    // The grid's own size may crop the last column and row, but never leave a tile unseen or
    // a pixel uncovered.
    const auto covered = [](int tiles, int tile, int size) {
        return qint64(tiles) * tile >= size && qint64(tiles - 1) * tile < size;
    };
    if (!covered(layout.columns, layout.tileSize.width(), layout.size.width())
        || !covered(layout.rows, layout.tileSize.height(), layout.size.height()))
        return std::nullopt;

    // A grid usually leaves the colour description to its tiles.
    auto nclx = nclxOf(container, *primary);
    if (!nclx && primary->type == "grid")
        nclx = nclxOf(container, *container.item(layout.tiles.first()));
    if (nclx) {
        layout.matrixCoefficients = nclx->matrixCoefficients;
        layout.fullRange = nclx->fullRange;
    }
    return layout;
}

std::optional<QByteArray> heifExifBlock(QIODevice &file, const Container &container)
{
    for (quint32 id : container.referring(container.primary, "cdsc")) {
        const Item *item = container.item(id);
        if (item && item->type == "Exif")
            return itemBytes(file, container, *item, largestExifItem);
    }
    return std::nullopt;
}
