#include "Fixtures.h"
#include "UpdateVersions.h"

#include <gtest/gtest.h>

namespace {

using UpdateChecker::compare;
using UpdateChecker::parseLatestVersion;

TEST(UpdateVersions, CompareByNumericParts)
{
    const struct
    {
        const char *a;
        const char *b;
        int expected;
    } rows[] = {
        {"1.2", "1.2.0", 0},
        {"1.10", "1.9", 1},
        {"1.9", "1.10", -1},
        {"2.0-beta", "2", 0},
        {"ver2.0", "1.0", -1}, // "ver2" is no number, so only the 0 is left
        {"1..2", "1.2", 0},
        {"", "0", 0},
        {"0.0.1", "", 1},
        {" 2.0", "1", -1}, // a piece with a space is no number
        {"99999999999999999999.1", "1", 0}, // too large to hold, so left out
        {"+3", "3", 0},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(compare(row.a, row.b), row.expected) << row.a << " vs " << row.b;
        EXPECT_EQ(compare(row.b, row.a), -row.expected) << row.b << " vs " << row.a;
    }
}

TEST(UpdateVersions, NewestOnThePage)
{
    const QString longVersion = "1." + QString("1.").repeated(16) + "1"; // 35 characters
    const struct
    {
        const char *name;
        QString page;
        std::optional<QString> expected;
    } rows[] = {
        {"installers and a meta tag",
         R"(<meta name="app-latest-version" content="1.9"><a href="/d/Orvane_1.2.0.dmg">1.2</a>)"
         R"(<a href="/d/Orvane_1.10.dmg">1.10</a>)",
         "1.10"},
        {"meta tag only, single quotes, upper case", "<HEAD><META NAME = 'app-latest-version' CONTENT='2.1.3'></HEAD>", "2.1.3"},
        {"meta tag with other attributes between",
         R"(<meta charset="utf-8"><meta data-x="1" name="app-latest-version" id="v" content="3.0">)", "3.0"},
        {"installer name in any case", "orvane_4.2.DMG", "4.2"},
        {"first of equal versions", "Orvane_1.2.dmg Orvane_1.2.0.dmg", "1.2"},
        {"only the first meta tag", R"(<meta name="app-latest-version" content="1.1"><meta name="app-latest-version" content="9.0">)", "1.1"},
        {"meta tag newer than installers", R"(Orvane_1.0.dmg <meta name='app-latest-version' content='1.0.1'>)", "1.0.1"},
        {"no version", "<html><body>Orvane.dmg Orvane_.dmg Orvane_x.dmg</body></html>", std::nullopt},
        {"meta tag with another name", R"(<meta name="app-version" content="5.0">)", std::nullopt},
        {"installer version too long", "Orvane_" + longVersion + ".dmg Orvane_1.0.dmg", "1.0"},
        {"meta content too long", R"(<meta name="app-latest-version" content=")" + QString(33, u'9') + R"(">)", std::nullopt},
        {"meta content of 32 characters", R"(<meta name="app-latest-version" content=")" + QString(32, u'9') + R"(">)", QString(32, u'9')},
    };
    for (const auto &row : rows)
        EXPECT_EQ(parseLatestVersion(row.page), row.expected) << row.name;
}

} // namespace
