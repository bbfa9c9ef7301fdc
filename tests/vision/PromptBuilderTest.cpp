#include "PromptBuilder.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using PromptBuilder::Media;

struct Row
{
    const char *name;
    QString input;
    QString expected;
};

void expectRows(std::initializer_list<Row> rows, const std::function<QString(const QString &)> &actual)
{
    for (const Row &row : rows)
        EXPECT_EQ(actual(row.input).toStdString(), row.expected.toStdString()) << row.name;
}

const QString namingRules = u"）识别拍摄的内容与场景，用简体中文输出。\n\n严格要求：\n"
                            u"1. content：6~16 个中文字的名词短语，像给文件起名那样精炼。不要写完整句子，不要标点，\n"
                            u"   不要「这张画面显示」「可能是一段」这类开头。\n"
                            u"   例如：古镇石桥流水与嬉戏孩童、海边日落与栈道行人\n"
                            u"2. location：能确定的拍摄地点或场景，4~10 个字，例如：上里古镇、河边公园；\n"
                            u"   无法确定就填空字符串。\n\n"
                            u"只输出一个 JSON 对象，不要任何解释、前言或代码块标记：\n"
                            u"{\"content\": \"...\", \"location\": \"...\"}"_qs;
const QString videoRole = u"你是一名专业的视频素材整理助手。\n"_qs;
const QString videoScope = u"\n请综合整张图（也就是整段视频"_qs + namingRules;

QString grid(const char16_t *frames, const char16_t *columns, const char16_t *rows)
{
    return u"下面是一张拼图，由同一段视频按时间顺序抽取的 %1 帧画面拼成 %2 列 × %3 行 的网格（按从左到右、从上到下为时间先后顺序）。"_qs
        .arg(frames, columns, rows);
}

// One whole prompt, as a changed prompt changes every reply; elsewhere only the part that the
// layout, the media or the mode changes.
TEST(PromptBuilder, PromptTexts)
{
    EXPECT_EQ(PromptBuilder::build(3, 2, Media::video).toStdString(), (videoRole + grid(u"6", u"3", u"2") + videoScope).toStdString());
    const std::pair<QString, QString> parts[] = {
        {PromptBuilder::build(2, 2, Media::photo),
         u"你是一名专业的照片整理助手。\n"_qs + grid(u"4", u"2", u"2") + u"\n请综合整张图（也就是这张照片"_qs + namingRules},
        {PromptBuilder::build(4, 1, Media::video), u"下面是一张图，由同一段视频按时间顺序抽取的 4 帧画面并排拼成（从左到右）。"_qs},
        {PromptBuilder::build(1, 1, Media::photo), u"下面是这张照片本身（已解码为标准图）。"_qs},
        {PromptBuilder::build(1, 1, Media::video), u"下面是同一段视频中抽取的一帧画面。"_qs},
        {PromptBuilder::buildSearch(u" 红色雨伞 %1"_qs, SearchMode::keyword), u"与关键词「 红色雨伞 %1」相关"_qs},
        {PromptBuilder::buildSearch(u"参考图"_qs, SearchMode::reference), u"第一张图是参考图（要找的主体），第二张图是待判定的视频帧。"_qs},
    };
    for (const auto &[prompt, part] : parts)
        EXPECT_TRUE(prompt.contains(part)) << prompt.toStdString();
}

TEST(PromptBuilder, CleanPhrase)
{
    expectRows({
        {"LeadInsInARow", u"这是一张图中显示海边日落"_qs, u"海边日落"_qs},
        {"LeadInThenSpace", u"拍摄的是\u3000海边日落与栈道行人。"_qs, u"海边日落与栈道行人"_qs},
        {"MixedQuotesAndSpace", u" \n“『海边日落』”\t"_qs, u"海边日落"_qs},
        {"QuoteUncoveredByLeadInStays", u"画面显示“海边日落”景色"_qs, u"“海边日落”景色"_qs},
        {"CrLf", u"海边日落\r\n栈道行人"_qs, u"海边日落"_qs},
        {"SpaceBeforeCut", u"海边日落 ！"_qs, u"海边日落"_qs},
        {"TwentyFive", u"一二三四五六七八九十甲乙丙丁戊己庚辛壬癸子丑寅卯辰"_qs, u"一二三四五六七八九十甲乙丙丁戊己庚辛壬癸"_qs},
        {"FamilyEmoji", u"一二三四五六七八九十甲乙丙丁戊己庚辛壬👨‍👩‍👧尾"_qs, u"一二三四五六七八九十甲乙丙丁戊己庚辛壬👨‍👩‍👧"_qs},
        {"LeadInMustEndACharacter", u"显示\u0301海边"_qs, u"显示\u0301海边"_qs},
    }, PromptBuilder::cleanPhrase);
}

TEST(PromptBuilder, Parse)
{
    expectRows({
        {"Json", u"{\"content\": \"「画面中显示古镇石桥。」\", \"location\": \"拍摄的是上里古镇。\"}"_qs, u"古镇石桥|上里古镇"_qs},
        {"FenceAndProse", u"好的：\n```json\n{\"content\": \"海边日落\", \"location\": \"海滩\"}\n```\n希望有帮助。"_qs,
         u"海边日落|海滩"_qs},
        {"NoBraces", u"  海边日落与栈道行人。\n"_qs, u"海边日落与栈道行人|"_qs},
        {"ReversedBraces", u"} 海边日落 {"_qs, u"} 海边日落 {|"_qs},
        {"TwoObjects", u"{\"content\": \"甲\"} {\"content\": \"乙\"}"_qs, u"{\"content\"|"_qs},
        {"ContentNumber", u"{\"content\": 42, \"location\": \"河边公园\"}"_qs, u"{\"content\"|河边公园"_qs},
        {"LocationNotText", u"{\"content\": \"海边日落\", \"location\": null}"_qs, u"海边日落|"_qs},
    }, [](const QString &reply) {
        const PromptBuilder::NamingReply parsed = PromptBuilder::parse(reply);
        return parsed.content + u'|' + parsed.location;
    });
}

TEST(PromptBuilder, ParseSearch)
{
    expectRows({
        {"Hit", u"```json\n{\"caption\": \"海边有人放风筝。\", \"hit\": true, \"score\": 85}\n```"_qs, u"海边有人放风筝|1|85"_qs},
        {"CaptionNotText", u"{\"caption\": 3, \"hit\": true, \"score\": 60}"_qs, u"|1|60"_qs},
        {"HitTextTrueAnyCase", u"{\"hit\": \"TRUE \"}"_qs, u"|1|0"_qs},
        {"HitTextOne", u"{\"hit\": \"1\"}"_qs, u"|1|0"_qs},
        {"HitTextSpacedOne", u"{\"hit\": \" 1\"}"_qs, u"|0|0"_qs},
        {"HitNumberOne", u"{\"hit\": 1}"_qs, u"|1|0"_qs},
        {"HitNumberTwo", u"{\"hit\": 2}"_qs, u"|0|0"_qs},
        {"MissWithScore", u"{\"hit\": false, \"score\": 95}"_qs, u"|0|95"_qs},
        {"ScoreBelow", u"{\"score\": -5}"_qs, u"|0|0"_qs},
        {"ScoreFraction", u"{\"score\": 79.9}"_qs, u"|0|79"_qs},
        {"ScoreHuge", u"{\"score\": 1e30}"_qs, u"|0|100"_qs},
        {"ScoreText", u"{\"score\": \"80\"}"_qs, u"|0|0"_qs},
        {"NotJson", u"是的，画面中有红色雨伞。"_qs, u"|0|0"_qs},
    }, [](const QString &reply) {
        const PromptBuilder::SearchReply parsed = PromptBuilder::parseSearch(reply);
        return u"%1|%2|%3"_qs.arg(parsed.caption, QString::number(parsed.hit), QString::number(parsed.score));
    });
}

} // namespace
