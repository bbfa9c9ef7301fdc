#include "ServerMessage.h"

#include <gtest/gtest.h>

namespace {

// Both services' error texts go through here, so nesting is tested once, for both.
TEST(ServerMessage, ReadableUnwrapsTwoLevelsAndStripsPages)
{
    const std::pair<QString, QString> rows[] = {
        {R"({"error":"{\"error\":{\"message\":\"out of memory\"}}"})", "out of memory"},
        {R"({"error":{"message":"{\"error\":\"{\\\"message\\\":\\\"deep\\\"}\"}"}})", R"({"message":"deep"})"},
        {R"({"message":"{\"error\":{\"message\":\"{\\\"error\\\":\\\"x\\\"}\"}}"})", R"({"error":"x"})"},
        {R"({"error":{"message":"first"},"message":"second"})", "first"},
        {R"({"error":"third","message":"second"})", "second"},
        {R"({"error":{"code":1}})", R"({"error":{"code":1}})"},
        {"{\"error\":\"no such model\"}\r\nsecond\nthird", "no such model"},
        {"<!DOCTYPE html><html><head><title>502</title><style>p{}</style></head><body><h1>Bad Gateway</h1><p>nginx</p></body></html>",
         "Bad Gateway nginx"},
        {"plain words", "plain words"},
    };
    for (const auto &[body, expected] : rows)
        EXPECT_EQ(ServerMessage::readable(body), expected) << body.toStdString();
    EXPECT_EQ(ServerMessage::unwrap("not json"), std::nullopt);
}

} // namespace
