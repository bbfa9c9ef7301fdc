#include "NameBuilder.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <ctime>

namespace {

struct Case
{
    const char *name;
    NameParts parts;
    NamingOptions options;
    const char16_t *expected;
};

const QDateTime sept18(QDate(2026, 9, 18), QTime(12, 0));
const NamingOptions all;
const NamingOptions none{false, false, false, false, u"_"_qs};
const NamingOptions dashed{true, true, true, true, u"-"_qs};
const NamingOptions slashed{true, true, true, true, u"/"_qs};

const Case cases[] = {
    {"AllOff", {sept18, u"上里古镇"_qs, u"石桥"_qs, u"/v/IMG_0234.MOV"_qs}, none, u""},
    {"ForbiddenCharacters", {std::nullopt, {}, u"a/b:c*d?e\"f<g>h|i\\j"_qs, u"/v/k:l?.jpg"_qs}, all,
     u"abcdefghij_kl"},
    {"SlashSeparator", {std::nullopt, u"x"_qs, u"y"_qs, u"/v/z.mp4"_qs}, slashed, u"xyz"},
    {"ForbiddenOnlyComponent", {std::nullopt, u"x"_qs, u"?"_qs, u"/v/z.mp4"_qs}, all, u"x__z"},
    {"BlankLocation", {std::nullopt, u"  "_qs, u"海"_qs, {}}, dashed, u"-海"},
    {"LineFeedsAndBlanksAtEnds", {std::nullopt, {}, u"\t\u3000 石桥  流水\n孩童\u00A0\n"_qs, {}}, all, u"石桥  流水 孩童"},
    {"ControlCharacters", {std::nullopt, {}, u"\r石\x1b\0桥\t\u200B"_qs, {}}, all, u"石桥\u200B"},
    {"BidiMarks", {std::nullopt, {}, u"\u202Egpj.exe\u2066石\u200F桥"_qs, {}}, all, u"gpj.exe石桥"},
    {"LeadingDots", {std::nullopt, {}, u". .猫"_qs, {}}, all, u"猫"},
    {"TwoExtensions", {std::nullopt, {}, {}, u"/v.d/clip.final.mov"_qs}, all, u"clip.final"},
    {"NoExtensionInDottedFolder", {std::nullopt, {}, {}, u"/v.d/README"_qs}, all, u"README"},
    {"HiddenFile", {std::nullopt, {}, {}, u"/v/.clip"_qs}, all, u"clip"},
};

TEST(NameBuilder, BuildsTheProposedName)
{
    for (const Case &row : cases)
        EXPECT_EQ(NameBuilder::build(row.parts, row.options).toStdString(),
                  QString::fromUtf16(row.expected).toStdString())
            << row.name;
}

// POSIX zone rules need no zone database on the test machine.
TEST(NameBuilder, DateIsTheLocalCalendarDay)
{
    setenv("TZ", "CST-8", 1);
    tzset();
    const QDateTime utcEvening(QDate(2026, 9, 18), QTime(20, 0), QTimeZone::utc());
    EXPECT_EQ(NameBuilder::build({utcEvening, {}, {}, {}}, {}).toStdString(), "2026-09-19");
    unsetenv("TZ");
    tzset();
}

} // namespace
