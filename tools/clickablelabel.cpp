#include "clickablelabel.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

#include <utility>

namespace tools {

namespace {

class ClickWatch : public QObject
{
public:
    ClickWatch(QObject *parent, std::function<void()> clicked) : QObject(parent), m_clicked(std::move(clicked)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            m_clicked();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_clicked;
};

} // namespace

QLabel *clickableLabel(const QString &caption, QWidget *parent, std::function<void()> clicked)
{
    auto *label = new QLabel(caption, parent);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setForegroundRole(QPalette::Link);
    label->setCursor(Qt::PointingHandCursor);
    label->installEventFilter(new ClickWatch(label, std::move(clicked)));
    return label;
}

} // namespace tools
