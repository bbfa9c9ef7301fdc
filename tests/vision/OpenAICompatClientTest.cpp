#include "FakeHttpServer.h"
#include "OpenAICompatClient.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

struct Canned
{
    int status = 0;
    std::string body;
};

const QList<QByteArray> frames{"\xff\xd8\xff", QByteArray(120, '\xfb')};

// Row i of a table answers at /r/<i>[/v1]/chat/completions and /models.
struct Service
{
    explicit Service(std::function<Canned(size_t row, const httplib::Request &)> answer)
    {
        const auto handler = [answer](const httplib::Request &request, httplib::Response &response) {
            const Canned canned = answer(std::stoul(request.matches[1]), request);
            response.status = canned.status;
            response.set_content(canned.body, "application/json");
        };
        http.server().Post(R"(/r/(\d+)(?:/v1)?/chat/completions)", handler);
        http.server().Get(R"(/r/(\d+)(?:/v1)?/models)", handler);
        http.start();
    }
    FakeHttpServer http;
};

OpenAICompatClient clientFor(const QUrl &base, const QString &key, std::chrono::milliseconds timeout = 3s)
{
    return OpenAICompatClient(base, key, QStringLiteral("gpt-4o"), {timeout, timeout});
}

template<typename T>
std::string shown(const OpenAICompatResult<T> &result)
{
    if (!result)
        return result.error().errorDescription().toStdString();
    if constexpr (std::is_same_v<T, QString>)
        return "reply: " + result->toStdString();
    else
        return "models: " + result->join(' ').toStdString();
}

QJsonObject json(const std::string &text)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

TEST(OpenAICompatClient, RequestsAndKeyChecking)
{
    const std::string refused = "接口返回 401：Incorrect API key（多半是 API 密钥不对，或该密钥没有这个模型的权限）";
    const struct { const char *name; QString base, key; std::string demanded, path, chat; } rows[] = {
        {"no key, open service", "/r/0/v1", "", "", "/r/0/v1", "reply: 好的"},
        {"wrong key, base ending in a slash", "/r/1/v1/", "sk-wrong", "sk-test", "/r/1/v1", refused},
    };
    Service fake([&](size_t row, const httplib::Request &request) -> Canned {
        if (!rows[row].demanded.empty() && request.get_header_value("Authorization") != "Bearer " + rows[row].demanded)
            return {401, R"({"error":{"message":"Incorrect API key","type":"invalid_request_error"}})"};
        if (request.method == "GET")
            return {200, R"({"data":[{"id":"b"},{"id":"～"},{"id":"😀"},{"object":"model"},{"id":7},{"id":"a"}]})"};
        return {200, R"({"choices":[{"message":{"role":"assistant","content":"好的"}}]})"};
    });
    const QJsonObject sent = json(R"({"model":"gpt-4o","temperature":0.2,"max_tokens":800,
        "response_format":{"type":"json_object"},"messages":[{"role":"user","content":[{"type":"text","text":"看图"},
        {"type":"image_url","image_url":{"url":"data:image/jpeg;base64,/9j/"}},
        {"type":"image_url","image_url":{"url":"data:image/jpeg;base64,)" + QString("+/v7").repeated(40).toStdString() + R"("}}]}]})");

    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const qsizetype before = fake.http.requests().size();
        const OpenAICompatClient client = clientFor(fake.http.url(row.base), row.key);
        EXPECT_EQ(shown(client.analyze(frames, QStringLiteral("看图"))), row.chat);
        EXPECT_EQ(shown(client.listModels()), row.chat == refused ? refused : "models: a b ～ 😀");

        const auto requests = fake.http.requests().mid(before);
        ASSERT_EQ(requests.size(), 2);
        EXPECT_EQ(requests[0].method + " " + requests[0].path, "POST " + row.path + "/chat/completions");
        EXPECT_EQ(requests[1].method + " " + requests[1].path, "GET " + row.path + "/models");
        for (const auto &request : requests) {
            EXPECT_EQ(request.header("Content-Type"), "application/json");
            EXPECT_EQ(request.header("Authorization"), row.key.isEmpty() ? "" : "Bearer " + row.key.toStdString());
        }
        EXPECT_EQ(json(requests[0].body), sent);
    }
}

// A row's `retry` answers requests without response_format; its absence means every request gets `first`.
// "{auth}" in a body echoes the request's Authorization header, as some error pages do; the key
// must be hidden before a text is cut to its first characters.
TEST(OpenAICompatClient, RepliesAndErrors)
{
    const std::string emoji = QStringLiteral("👍🏽").repeated(301).toStdString(); // 301 characters of four units
    const std::string noContent = "接口返回 200：返回里没有 choices[0].message.content", notJson = "接口返回 200：返回内容不是 JSON：";
    const Canned plainReply{200, R"({"choices":[{"message":{"content":"plain"}}]})"};
    const struct { const char *name; Canned first, retry; std::string shown; } rows[] = {
        {"400 naming response_format", {400, R"({"error":{"message":"'response_format' is not supported"}})"}, plainReply, "reply: plain"},
        {"200 error naming JSON Schema", {200, R"({"error":"JSON Schema unsupported"})"}, plainReply, "reply: plain"},
        {"retry fails too", {400, "JSON_OBJECT unsupported"}, {500, "down"}, "接口返回 500：down"},
        {"500 not UTF-8", {500, "\xff\xfe oops"}, {}, "接口返回 500："},
        {"200 error number", {200, R"({"error":42})"}, {}, "接口返回 200：42"},
        {"200 content null", {200, R"({"choices":[{"message":{"content":null}}]})"}, {}, noContent},
        {"200 data not all objects", {200, R"({"data":[{"id":"a"},3]})"}, {}, noContent},
        {"404 key and emoji across the 300th character", {404, std::string(280, '.') + "{auth}" + emoji}, {},
         "接口返回 404：" + std::string(280, '.') + "Bearer ***" + emoji.substr(0, emoji.size() / 301 * 10) + "（多半是接口地址或模型名不对）"},
        {"200 key across the 200th character", {200, std::string(190, '.') + "{auth}" + std::string(100, 'y')}, {}, notJson + std::string(190, '.') + "Bearer ***"},
        {"201 error message echoing the key", {201, R"({"error":{"message":"{auth}"}})"}, {}, "接口返回 201：Bearer ***"},
    };
    Service fake([&](size_t row, const httplib::Request &request) {
        const bool retried = rows[row].retry.status && request.body.find("response_format") == std::string::npos;
        Canned canned = retried ? rows[row].retry : rows[row].first;
        if (const size_t at = canned.body.find("{auth}"); at != std::string::npos)
            canned.body.replace(at, 6, request.get_header_value("Authorization"));
        return canned;
    });
    for (size_t row = 0; row < std::size(rows); ++row) {
        SCOPED_TRACE(rows[row].name);
        const qsizetype before = fake.http.requests().size();
        const OpenAICompatClient client = clientFor(fake.http.url(QStringLiteral("/r/%1").arg(row)), "sk-live-0123456789abcdef");
        EXPECT_EQ(shown(client.analyze(frames, "p")), rows[row].shown);
        const auto requests = fake.http.requests().mid(before);
        ASSERT_EQ(requests.size(), rows[row].retry.status ? 2 : 1);
        if (requests.size() == 2) {
            QJsonObject withoutFormat = json(requests[0].body);
            EXPECT_EQ(withoutFormat.take("response_format"), json(R"({"type":"json_object"})"));
            EXPECT_EQ(json(requests[1].body), withoutFormat);
        } else {
            EXPECT_EQ(shown(client.listModels()), rows[row].first.status < 300 ? "models: " : rows[row].shown);
        }
    }
}

// A key that would break its header fails before anything is sent; a service that cannot be
// reached ends in the HTTP layer's failure. Neither shows the key.
TEST(OpenAICompatClient, NoAnswerEndsInTheHttpError)
{
    const struct { const char *name; QString key; std::string shown; } rows[] = {
        {"connection refused", "sk-1", "无法连接到 127.0.0.1:"},
        // Sent, the line break would end the header early and the rest travel as headers of their own.
        {"key with a line break", "sk-1\r\nX-A: b", "API 密钥里有换行或其他控制字符，请在设置中重新填写"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const OpenAICompatClient client = clientFor(FakeHttpServer::refusedUrl("/v1"), row.key);
        for (const std::string &failure : {shown(client.analyze(frames, "p")), shown(client.listModels())}) {
            EXPECT_TRUE(failure.starts_with(row.shown)) << failure;
            EXPECT_EQ(failure.find("sk-1"), std::string::npos) << failure;
        }
    }
}

} // namespace
