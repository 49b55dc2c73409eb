#include "positionlist.h"

#include <climits>

namespace tools {

void PositionListModel::setPositions(QChar letter, std::vector<LetterPosition> positions)
{
    beginResetModel();
    m_letter = letter;
    m_positions = std::move(positions);
    endResetModel();
}

void PositionListModel::clear()
{
    setPositions(QChar(), {});
}

int PositionListModel::rowCount(const QModelIndex &parent) const
{
    // A list holds at most INT_MAX rows; a program holds no more lines than that.
    return parent.isValid() ? 0 : static_cast<int>(std::min<std::size_t>(m_positions.size(), INT_MAX));
}

QVariant PositionListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    return positionRow(m_letter, m_positions[static_cast<std::size_t>(index.row())]);
}

qint64 PositionListModel::lineAt(int row) const
{
    return row >= 0 && row < rowCount() ? m_positions[static_cast<std::size_t>(row)].line : 0;
}

} // namespace tools
