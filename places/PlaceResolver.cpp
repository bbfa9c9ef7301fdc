#include "PlaceResolver.h"

namespace PlaceResolver {

std::optional<QString> fromPath(const QString &, int)
{
    return std::nullopt;
}

} // namespace PlaceResolver
