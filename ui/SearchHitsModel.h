#pragma once

#include "SearchHit.h"

#include <QAbstractTableModel>
#include <QList>
#include <QStyledItemDelegate>

// The hits of the last search as table rows: video, time, confidence, caption and note. Only the
// note can be edited, and an edit finds its hit by id, so it cannot land on another one after the
// rows changed.
class SearchHitsModel : public QAbstractTableModel
{
public:
    enum Column { VideoColumn, TimeColumn, ScoreColumn, CaptionColumn, NoteColumn, ColumnCount };
    static constexpr int IdRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    void setHits(const QList<SearchHit> &hits);
    const QList<SearchHit> &hits() const { return m_hits; }
    const SearchHit *hit(int row) const;
    void setNote(const QUuid &id, const QString &note);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

private:
    QList<SearchHit> m_hits;
};

// The note column's editor: it remembers whose note it opened, not which row.
class NoteDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
};
