#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>

// One moment of a video where the model saw what was sought. Identity and time are fixed once the
// hit exists; the rest is the result table's to edit.
class SearchHit
{
public:
    SearchHit(double time, QString caption, int score, QString videoName, std::optional<QByteArray> thumbnail = {})
        : caption(std::move(caption))
        , score(score)
        , videoName(std::move(videoName))
        , thumbnail(std::move(thumbnail))
        , m_time(time)
    {
    }

    const QUuid &id() const { return m_id; }
    // Seconds from the start of the video, as the sampler asked for the frame.
    double time() const { return m_time; }

    QString caption;
    bool hit = true;
    int score = 0; // 0 to 100
    QString note;
    QString videoName; // the file name, with its extension
    std::optional<QByteArray> thumbnail; // the sampled frame's own JPEG

private:
    QUuid m_id = QUuid::createUuid();
    double m_time = 0;
};
