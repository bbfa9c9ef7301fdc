#include "ItemListModel.h"

#include "AppModel.h"

#include <QFileInfo>

#include <algorithm>

ItemListModel::ItemListModel(AppModel &model, QObject *parent)
    : QAbstractListModel(parent)
    , m_model(model)
{
    appended(0, model.items().size());
    connect(&model, &AppModel::itemsAppended, this, &ItemListModel::appended);
    connect(&model, &AppModel::itemsRemoved, this, &ItemListModel::removed);
    connect(&model, &AppModel::itemsChanged, this, &ItemListModel::changed);
}

int ItemListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

QVariant ItemListModel::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || row >= m_model.items().size())
        return {};
    const VideoItem &item = m_model.items()[row];
    if (item.id != m_ids.value(row))
        return {}; // between the removal of two runs of rows; the views hear again at the end
    switch (role) {
    case Qt::DisplayRole:
        return QFileInfo(item.url).fileName();
    case Qt::ToolTipRole:
        return item.url;
    case Qt::AccessibleTextRole:
        return QFileInfo(item.url).fileName() + QStringLiteral("，") + item.rowLabel();
    case IdRole:
        return item.id;
    case StatusTextRole:
        return item.rowLabel();
    case IsErrorRole:
        return item.rowLabelIsError();
    case FirstFrameRole:
        return item.frameFiles.value(0);
    default:
        return {};
    }
}

int ItemListModel::rowOf(const QUuid &id) const
{
    return m_rows.value(id, -1);
}

void ItemListModel::repaintItem(const QUuid &id)
{
    const int row = rowOf(id);
    if (row >= 0)
        emit dataChanged(index(row), index(row), {FirstFrameRole});
}

void ItemListModel::appended(qsizetype first, qsizetype count)
{
    if (count <= 0)
        return;
    beginInsertRows({}, int(first), int(first + count - 1));
    for (qsizetype row = first; row < first + count; ++row) {
        m_ids.insert(row, m_model.items()[row].id);
        m_rows.insert(m_ids[row], int(row));
    }
    endInsertRows();
}

void ItemListModel::removed(const QList<QUuid> &ids)
{
    QList<int> rows;
    for (const QUuid &id : ids) {
        if (const int row = rowOf(id); row >= 0)
            rows << row;
    }
    if (rows.isEmpty())
        return;
    if (rows.size() == m_ids.size()) { // the whole list went: nothing to keep
        beginResetModel();
        m_ids.clear();
        m_rows.clear();
        endResetModel();
        return;
    }
    // Contiguous runs from the bottom up, so the rows above keep their numbers meanwhile.
    std::ranges::sort(rows, std::greater<>());
    for (qsizetype i = 0; i < rows.size();) {
        const int last = rows[i];
        int first = last;
        while (++i < rows.size() && rows[i] == first - 1)
            first = rows[i];
        beginRemoveRows({}, first, last);
        for (int row = first; row <= last; ++row)
            m_rows.remove(m_ids[row]);
        m_ids.remove(first, last - first + 1);
        endRemoveRows();
    }
    reindexFrom(rows.last());
}

void ItemListModel::changed(const QList<QUuid> &ids)
{
    // One signal per contiguous run of rows, not per item.
    QList<int> rows;
    rows.reserve(ids.size());
    for (const QUuid &id : ids) {
        if (const int row = rowOf(id); row >= 0)
            rows << row;
    }
    std::ranges::sort(rows);
    for (qsizetype i = 0; i < rows.size();) {
        const int first = rows[i];
        int last = first;
        while (++i < rows.size() && rows[i] <= last + 1)
            last = rows[i];
        emit dataChanged(index(first), index(last));
    }
}

void ItemListModel::reindexFrom(int row)
{
    for (int r = row; r < m_ids.size(); ++r)
        m_rows[m_ids[r]] = r;
}
