#include "resultlist.h"

#include <QAbstractItemModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace search {

namespace {

constexpr int kMargin = 3;

} // namespace

ResultList::ResultList(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
}

void ResultList::setModel(QAbstractItemModel *model)
{
    m_model = model;
    auto reset = [this]() {
        m_current = -1;
        m_widest = 0;
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
        updateScrollBars();
        viewport()->update();
    };
    connect(model, &QAbstractItemModel::modelReset, this, reset);
    connect(model, &QAbstractItemModel::dataChanged, viewport(), qOverload<>(&QWidget::update));
    reset();
}

int ResultList::rowCount() const
{
    return m_model ? m_model->rowCount() : 0;
}

int ResultList::rowHeight() const
{
    return fontMetrics().lineSpacing();
}

int ResultList::rowsInSight() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

void ResultList::updateScrollBars()
{
    QScrollBar *rows = verticalScrollBar();
    rows->setRange(0, std::max(0, rowCount() - rowsInSight()));
    rows->setPageStep(rowsInSight());
    rows->setSingleStep(1);
    QScrollBar *columns = horizontalScrollBar();
    columns->setRange(0, std::max(0, m_widest + 2 * kMargin - viewport()->width()));
    columns->setPageStep(viewport()->width());
    columns->setSingleStep(fontMetrics().averageCharWidth() * 4);
}

QRect ResultList::rowRect(int row) const
{
    const int inSight = row - verticalScrollBar()->value();
    if (row < 0 || row >= rowCount() || inSight < 0 || inSight > rowsInSight())
        return QRect();
    return QRect(0, inSight * rowHeight(), viewport()->width(), rowHeight());
}

int ResultList::rowAt(int y) const
{
    const int row = verticalScrollBar()->value() + y / rowHeight();
    return y >= 0 && row < rowCount() ? row : -1;
}

void ResultList::setCurrentRow(int row)
{
    if (row < 0 || row >= rowCount())
        return;
    m_current = row;
    showRow(row);
    viewport()->update();
}

void ResultList::showRow(int row)
{
    QScrollBar *rows = verticalScrollBar();
    if (row < rows->value())
        rows->setValue(row);
    else if (row >= rows->value() + rowsInSight())
        rows->setValue(row - rowsInSight() + 1);
}

void ResultList::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    const int height = rowHeight();
    const int first = verticalScrollBar()->value();
    const int last = std::min(rowCount() - 1, first + rowsInSight());
    const int left = kMargin - horizontalScrollBar()->value();
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    const int widestBefore = m_widest;
    for (int row = first; row <= last; ++row) {
        const QRect rect(0, (row - first) * height, viewport()->width(), height);
        const QString text = m_model->data(m_model->index(row, 0)).toString();
        if (row == m_current) {
            painter.fillRect(rect, palette().brush(group, QPalette::Highlight));
            painter.setPen(palette().color(group, QPalette::HighlightedText));
        } else {
            painter.setPen(palette().color(group, QPalette::Text));
        }
        painter.drawText(rect.adjusted(left, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
        m_widest = std::max(m_widest, fontMetrics().horizontalAdvance(text));
    }
    if (m_widest != widestBefore)
        updateScrollBars();
}

void ResultList::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ResultList::scrollContentsBy(int, int)
{
    viewport()->update();
}

void ResultList::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int row = rowAt(event->position().toPoint().y());
    if (row < 0)
        return;
    setCurrentRow(row);
    emit clicked(row);
}

void ResultList::mouseDoubleClickEvent(QMouseEvent *event)
{
    const int row = rowAt(event->position().toPoint().y());
    if (event->button() == Qt::LeftButton && row >= 0)
        emit activated(row);
}

void ResultList::keyPressEvent(QKeyEvent *event)
{
    const int rows = rowCount();
    int row = m_current;
    switch (event->key()) {
    case Qt::Key_Up:
        row -= 1;
        break;
    case Qt::Key_Down:
        row += 1;
        break;
    case Qt::Key_PageUp:
        row -= rowsInSight();
        break;
    case Qt::Key_PageDown:
        row += rowsInSight();
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = rows - 1;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (m_current >= 0)
            emit activated(m_current);
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (rows > 0)
        setCurrentRow(std::clamp(row, 0, rows - 1));
}

QSize ResultList::sizeHint() const
{
    return QSize(fontMetrics().averageCharWidth() * 60, rowHeight() * 12);
}

} // namespace search
