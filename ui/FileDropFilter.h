#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

// Makes a widget a drop target for local files: a drag that carries at least one is accepted as a
// copy, anything else is refused. Install it on the widget that should take the drop.
class FileDropFilter : public QObject
{
public:
    // onHighlight (may be empty) hears true while an acceptable drag is over the widget.
    FileDropFilter(QWidget *target, std::function<void(const QStringList &)> onDropFiles,
                   std::function<void(bool)> onHighlight = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void highlight(bool on);

    std::function<void(const QStringList &)> m_onDropFiles;
    std::function<void(bool)> m_onHighlight;
};
