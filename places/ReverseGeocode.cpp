#include "PlaceResolver.h"
#include "ReverseGeocoder.h"
#include "TextTrim.h"

#include <QHash>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <unicode/uchar.h>

#include <mutex>

namespace {

// Longer parts are usually full addresses that would swamp a file name.
constexpr int longestPart = 12;

struct Cache
{
    std::mutex lock;
    QHash<QString, QString> names;
};

Cache &cache()
{
    static Cache instance;
    return instance;
}

// Characters as the user sees them, so a letter with a combining mark counts once.
int perceivedLength(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

// Tabs and space separators of any script; a line break inside a name is left for it to keep.
bool isBlank(UChar32 c)
{
    return c == u'\t' || u_charType(c) == U_SPACE_SEPARATOR;
}

void add(QStringList &parts, const std::optional<QString> &value)
{
    if (!value)
        return;
    const QString part = trimmedBy(*value, &isBlank).toString();
    if (part.isEmpty() || parts.contains(part) || perceivedLength(part) > longestPart)
        return;
    parts.append(part);
}

std::optional<QString> cached(const QString &key)
{
    const std::lock_guard guard(cache().lock);
    const auto it = cache().names.constFind(key);
    if (it == cache().names.cend())
        return std::nullopt;
    return *it;
}

} // namespace

namespace PlaceResolver {

std::optional<QString> reverseGeocode(const GeoCoordinate &coordinate, const ReverseGeocoder &geocoder)
{
    // Three decimals is a square of about 100 m, so clips of one shoot share a single request.
    const QString key = QString::asprintf("%.3f,%.3f", coordinate.latitude, coordinate.longitude);
    if (const auto name = cached(key))
        return name;

    // The lock is not held here: a slow service must not hold up lookups of other keys.
    const std::optional<Placemark> placemark = geocoder.lookup(coordinate);
    if (!placemark)
        return std::nullopt;
    QStringList parts;
    add(parts, placemark->locality);
    add(parts, placemark->subLocality);
    add(parts, placemark->name);
    if (parts.isEmpty())
        return std::nullopt;

    const QString name = parts.join(QString());
    {
        const std::lock_guard guard(cache().lock);
        cache().names.insert(key, name);
    }
    return name;
}

} // namespace PlaceResolver
