#pragma once

#include <QAbstractScrollArea>

class QAbstractItemModel;

namespace search {

// A list box for results that may run to millions of rows: it lays nothing out ahead and draws,
// and reads from its model, only the rows in sight, so showing a list costs the same whatever its
// length. One row is current; a click makes a row current, Enter (or a double click) activates
// it, and the arrow, page, Home and End keys move through the list.
class ResultList : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ResultList(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model);
    int rowCount() const;
    // The current row; -1 until a row is chosen.
    int currentRow() const { return m_current; }
    void setCurrentRow(int row);
    // Where row `row` stands in the viewport (empty when it is out of sight), and the row at `y`.
    QRect rowRect(int row) const;
    int rowAt(int y) const;

signals:
    void clicked(int row);
    void activated(int row);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    QSize sizeHint() const override;

private:
    int rowHeight() const;
    int rowsInSight() const;
    void updateScrollBars();
    void showRow(int row);

    QAbstractItemModel *m_model = nullptr;
    int m_current = -1;
    int m_widest = 0; // the widest row drawn so far, for the horizontal bar
};

} // namespace search
