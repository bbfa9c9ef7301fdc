#include "UpdateVersions.h"

#include <QRegularExpression>

#include <algorithm>

namespace UpdateChecker {

namespace {

const QString installerPattern = QStringLiteral(R"(Orvane_([0-9]+(?:\.[0-9]+)*)\.dmg)");
const QString metaTagPattern =
    QStringLiteral(R"(<meta[^>]+name\s*=\s*["']app-latest-version["'][^>]*content\s*=\s*["']([^"']+)["'])");

// Anything the page says is shown to the user; a version needs no more than this.
constexpr qsizetype maxVersionLength = 32;

// Digits with an optional sign, nothing else, and small enough to hold.
std::optional<qint64> decimal(QStringView piece)
{
    const QStringView digits = piece.startsWith(u'+') || piece.startsWith(u'-') ? piece.sliced(1) : piece;
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    bool ok = false;
    const qint64 value = piece.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

} // namespace

QList<qint64> numericParts(const QString &version)
{
    QList<qint64> parts;
    for (const QStringView piece : QStringView(version).split(u'.', Qt::SkipEmptyParts)) {
        if (const auto value = decimal(piece))
            parts.append(*value);
    }
    return parts;
}

int compare(const QString &a, const QString &b)
{
    const QList<qint64> x = numericParts(a);
    const QList<qint64> y = numericParts(b);
    for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
        const qint64 left = x.value(i, 0);
        const qint64 right = y.value(i, 0);
        if (left != right)
            return left < right ? -1 : 1;
    }
    return 0;
}

QStringList allMatches(const QString &pattern, const QString &text)
{
    const QRegularExpression expression(pattern, QRegularExpression::CaseInsensitiveOption
                                                     | QRegularExpression::UseUnicodePropertiesOption);
    QStringList captures;
    if (!expression.isValid())
        return captures;
    for (auto matches = expression.globalMatch(text); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        if (match.hasCaptured(1))
            captures.append(match.captured(1));
    }
    return captures;
}

std::optional<QString> parseLatestVersion(const QString &page)
{
    QStringList candidates = allMatches(installerPattern, page);
    const QStringList metaTags = allMatches(metaTagPattern, page);
    if (!metaTags.isEmpty())
        candidates.append(metaTags.first());
    candidates.removeIf([](const QString &candidate) { return candidate.size() > maxVersionLength; });
    if (candidates.isEmpty())
        return std::nullopt;
    QString newest = candidates.first();
    for (const QString &candidate : candidates) {
        if (compare(candidate, newest) == 1)
            newest = candidate;
    }
    return newest;
}

} // namespace UpdateChecker
