#pragma once

#include <QDialog>
#include <QList>

class AppModel;
class QLabel;
class QPushButton;

// Walks the user through setting up the local Ollama: three steps with a mark each and a command
// to copy, a one-click model download, a retry and a line saying what is still missing. Follows
// every readiness change, also while hidden; closes itself when a change finds all ready.
class OnboardingWindowController : public QDialog
{
public:
    OnboardingWindowController(AppModel &model, QWidget *parent = nullptr);

    // Redraws the marks, the download button and the note from the model.
    void refresh();

    QList<QLabel *> statusLabels() const { return m_statusLabels; }
    QLabel *noteLabel() const { return m_noteLabel; }
    QPushButton *pullButton() const { return m_pullButton; }
    // The copy buttons, in step order.
    QList<QPushButton *> copyButtons() const { return m_copyButtons; }

private:
    QWidget *stepRow(const QString &title, const QString &command);
    void setNote(const QString &text, const QColor &color);

    AppModel &m_model;
    QList<QLabel *> m_statusLabels;
    QList<QPushButton *> m_copyButtons;
    QLabel *m_noteLabel = nullptr;
    QPushButton *m_pullButton = nullptr;
};
