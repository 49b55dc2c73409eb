#include "frmmirror.h"
#include "frmop.h"
#include "frmreclen.h"
#include "mainform.h"
#include "options.h"
#include "prompts.h"

#include <QApplication>
#include <QPointer>

namespace {

// Shows the window kept in `slot`, made by `make` the first time (and again after it closed); a
// window already shown is brought forward instead. Closed windows are deleted.
template <class W, class Make, class Show>
void showOnce(QPointer<W> &slot, Make make, Show showIt)
{
    if (slot && !slot->isVisible())
        delete slot.data(); // a dialog put away with Escape is hidden, not closed
    if (slot) {
        slot->show();
        slot->raise();
        slot->activateWindow();
        return;
    }
    slot = make();
    slot->setAttribute(Qt::WA_DeleteOnClose);
    showIt(slot.data());
}

} // namespace

// The composition root: builds the application, gives the menu items the windows that exist,
// and shows the main window.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornexa"));
    QApplication::setApplicationVersion(QStringLiteral(VORNEXA_VERSION));

    QtPrompts prompts;
    mainform window(prompts);

    QPointer<Options> options;
    QPointer<frmRecLen> recLen;
    QPointer<frmOp> operations;
    QPointer<frmMirror> mirror;
    const auto plainShow = [](QWidget *w) { w->show(); };
    const auto toolShow = [](tools::ToolWindow *w) { w->Form_Load(); };
    window.registerWindow(QStringLiteral("options1"), [&]() {
        showOnce(options, [&]() { return new Options(window); }, plainShow);
    });
    window.registerWindow(QStringLiteral("setRecLen"), [&]() {
        showOnce(recLen, [&]() { return new frmRecLen(window); }, plainShow);
    });
    window.registerWindow(QStringLiteral("Operations1"), [&]() {
        showOnce(operations, [&]() { return new frmOp(window); }, toolShow);
    });
    window.registerWindow(QStringLiteral("mirror1"), [&]() {
        showOnce(mirror, [&]() { return new frmMirror(window); }, toolShow);
    });

    window.Form_Load(QApplication::arguments().mid(1));
    window.show();
    const int code = QApplication::exec();
    // The record-length dialog has no owner window to take it along.
    delete recLen.data();
    return code;
}
