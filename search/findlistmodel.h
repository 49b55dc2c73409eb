#pragma once

#include <QAbstractListModel>

#include <vector>

class TESSARC;

namespace tessarc {
class LineStore;
}

namespace search {

// The results of Find (List): one row a matching line, "Line 12: G01 X1.5". Only the line numbers
// are kept; a row's text is read from the program's line store when the row is shown or printed,
// so a search that hits every line of a program of millions lists them all in a few bytes a row.
class FindListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit FindListModel(TESSARC &editor, QObject *parent = nullptr);

    void setLines(std::vector<qint64> lines);
    void clear() { setLines({}); }
    const std::vector<qint64> &lines() const { return m_lines; }
    qint64 line(int row) const { return m_lines.at(static_cast<size_t>(row)); }

    // Row `row` as it is shown, its line read from `store`; a line beyond the program's end (the
    // program has changed since the search) shows no text.
    QString rowText(int row, tessarc::LineStore &store) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    TESSARC &m_editor;
    std::vector<qint64> m_lines;
};

} // namespace search
