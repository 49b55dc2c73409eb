#pragma once

#include "lineposition.h"
#include "tessarc_export.h"

#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStringList>
#include <QWidget>
#include <functional>

namespace tessarc {

// The editable view of one page. Offsets given to and taken from it count each line break as two
// characters (CR LF), as the page text is joined; the document itself holds one per break.
class TESSARC_EXPORT PageView : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit PageView(QWidget *parent = nullptr);

    // Called for every key press before the view handles it; true swallows the key.
    std::function<bool(QKeyEvent *)> keyHook;
    // Called once the view has handled a key it did not swallow.
    std::function<void()> afterKeyHook;

    // The page's lines as the view holds them.
    QStringList pageLines() const;
    // The view's text, lines joined with CR LF.
    QString pageText() const;

    CharOffset selStart() const;
    int selLength() const;               // characters, each line break counting two
    void setSelStart(CharOffset offset); // collapses the selection to a caret at `offset`
    void setSelLength(int length);       // extends from the selection start
    QString selText() const;             // line breaks as CR LF
    // The row of the page that holds the character at `offset`.
    PageRow lineFromChar(CharOffset offset) const;
    // The offset of the first character of `row`; -1 past the last row.
    CharOffset lineStart(PageRow row) const;

    // Where `row` is drawn, in the viewport's coordinates; invalid past the last row.
    QRectF lineRect(PageRow row) const;

    // The document's own positions count one character for a line break.
    int offsetToPosition(CharOffset offset) const;
    CharOffset positionToOffset(int position) const;

signals:
    void mouseDown(int button, int shift, float x, float y);
    // The wheel turned over the view: the page never scrolls inside the view, the control moves it.
    void wheelTurned(int delta);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
};

// The line-number gutter at the left of the view. Its caption holds one row per page line; each
// row is drawn level with its line in the view.
class TESSARC_EXPORT LineGutter : public QWidget
{
    Q_OBJECT
public:
    LineGutter(PageView *view, QWidget *parent = nullptr);
    void setCaption(const QString &caption);
    const QString &caption() const { return m_caption; }
    void setColors(const QColor &text, const QColor &background);
    // The row that holds the caret, drawn on a lighter ground; -1 for none.
    void setCurrentRow(int row);
    int currentRow() const { return m_currentRow; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PageView *m_view;
    QString m_caption;
    QColor m_text = Qt::white;
    QColor m_background = Qt::black;
    int m_currentRow = -1;
};

// The notes over the progress bar: a text too long for the strip is shortened in its middle when
// drawn, so its start and its end (a file name, "Loaded.") stay in sight; text() keeps it whole.
class TESSARC_EXPORT StatusNote : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The progress box: a bar filled from the left, shading from blue to red.
class TESSARC_EXPORT ProgressBox : public QWidget
{
    Q_OBJECT
public:
    explicit ProgressBox(QWidget *parent = nullptr);
    void draw(qint64 percentage);
    const QImage &image() const { return m_image; }

signals:
    void released(int x);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage m_image;
    qint64 m_percentage = 0;
};

} // namespace tessarc
