#include "PlaceResolver.h"

#include <gtest/gtest.h>

namespace {

struct Case
{
    const char *name;
    const char16_t *path;
    int maxDepth;
    const char16_t *place; // nullptr: no place
};

// Rejected names sit above accepted ones, so accepting them by mistake changes the answer.
const Case cases[] = {
    {"HigherAcceptedFolderWins", u"/Users/me/Movies/2026/1919茶楼/0208茶楼/clip.mp4", 6, u"me"},
    {"OneLevelIsTheHoldingFolder", u"/Users/me/Movies/2026/1919茶楼/0208茶楼/clip.mp4", 1, u"0208茶楼"},
    {"IgnoredAndDateFolders", u"/Volumes/Drone/2026/a.mp4", 6, nullptr},
    {"IgnoredOnceNumbersGo", u"/素材 2/素材\u30003/a.mp4", 6, nullptr},
    {"SpacesCollapse", u"/x/  上里   古镇 /a.mp4", 1, u"上里 古镇"},
    {"OnlyPlainSpacesCollapse", u"/\t上里\u3000古镇\u3000/a.mp4", 1, u"上里\u3000古镇"},
    {"LoneLetterIsNoPlace", u"/A1/AB1/a.mp4", 2, u"AB1"},
    {"SeparatorsAreNoCore", u"/2024-05-01/DSC_01/a.mp4", 2, u"DSC_01"},
    {"CjkNumeralsAreNumbers", u"/二〇二六/第三/a.mp4", 6, nullptr},
    {"EmojiFamilyIsOneCharacter", u"/👨‍👩‍👧 1/🏖🌊/a.mp4", 2, u"🏖🌊"},
    {"UndecodableBytes", u"/\xDC80\xDCFF/a.mp4", 6, u"\xDC80\xDCFF"},
    {"BlankFolderEndsTheClimb", u"/茶楼/ \t\u3000/a.mp4", 6, nullptr},
    {"LineBreakFolderIsSkippedUpToTheRoot", u"/茶楼/\n/a.mp4", 6, u"茶楼"},
};

std::string shown(const std::optional<QString> &place)
{
    return place ? '"' + place->toStdString() + '"' : "nothing";
}

TEST(PlaceResolver, FindsThePlaceInFolderNames)
{
    for (const Case &row : cases) {
        const auto expected = row.place ? std::optional(QString::fromUtf16(row.place)) : std::nullopt;
        EXPECT_EQ(shown(PlaceResolver::fromPath(QString::fromUtf16(row.path), row.maxDepth)), shown(expected))
            << row.name;
    }
}

} // namespace
