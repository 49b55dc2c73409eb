#include "commwindows.h"

#include "frmreceive.h"
#include "frmrestart.h"
#include "frmsend.h"
#include "frmsendmachine.h"
#include "host.h"

namespace comm {

namespace {

template <class Window>
QWidget *make(Host &host)
{
    return new Window(host);
}

// Send and Receive open on the machine list (and Send on the program's range) before they show.
template <class Window>
void open(QWidget *window)
{
    static_cast<Window *>(window)->Form_Load();
    window->show();
}

struct CommEntry
{
    const char *item;
    QWidget *(*make)(Host &);
    void (*show)(QWidget *);
};

constexpr CommEntry kWindows[] = {
    {"send1", &make<frmSend>, &open<frmSend>},
    {"Receive1", &make<frmReceive>, &open<frmReceive>},
    {"frmSendMachine1", &manageMachinesWindow, nullptr},
    {"saverestart", &make<frmRestart>, &open<frmRestart>},
};

} // namespace

void registerWindows(Host &host)
{
    for (const CommEntry &entry : kWindows) {
        Host::ShowWindow show;
        if (entry.show)
            show = entry.show;
        host.addWindow(QString::fromLatin1(entry.item), entry.make, show);
    }
}

QWidget *manageMachinesWindow(Host &host)
{
    // Opened from the menu or from Send and Receive, it is one window.
    for (frmSendMachine *open : host.mainWindow()->findChildren<frmSendMachine *>(Qt::FindDirectChildrenOnly)) {
        if (open->isVisible())
            return open;
    }
    auto *window = new frmSendMachine(host);
    window->Form_Load();
    return window;
}

void showManageMachines(Host &host)
{
    QWidget *window = manageMachinesWindow(host);
    if (!window->isVisible())
        host.placeBesideText(window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace comm
