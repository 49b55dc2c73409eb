#pragma once

#include "findsize.h"

#include <QAbstractListModel>

#include <vector>

namespace tools {

// Every position of one letter as the rows of a list: however many there are, each row's text is
// made only when the list shows it, so millions of positions cost their numbers and nothing more.
class PositionListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    void setPositions(QChar letter, std::vector<LetterPosition> positions);
    void clear();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // The line of the position on `row`, or 0 for a row that is not there.
    qint64 lineAt(int row) const;

private:
    QChar m_letter;
    std::vector<LetterPosition> m_positions;
};

} // namespace tools
