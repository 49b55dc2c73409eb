#pragma once

#include <QString>
#include <functional>

struct GlobalVar;
class Prompts;
class QWidget;
class SettingsStore;
class TESSARC;

namespace tessarc {
class OperationLock;
}

// What every window outside the shell works with: the editor control (the open program and its
// page), the prompts, the settings, the operation lock, and the window it stays above. The main
// window is the host in the application; tests use a small one.
class Host
{
public:
    virtual ~Host() = default;

    virtual TESSARC &editor() = 0;
    virtual Prompts &prompts() = 0;
    virtual SettingsStore &settings() = 0;
    // The settings as read at start-up, by group; windows that change a setting update both.
    virtual GlobalVar &values() = 0;
    virtual tessarc::OperationLock &lock() = 0;
    // The window the program's other windows belong to and stay above.
    virtual QWidget *mainWindow() = 0;
    // Gives a window the program's icon when the program folder has one.
    virtual void applyIcon(QWidget *window) const = 0;
    // Called when the recent-files list changed outside the file commands (Options clears it).
    virtual void recentFilesChanged() {}
    // What a run did, for the main window's status strip.
    virtual void showNote(const QString &note) { (void)note; }

    // How a window is made, and how it is shown once made (tool windows fill their range first).
    using MakeWindow = std::function<QWidget *(Host &host)>;
    using ShowWindow = std::function<void(QWidget *window)>;
    // Puts a window behind a menu item: one window at a time, made on the first click, brought
    // forward on the next. A host without menus may ignore it.
    virtual void addWindow(const QString &item, MakeWindow make, ShowWindow show = {}) = 0;
    // Puts a command behind a menu item (one that shows no window of its own, such as Print):
    // it runs on every click. A host without menus may ignore it.
    virtual void addCommand(const QString &item, std::function<void()> run)
    {
        (void)item;
        (void)run;
    }
    // Puts a new window of the program's where it covers neither the menus nor the page's first
    // lines (where a hit is shown). A host without a window may ignore it.
    virtual void placeBesideText(QWidget *window) const { (void)window; }
    // Shows the window behind a menu item as a click on the item does (made when it is not open,
    // brought forward when it is) and gives it; null when no window is put behind the item.
    virtual QWidget *showWindow(const QString &item)
    {
        (void)item;
        return nullptr;
    }
};
