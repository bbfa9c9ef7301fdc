#pragma once

#include "SearchMode.h"

#include <QJsonObject>
#include <QString>

// Every word we say to the vision model, and how its answers are read back. The readers never fail:
// whatever the model returns, they give a result.
namespace PromptBuilder {

// What the picture shows; the caller maps its own media kind onto this.
enum class Media { video, photo };

struct NamingReply
{
    QString content;
    QString location;
};

struct SearchReply
{
    QString caption;
    bool hit = false;
    int score = 0; // always 0 to 100
};

// The naming prompt for a montage of columns × rows frames; 1 and 1 when a single picture is sent.
QString build(int columns, int rows, Media media);
NamingReply parse(const QString &reply);

// Built once per search and sent with every frame.
QString buildSearch(const QString &query, SearchMode mode);
SearchReply parseSearch(const QString &reply);

// The JSON schema the naming reply must follow, for engines that can enforce one.
QJsonObject namingSchema();

// Turns a loose model phrase into a short name part: no quotes, lead-ins, trailing clauses or
// punctuation, at most 20 user-perceived characters.
QString cleanPhrase(const QString &phrase);

} // namespace PromptBuilder
