#pragma once

#include <QDialog>

class AppModel;
class QButtonGroup;

// Which kinds of media the list takes in: videos, photos or both. A pick is saved at once.
class MediaTargetWindowController : public QDialog
{
public:
    MediaTargetWindowController(AppModel &model, QWidget *parent = nullptr);

    // What each choice takes in; the settings form says the same.
    static QString explanation();

    // 0 videos, 1 photos, 2 both, as the buttons are ordered.
    void picked(int choice);
    QButtonGroup *radios() const { return m_radios; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    AppModel &m_model;
    QButtonGroup *m_radios = nullptr;
};
