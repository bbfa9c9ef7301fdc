#pragma once

#include <QString>

#include <optional>

namespace PlaceResolver {

std::optional<QString> fromPath(const QString &path, int maxDepth);

} // namespace PlaceResolver
