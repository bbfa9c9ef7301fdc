#include "SearchHitsModel.h"

#include "SearchExport.h"

#include <QLineEdit>

void SearchHitsModel::setHits(const QList<SearchHit> &hits)
{
    // A new result replaces the old one whole.
    beginResetModel();
    m_hits = hits;
    endResetModel();
}

const SearchHit *SearchHitsModel::hit(int row) const
{
    return row >= 0 && row < m_hits.size() ? &m_hits[row] : nullptr;
}

void SearchHitsModel::setNote(const QUuid &id, const QString &note)
{
    for (qsizetype row = 0; row < m_hits.size(); ++row) {
        if (m_hits[row].id() == id) {
            m_hits[row].note = note;
            emit dataChanged(index(int(row), NoteColumn), index(int(row), NoteColumn));
            return;
        }
    }
}

int SearchHitsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_hits.size());
}

int SearchHitsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchHitsModel::data(const QModelIndex &index, int role) const
{
    const SearchHit *shown = hit(index.row());
    if (!shown)
        return {};
    if (role == IdRole)
        return shown->id();
    const bool display = role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::EditRole
        || role == Qt::AccessibleTextRole;
    if (!display)
        return {};
    switch (index.column()) {
    case VideoColumn: {
        // A run of hits from one video names it once, on its first row; tooltips and screen
        // readers still say it on every row.
        const bool firstOfRun = index.row() == 0 || m_hits[index.row() - 1].videoName != shown->videoName;
        return firstOfRun || role != Qt::DisplayRole ? shown->videoName : QString();
    }
    case TimeColumn:
        return SearchTimeFormat::time(shown->time());
    case ScoreColumn:
        return QString::number(shown->score);
    case CaptionColumn:
        return shown->caption;
    case NoteColumn:
        return shown->note;
    default:
        return {};
    }
}

QVariant SearchHitsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QString titles[] = {QStringLiteral("视频"), QStringLiteral("时间"), QStringLiteral("置信度"),
                                     QStringLiteral("描述"), QStringLiteral("备注（双击可编辑）")};
    return section >= 0 && section < ColumnCount ? titles[section] : QVariant();
}

Qt::ItemFlags SearchHitsModel::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return index.column() == NoteColumn ? flags | Qt::ItemIsEditable : flags;
}

bool SearchHitsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const SearchHit *edited = hit(index.row());
    if (role != Qt::EditRole || index.column() != NoteColumn || !edited)
        return false;
    setNote(edited->id(), value.typeId() == QMetaType::QString ? value.toString() : QString());
    return true;
}

QWidget *NoteDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    editor->setProperty("hitId", index.data(SearchHitsModel::IdRole));
    return editor;
}

void NoteDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &) const
{
    auto *hits = static_cast<SearchHitsModel *>(model);
    const auto *field = qobject_cast<QLineEdit *>(editor);
    hits->setNote(editor->property("hitId").toUuid(), field ? field->text() : QString());
}
