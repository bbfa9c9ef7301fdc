#include "PromptBuilder.h"

#include "TextCut.h"
#include "TextTrim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <optional>

namespace {

constexpr int maxPhraseLength = 20;

// Every character these sets hold is a single UTF-16 unit, so testing by unit is exact.
bool isSpace(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

bool isSpaceOrLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return isSpace(c) || (u >= 0x0A && u <= 0x0D) || u == 0x85 || u == 0x2028 || u == 0x2029;
}

bool isQuote(QChar c)
{
    return QStringView(u"\"'“”‘’「」『』《》").contains(c);
}

bool isCut(QChar c)
{
    return QStringView(u"。！？；，,、：:\n\t").contains(c);
}

// Longer lead-ins come before the shorter ones they start with, so each is removed whole.
constexpr QStringView leadIns[] = {
    u"这张画面显示", u"这张图显示", u"这段视频显示", u"画面中显示", u"画面显示", u"这是一张", u"这是一段",
    u"图中显示", u"照片显示", u"图中", u"画面中", u"显示", u"拍摄的是",
};

bool isGraphemeBoundary(const QString &text, qsizetype position)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(position);
    return graphemes.isAtBoundary();
}

// A lead-in only counts when it ends where a character ends: 显示 followed by a combining mark is
// a different character.
std::optional<QStringView> leadInOf(const QString &text)
{
    for (QStringView leadIn : leadIns) {
        if (text.startsWith(leadIn) && isGraphemeBoundary(text, leadIn.size()))
            return leadIn;
    }
    return std::nullopt;
}

// Cuts before the first character holding a cut mark. A CR LF pair is one character and is cut
// like the line feed it holds; otherwise Windows-style line breaks would end up in file names.
QString cutAtPunctuation(const QString &text)
{
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = graphemes.toNextBoundary();
        if (end <= start)
            end = text.size();
        if (std::any_of(text.begin() + start, text.begin() + end, isCut))
            return text.first(start);
        start = end;
    }
    return text;
}

// Models wrap their JSON in prose or code fences, so only the outermost braces are read.
std::optional<QJsonObject> findObject(QStringView trimmedReply)
{
    const qsizetype open = trimmedReply.indexOf(u'{');
    const qsizetype close = trimmedReply.lastIndexOf(u'}');
    if (open < 0 || close < 0 || open >= close)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(trimmedReply.sliced(open, close - open + 1).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return document.object();
}

bool hitOf(const QJsonValue &value)
{
    if (value.isBool())
        return value.toBool();
    if (value.isDouble())
        return value.toDouble() == 1;
    if (value.isString()) {
        const QString text = value.toString();
        return text == u"1" || trimmedBy(text, isSpaceOrLineBreak).toString().toLower() == u"true";
    }
    return false;
}

// Clamped while still a double, so numbers far beyond any integer land in 0 to 100; the cast then
// drops a fraction toward zero.
int scoreOf(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double score = value.toDouble();
    return score <= 0 ? 0 : score >= 100 ? 100 : static_cast<int>(score);
}

} // namespace

namespace PromptBuilder {

QString build(int columns, int rows, Media media)
{
    const bool photo = media == Media::photo;
    // Wide enough that no grid a caller passes can overflow.
    const qint64 frames = qint64(columns) * rows;

    QString prompt = u"你是一名专业的"_qs + (photo ? u"照片整理助手"_qs : u"视频素材整理助手"_qs) + u"。\n"_qs;
    if (frames > 1 && rows > 1) {
        prompt += u"下面是一张拼图，由同一段视频按时间顺序抽取的 "_qs + QString::number(frames) + u" 帧画面拼成 "_qs
            + QString::number(columns) + u" 列 × "_qs + QString::number(rows)
            + u" 行 的网格（按从左到右、从上到下为时间先后顺序）。"_qs;
    } else if (frames > 1) {
        prompt += u"下面是一张图，由同一段视频按时间顺序抽取的 "_qs + QString::number(columns)
            + u" 帧画面并排拼成（从左到右）。"_qs;
    } else {
        prompt += photo ? u"下面是这张照片本身（已解码为标准图）。"_qs : u"下面是同一段视频中抽取的一帧画面。"_qs;
    }
    prompt += u"\n请综合整张图（也就是"_qs + (photo ? u"这张照片"_qs : u"整段视频"_qs);
    prompt += u"）识别拍摄的内容与场景，用简体中文输出。\n"
              u"\n"
              u"严格要求：\n"
              u"1. content：6~16 个中文字的名词短语，像给文件起名那样精炼。不要写完整句子，不要标点，\n"
              u"   不要「这张画面显示」「可能是一段」这类开头。\n"
              u"   例如：古镇石桥流水与嬉戏孩童、海边日落与栈道行人\n"
              u"2. location：能确定的拍摄地点或场景，4~10 个字，例如：上里古镇、河边公园；\n"
              u"   无法确定就填空字符串。\n"
              u"\n"
              u"只输出一个 JSON 对象，不要任何解释、前言或代码块标记：\n"
              u"{\"content\": \"...\", \"location\": \"...\"}"_qs;
    return prompt;
}

NamingReply parse(const QString &reply)
{
    const QString trimmedReply = trimmedBy(reply, isSpaceOrLineBreak).toString();
    const std::optional<QJsonObject> object = findObject(trimmedReply);
    if (!object)
        return {cleanPhrase(trimmedReply), {}};
    const QJsonValue content = object->value(u"content");
    const QJsonValue location = object->value(u"location");
    return {cleanPhrase(content.isString() ? content.toString() : trimmedReply),
            location.isString() ? cleanPhrase(location.toString()) : QString()};
}

QString buildSearch(const QString &query, SearchMode mode)
{
    QString prompt = u"你是一名视频内容检索助手。"_qs;
    if (mode == SearchMode::reference) {
        prompt += u"第一张图是参考图（要找的主体），第二张图是待判定的视频帧。"
                  u"判断第二张图里的主要主体是否与参考图相似（同一物体 / 人物 / 场景类型）。"_qs;
    } else {
        prompt += u"判断这一帧画面里是否出现了与关键词「"_qs + query + u"」相关的人、物、场景或动作。"_qs;
    }
    prompt += u"\n用简体中文输出，严格要求：\n"
              u"1. caption：一句话描述这一帧画面里出现的人、物、场景（不超过 20 字）。\n"
              u"2. hit：布尔值，是否命中（相关 / 相似填 true，否则 false）。\n"
              u"3. score：0–100 的整数，表示命中的置信度；未命中固定为 0。\n"
              u"\n"
              u"只输出一个 JSON 对象，不要任何解释、前言或代码块标记：\n"
              u"{\"caption\": \"...\", \"hit\": true, \"score\": 80}"_qs;
    return prompt;
}

SearchReply parseSearch(const QString &reply)
{
    // A reply that is not our JSON is a miss; its prose is no caption.
    const std::optional<QJsonObject> object = findObject(trimmedBy(reply, isSpaceOrLineBreak));
    if (!object)
        return {};
    const QJsonValue caption = object->value(u"caption");
    return {caption.isString() ? cleanPhrase(caption.toString()) : QString(), hitOf(object->value(u"hit")),
            scoreOf(object->value(u"score"))};
}

QJsonObject namingSchema()
{
    const QJsonObject text{{u"type"_qs, u"string"_qs}};
    return {
        {u"type"_qs, u"object"_qs},
        {u"properties"_qs, QJsonObject{{u"content"_qs, text}, {u"location"_qs, text}}},
        {u"required"_qs, QJsonArray{u"content"_qs, u"location"_qs}},
    };
}

QString cleanPhrase(const QString &phrase)
{
    // Quotes go only once: one uncovered by removing a lead-in is part of what the model wrote.
    QString text = trimmedBy(trimmedBy(phrase, isSpaceOrLineBreak), isQuote).toString();
    while (const std::optional<QStringView> leadIn = leadInOf(text))
        text = trimmedBy(QStringView(text).sliced(leadIn->size()), isSpace).toString();
    text = trimmedBy(cutAtPunctuation(text), isSpace).toString();
    return firstCharacters(text, maxPhraseLength);
}

} // namespace PromptBuilder
