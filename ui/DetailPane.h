#pragma once

#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>

class AppModel;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class ThumbnailCache;
struct VideoItem;

// The right-hand pane of the main window: the frames, the montage sent to the model, the file's
// name, the editable content, place and new name, and the model's raw reply of one item. It is
// bound to the item's id, not to a row, so an edit always lands on the item it was made for.
class DetailPane : public QWidget
{
public:
    DetailPane(AppModel &model, ThumbnailCache &thumbnails, QWidget *parent = nullptr);

    // Shows the item, or "nothing selected"; an edit still open for the previous one is kept.
    void showItem(const std::optional<QUuid> &id);
    const std::optional<QUuid> &itemId() const { return m_itemId; }
    // Redraws from the bound item.
    void updateDetail();
    // Hands a field still being edited to the model, so a typed name is never lost.
    void commitEdits();

    QLineEdit *contentField() const { return m_contentField; }
    QLineEdit *locationField() const { return m_locationField; }
    QLineEdit *proposedField() const { return m_proposedField; }
    QLabel *originalLabel() const { return m_originalLabel; }
    QLabel *resultLabel() const { return m_resultLabel; }
    QLabel *montageTitle() const { return m_montageTitle; }
    QPlainTextEdit *analysisView() const { return m_analysisView; }
    int frameCount() const { return int(m_frameViews.size()); }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    const VideoItem *shownItem() const;
    QLineEdit *makeField(const QString &placeholder, const QString &accessibleName);
    void addFieldRow(const QString &title, QLineEdit *field);
    void commit(QLineEdit *field);
    void setFieldText(QLineEdit *field, const QString &text);
    void updatePictures();
    QSize montageSize() const;

    AppModel &m_model;
    ThumbnailCache &m_thumbnails;
    std::optional<QUuid> m_itemId;

    QHBoxLayout *m_framesStack;
    QList<QLabel *> m_frameViews;
    QList<QLabel *> m_fieldLabels;
    QLabel *m_montageTitle;
    QLabel *m_montageView;
    QLabel *m_originalLabel;
    QLineEdit *m_contentField;
    QLineEdit *m_locationField;
    QLineEdit *m_proposedField;
    QLabel *m_resultLabel;
    QPlainTextEdit *m_analysisView;
};
