#include "findlistmodel.h"

#include "find.h"
#include "linestore.h"
#include "tessarc.h"

namespace search {

FindListModel::FindListModel(TESSARC &editor, QObject *parent) : QAbstractListModel(parent), m_editor(editor)
{
    // The rows show the lines as they are now: after a change to the program they are read again.
    auto refresh = [this]() {
        if (!m_lines.empty())
            emit dataChanged(index(0), index(rowCount() - 1));
    };
    connect(&editor.program(), &tessarc::Program::loaded, this, refresh);
    connect(&editor.program(), &tessarc::Program::lineCountChanged, this, refresh);
    connect(&editor.program().lock, &tessarc::OperationLock::busyChanged, this, [refresh](bool busy) {
        if (!busy)
            refresh();
    });
}

void FindListModel::setLines(std::vector<qint64> lines)
{
    beginResetModel();
    m_lines = std::move(lines);
    endResetModel();
}

QString FindListModel::rowText(int row, tessarc::LineStore &store) const
{
    const qint64 n = line(row);
    if (n > m_editor.numberOfLines())
        return findListRow(n, QByteArrayView());
    return findListRow(n, store.read(tessarc::LineNumber(n)));
}

int FindListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

QVariant FindListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return QVariant();
    try {
        tessarc::LineStore store;
        m_editor.program().openStore(store);
        return rowText(index.row(), store);
    } catch (const tessarc::ControlError &) {
        // The store is gone (another program is being loaded): the row shows its number alone.
        return findListRow(line(index.row()), QByteArrayView());
    }
}

} // namespace search
