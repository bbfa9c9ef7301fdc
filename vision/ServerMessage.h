#pragma once

#include <QString>

#include <optional>

// Servers wrap their error texts in JSON, sometimes a JSON text inside another one's message.
namespace ServerMessage {

// The message of one JSON object text: error.message, else message, else error (as a string).
// Nothing when the text is not a JSON object or has none of these.
std::optional<QString> pick(const QString &text);

// The innermost message within two levels: the message of the message when there is one, else the
// message; nothing when the text itself has none.
std::optional<QString> unwrap(const QString &text);

// What an error body says, for the user: the message of a JSON error (also when it is the first
// of several lines), the words of an HTML page without its markup, or else the text as it came.
QString readable(const QString &body);

} // namespace ServerMessage
