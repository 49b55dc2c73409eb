#include "pageview.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <cmath>

namespace tessarc {

PageView::PageView(QWidget *parent) : QPlainTextEdit(parent)
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The page keeps no history of its own: there is one, the program's. Typing is taken back by
    // writing the page back as a step and taking that step back.
    setUndoRedoEnabled(false);
    // The host shows its own menu on the right button.
    setContextMenuPolicy(Qt::NoContextMenu);
}

QStringList PageView::pageLines() const
{
    QStringList lines;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        lines.append(b.text());
    return lines;
}

QString PageView::pageText() const
{
    return pageLines().join(QStringLiteral("\r\n"));
}

CharOffset PageView::positionToOffset(int position) const
{
    const QTextBlock b = document()->findBlock(position);
    return CharOffset(position + (b.isValid() ? b.blockNumber() : 0));
}

int PageView::offsetToPosition(CharOffset at) const
{
    const int offset = at.value;
    int start = 0; // offset of the block's first character
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
        const int len = b.length() - 1;
        if (offset <= start + len + 1 || !b.next().isValid())
            return b.position() + std::clamp(offset - start, 0, len);
        start += len + 2;
    }
    return 0;
}

CharOffset PageView::selStart() const
{
    return positionToOffset(textCursor().selectionStart());
}

int PageView::selLength() const
{
    const QTextCursor c = textCursor();
    return positionToOffset(c.selectionEnd()).value - positionToOffset(c.selectionStart()).value;
}

void PageView::setSelStart(CharOffset offset)
{
    QTextCursor c = textCursor();
    c.setPosition(offsetToPosition(CharOffset(std::max(0, offset.value))));
    setTextCursor(c);
}

void PageView::setSelLength(int length)
{
    QTextCursor c = textCursor();
    const CharOffset start = positionToOffset(c.selectionStart());
    c.setPosition(c.selectionStart());
    c.setPosition(offsetToPosition(CharOffset(start.value + std::max(0, length))), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

QRectF PageView::lineRect(PageRow row) const
{
    const QTextBlock b = document()->findBlockByNumber(row.value);
    if (!b.isValid())
        return QRectF();
    return blockBoundingGeometry(b).translated(contentOffset());
}

QString PageView::selText() const
{
    QString s = textCursor().selectedText();
    s.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return s;
}

PageRow PageView::lineFromChar(CharOffset offset) const
{
    return PageRow(document()->findBlock(offsetToPosition(offset)).blockNumber());
}

CharOffset PageView::lineStart(PageRow row) const
{
    const QTextBlock b = document()->findBlockByNumber(row.value);
    if (!b.isValid())
        return CharOffset(-1);
    return positionToOffset(b.position());
}

bool PageView::event(QEvent *event)
{
    // Undo and Redo are the view's own only while it has typing to take back or do again; otherwise
    // the keys go to the window's Undo and Redo, which work on the program's history.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool undo = key->matches(QKeySequence::Undo);
        const bool redo = key->matches(QKeySequence::Redo);
        if ((undo && !document()->isUndoAvailable()) || (redo && !document()->isRedoAvailable())) {
            event->ignore();
            return true;
        }
    }
    return QPlainTextEdit::event(event);
}

void PageView::keyPressEvent(QKeyEvent *event)
{
    if (keyHook && keyHook(event)) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
    if (afterKeyHook)
        afterKeyHook();
}

void PageView::mousePressEvent(QMouseEvent *event)
{
    int button = 0;
    if (event->button() == Qt::LeftButton)
        button = 1;
    else if (event->button() == Qt::RightButton)
        button = 2;
    else if (event->button() == Qt::MiddleButton)
        button = 4;
    int shift = 0;
    if (event->modifiers() & Qt::ShiftModifier)
        shift |= 1;
    if (event->modifiers() & Qt::ControlModifier)
        shift |= 2;
    if (event->modifiers() & Qt::AltModifier)
        shift |= 4;
    const QPointF p = event->position();
    emit mouseDown(button, shift, static_cast<float>(p.x()), static_cast<float>(p.y()));
    QPlainTextEdit::mousePressEvent(event);
}

void PageView::wheelEvent(QWheelEvent *event)
{
    event->accept();
    emit wheelTurned(event->angleDelta().y());
}

void PageView::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText())
        return;
    QString text = source->text();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    textCursor().insertText(text);
}

LineGutter::LineGutter(PageView *view, QWidget *parent) : QWidget(parent), m_view(view)
{
    connect(view, &QPlainTextEdit::updateRequest, this, qOverload<>(&QWidget::update));
}

void LineGutter::setCaption(const QString &caption)
{
    m_caption = caption;
    update();
}

void LineGutter::setColors(const QColor &text, const QColor &background)
{
    m_text = text;
    m_background = background;
    update();
}

void LineGutter::setCurrentRow(int row)
{
    if (row == m_currentRow)
        return;
    m_currentRow = row;
    update();
}

void LineGutter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
    painter.setPen(m_text);
    painter.setFont(font());
    const QStringList rows = m_caption.split(QStringLiteral("\r\n"));
    const QFontMetrics fm(font());
    // Rows sit level with the view's lines; rows past the page's last line follow at the same pitch.
    const int viewTop = m_view->viewport()->mapTo(parentWidget(), QPoint(0, 0)).y() - y();
    const QRectF first = m_view->lineRect(PageRow(0));
    const qreal lineHeight = first.height() > 0 ? first.height() : fm.lineSpacing();
    const qreal top0 = viewTop + (first.isValid() ? first.top() : m_view->document()->documentMargin());
    for (int i = 0; i < rows.size(); ++i) {
        const QRectF line = m_view->lineRect(PageRow(static_cast<int>(i)));
        const qreal top = line.isValid() ? viewTop + line.top() : top0 + i * lineHeight;
        const QRectF row(0, top, width() - 4, lineHeight);
        if (i == m_currentRow) {
            const QColor toward = m_background.lightness() < 128 ? QColor(Qt::white) : QColor(Qt::black);
            const auto mix = [](int a, int b) { return a + (b - a) / 4; };
            painter.fillRect(QRectF(0, top, width(), lineHeight),
                             QColor(mix(m_background.red(), toward.red()), mix(m_background.green(), toward.green()),
                                    mix(m_background.blue(), toward.blue())));
        }
        painter.drawText(row, Qt::AlignRight | Qt::AlignVCenter, rows.at(i));
    }
}

void StatusNote::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect room = contentsRect().adjusted(4, 0, -4, 0);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(room, static_cast<int>(alignment()), fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()));
}

ProgressBox::ProgressBox(QWidget *parent) : QWidget(parent)
{
}

void ProgressBox::draw(qint64 percentage)
{
    m_percentage = percentage;
    const QSize size = this->size().isEmpty() ? QSize(1, 1) : this->size();
    m_image = QImage(size, QImage::Format_RGB32);
    m_image.fill(palette().color(QPalette::Window));
    const double w = static_cast<double>(percentage) / 100.0 * size.width();
    QPainter painter(&m_image);
    for (int x = 1; x <= w; ++x) {
        // Blue to red, kept light so the notes over the bar stay readable.
        const int red = static_cast<int>(std::nearbyint(255.0 * x / w));
        const auto light = [](int v) { return 120 + v * 135 / 255; };
        painter.setPen(QColor(light(red), 120, light(255 - red)));
        painter.drawLine(x, 0, x, size.height());
    }
    painter.end();
    update();
}

void ProgressBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_image.isNull())
        painter.fillRect(rect(), palette().color(QPalette::Window));
    else
        painter.drawImage(0, 0, m_image);
}

void ProgressBox::resizeEvent(QResizeEvent *)
{
    draw(m_percentage);
}

void ProgressBox::mouseReleaseEvent(QMouseEvent *event)
{
    emit released(static_cast<int>(event->position().x()));
}

} // namespace tessarc
