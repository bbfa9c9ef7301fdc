#include "NameBuilder.h"

#include <QStringList>

namespace {

// Characters that no file system we rename on (or that users copy to) takes in a name.
constexpr QStringView forbidden = u"/\\:*?\"<>|";

bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// Control characters, and the marks that make a name read in another order than it is stored, so a
// model's reply cannot make a name that a file manager shows as something else.
bool isHidingCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return c.category() == QChar::Other_Control || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069)
        || u == 0x200E || u == 0x200F;
}

// The last path component without its final extension. A leading dot marks a hidden file rather
// than an extension, so ".clip" keeps its whole name instead of vanishing.
QString baseName(const QString &path)
{
    QStringView name = path;
    while (name.size() > 1 && name.endsWith(u'/'))
        name.chop(1);
    name = name.sliced(name.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0 && dot < name.size() - 1)
        name.truncate(dot);
    return name.toString();
}

} // namespace

namespace NameBuilder {

QString build(const NameParts &parts, const NamingOptions &options)
{
    QStringList components;
    if (options.includeDate && parts.creationDate)
        components << parts.creationDate->toLocalTime().toString(QStringLiteral("yyyy-MM-dd"));
    // Location and content go in as the user or the model left them: a blank location is still one.
    if (options.includeLocation)
        components << parts.location;
    if (options.includeContent)
        components << parts.content;
    if (options.includeOriginal)
        components << baseName(parts.url);
    components.removeAll(QString());

    // Cleaned after joining, so a separator made of forbidden characters joins with nothing.
    return clean(components.join(options.separator));
}

QString clean(QString name)
{
    name.replace(u'\n', u' ');
    // NUL is a control character too: the system would end the name there.
    name.removeIf([](QChar c) { return forbidden.contains(c) || isHidingCharacter(c); });

    // Nor may a name start with a dot, which would hide the file.
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && (isBlank(name[begin]) || name[begin] == u'.'))
        ++begin;
    while (end > begin && isBlank(name[end - 1]))
        --end;
    return name.sliced(begin, end - begin);
}

} // namespace NameBuilder
