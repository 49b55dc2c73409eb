#pragma once

class Host;
class QWidget;

namespace comm {

// Send, Receive and Manage Machines behind their menu items.
void registerWindows(Host &host);

// The Manage Machines window: the one already open, or a new one filled with the machine list.
QWidget *manageMachinesWindow(Host &host);
// Shows Manage Machines (not modal), the open one brought forward.
void showManageMachines(Host &host);

} // namespace comm
