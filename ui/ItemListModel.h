#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QList>
#include <QUuid>

class AppModel;

// The model's items as list rows, one per item in list order. Follows the model's row-level
// signals, so views keep their selection and scroll position through every change.
class ItemListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        IdRole = Qt::UserRole + 1,
        StatusTextRole,
        IsErrorRole,
        FirstFrameRole, // the file of the first frame, empty without frames
    };

    explicit ItemListModel(AppModel &model, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // -1 when the item is not listed.
    int rowOf(const QUuid &id) const;
    // Repaints the row of the item, for a thumbnail that has arrived.
    void repaintItem(const QUuid &id);

private:
    void appended(qsizetype first, qsizetype count);
    void removed(const QList<QUuid> &ids);
    void changed(const QList<QUuid> &ids);
    void reindexFrom(int row);

    AppModel &m_model;
    // The ids in row order, as the views know them; matches the model between its signals.
    QList<QUuid> m_ids;
    QHash<QUuid, int> m_rows;
};
