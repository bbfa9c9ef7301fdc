#include "PlaceResolver.h"
#include "TextTrim.h"

#include <QSet>
#include <QTextBoundaryFinder>

#include <unicode/uchar.h>

namespace {

// Folder names people use for everything but places; compared lower-cased.
bool isIgnored(const QString &name)
{
    static const QSet<QString> ignored = {
        u"users"_qs, u"volumes"_qs, u"desktop"_qs, u"movies"_qs, u"documents"_qs, u"downloads"_qs,
        u"pictures"_qs, u"桌面"_qs, u"文稿"_qs, u"影片"_qs, u"下载"_qs, u"图片"_qs, u"公共"_qs, u"资源库"_qs,
        u"外片"_qs, u"work"_qs, u"备份"_qs, u"backup"_qs, u"macintosh hd"_qs, u"temp"_qs, u"tmp"_qs,
        u"output"_qs, u"视频"_qs, u"视频素材"_qs, u"照片"_qs, u"照片素材"_qs, u"图片素材"_qs, u"素材"_qs,
        u"原片"_qs, u"原始素材"_qs, u"成品"_qs, u"成片"_qs, u"输出"_qs, u"导出"_qs, u"人物"_qs, u"场景"_qs,
        u"声音"_qs, u"音频"_qs, u"音效"_qs, u"片头"_qs, u"片尾"_qs, u"未命名文件夹"_qs, u"新建文件夹"_qs,
        u"other"_qs, u"others"_qs, u"material"_qs, u"materials"_qs, u"ai"_qs, u"bgm"_qs, u"音乐"_qs,
        u"字幕"_qs, u"配音"_qs, u"文案"_qs, u"脚本"_qs, u"工程"_qs, u"项目文件"_qs, u"临时"_qs, u"无人机"_qs,
        u"wurenji"_qs, u"drone"_qs, u"航拍"_qs, u"穿越机"_qs, u"fpv"_qs, u"飞机"_qs, u"机位"_qs, u"空镜"_qs,
        u"空镜头"_qs, u"素材库"_qs, u"片源"_qs, u"客户"_qs, u"直播项目"_qs, u"样片"_qs,
    };
    return ignored.contains(name.toLower());
}

// Numbers, separators and spacing say nothing about where a clip was shot: 0208茶楼 and 茶楼 name
// the same place, and 第三 is just "number three".
bool isFiller(char32_t c)
{
    const auto point = static_cast<UChar32>(c);
    return c == U'.' || c == U'-' || c == U'_' || u_isUWhiteSpace(point)
        || u_getIntPropertyValue(point, UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

QString core(QStringView name)
{
    QString kept;
    for (qsizetype i = 0; i < name.size();) {
        const bool pair = name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate();
        const qsizetype width = pair ? 2 : 1;
        // Lone surrogates stand for bytes that are not UTF-8; they are kept as characters of their own.
        if (!isFiller(pair ? QChar::surrogateToUcs4(name[i], name[i + 1]) : name[i].unicode()))
            kept += name.sliced(i, width);
        i += width;
    }
    return kept;
}

bool hasTwoCharacters(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    const qsizetype firstEnd = finder.toNextBoundary();
    return firstEnd > 0 && firstEnd < text.size();
}

bool isMeaningful(const QString &name)
{
    if (isIgnored(name))
        return false;
    const QString kept = core(name);
    return hasTwoCharacters(kept) && !isIgnored(kept);
}

QString cleaned(QStringView name)
{
    const QString joined = name.toString().split(u' ', Qt::SkipEmptyParts).join(u' ');
    return trimmedBy(joined, [](UChar32 c) -> bool { return u_isUWhiteSpace(c); }).toString();
}

// Paths are split as text: asking the file system could block on a sleeping disk or rewrite the name.
QStringView parentOf(QStringView path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    QStringView parent = path.first(slash);
    while (parent.endsWith(u'/'))
        parent.chop(1);
    return parent.isEmpty() ? QStringView(u"/") : parent;
}

// The root has no name, so it ends the climb like an empty one.
QStringView lastComponent(QStringView folder)
{
    return folder.sliced(folder.lastIndexOf(u'/') + 1);
}

} // namespace

namespace PlaceResolver {

std::optional<QString> fromPath(const QString &path, int maxDepth)
{
    std::optional<QString> place;
    QStringView folder = parentOf(path);
    for (int depth = 0; depth < maxDepth; ++depth) {
        // Line breaks are not trimmed here: a folder named by a line break alone is skipped, not a dead end.
        const QStringView name = trimmedBy(lastComponent(folder), [](UChar32 c) -> bool { return u_isblank(c); });
        if (name.isEmpty())
            break;
        // A higher folder replaces a lower one: a trip's place folder holds its day and shot folders.
        if (const QString text = name.toString(); isMeaningful(text))
            place = cleaned(text);
        const QStringView parent = parentOf(folder);
        if (parent == folder)
            break;
        folder = parent;
    }
    return place;
}

} // namespace PlaceResolver
