#pragma once

#include "globalvar.h"
#include "host.h"
#include "settingsstore.h"
#include "storeclaim.h"

#include <QHash>

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>

class InstanceLock;
namespace recovery {
struct LeftStore;
}
class Prompts;
class QAction;
class ProgramSession;
class QMenu;
class QTimer;
class TESSARC;

// VORNEXA's main window: it hosts the editor control TESSARC1, holds the menus, the busy indicator
// and the program-wide values, runs start-up, the file commands and shutdown, and is the host of
// every other window of the program.
class mainform : public QMainWindow, public Host
{
    Q_OBJECT

public:
    explicit mainform(Prompts &prompts, QWidget *parent = nullptr);
    ~mainform() override;

    TESSARC *TESSARC1 = nullptr;
    QTimer *row = nullptr;
    GlobalVar globalVar;

    // ---- Host ----
    TESSARC &editor() override { return *TESSARC1; }
    Prompts &prompts() override { return m_prompts; }
    SettingsStore &settings() override { return m_settings; }
    GlobalVar &values() override { return globalVar; }
    tessarc::OperationLock &lock() override;
    QWidget *mainWindow() override { return this; }
    void applyIcon(QWidget *window) const override;
    void recentFilesChanged() override { refreshRecentMenu(); }
    void showNote(const QString &note) override;
    void addWindow(const QString &item, MakeWindow make, ShowWindow show = {}) override;
    void addCommand(const QString &item, std::function<void()> run) override;
    QWidget *showWindow(const QString &item) override;
    // Right of the main window, below it, or inside its lower right corner.
    void placeBesideText(QWidget *window) const override;
    // The window's title: the program's file name, " *" while it holds unsaved changes, and the
    // product name; the product name alone with no program.
    QString titleText() const;
    // A program is open whose changes (in the store or still on the page) are not saved.
    bool holdsUnsavedChanges() const;

    // The folder of the branding files, help pages, definitions and line stores.
    const QString &programFolder() const { return m_programFolder; }

    // A menu item (or a menu's own item) by its name; null for an unknown name.
    QAction *item(const QString &name) const;
    // A menu by its name.
    QMenu *menu(const QString &name) const;
    // The window shown for a menu item, while it is open.
    QWidget *window(const QString &item) const;

    // Start-up, with the command line's arguments after the program's name.
    void Form_Load(const QStringList &arguments);

    // File commands
    void newFile1_Click();
    void LoadFile_Click();
    void openfileinnewwindow_Click();
    // True when the program was written; a failure has been reported and changes nothing.
    bool SaveFile_Click();
    void SaveFileAs_Click();
    void re_Click(int entry); // 1 to 5
    // A file dropped on the window opens as a recent file does, after the save question.
    void openDropped(const QString &path);
    void refreshRecentMenu();
    void addRecentFile(const QString &path);
    static bool pathIsUsable(const QString &path);
    void setSaveCaptions();
    // The menus that need a program: shown, greyed (while one loads), hidden (while none is open).
    void showFileMenus();
    void greyFileMenus();
    void hideFileMenus();
    void allocateTempFiles();

    // Undo and Redo: typing on the page first, then the program's history.
    void undo_Click();
    void redo_Click();
    void refreshUndoItems();

    // Help, About and the busy indicator
    void openHelp(const QString &topic);
    void about_Click();
    void row_Timer();
    int rowCounter() const { return m_rowCounter; }

    // Whether another VORNEXA runs on the same program folder.
    bool otherInstanceRunning() const;

    // How a second process is started (the application starts a real one).
    std::function<bool(const QString &program, const QStringList &arguments)> startProcess;

protected:
    void closeEvent(QCloseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // Files dragged over the page are this window's to open; text dragged there stays the page's.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void connectCommands();
    void loadSettings();
    void readBranding();
    // While an operation holds the lock: the busy indicator turns and what must not run is greyed.
    void operationBusy(bool busy);
    void refreshTitle();
    void stepHistory(bool forward);
    void saveSettingsAndQuit();
    bool savePrompt(); // false when the command is to end
    // Opens `path` once no operation runs and the save question is answered.
    void openAfterSavePrompt(const QString &path);
    bool refuseWhileRunning();
    // The file to save to, asked with `proposed` as its name (none: the folder alone); an existing
    // file only once the overwrite question is answered Yes.
    QString chooseSaveTarget(const QString &proposed = QString());
    // Brings the page into the store; false (after saying why) when nothing can be saved now.
    bool readyToSave();
    // Loads a program into fresh stores, then deletes the stores of the program it replaces. On a
    // failed load (the control has said why) no program is open: the view is locked and the menus
    // that need a program are hidden. True when the program is open.
    bool openProgram(const QString &path);
    bool offerLeftChanges();
    bool openRecovered(const recovery::LeftStore &left, tessarc::StoreClaim claim);
    // Moves the window so its frame, title bar included, lies on a screen.
    void keepFrameOnScreen();
    void showContextMenu(int button, int shift, float x, float y);
    QString folderOf(const QString &path) const;
    QString dialogFolder(const QString &remembered) const;
    void programIcon();

    Prompts &m_prompts;
    SettingsStore m_settings;
    QString m_programFolder;
    // The program shown, from its stores to its file.
    std::unique_ptr<ProgramSession> m_session;
    std::unique_ptr<InstanceLock> m_instance;
    QHash<QString, QAction *> m_items;
    QHash<QString, QMenu *> m_menus;
    QHash<QString, QPointer<QWidget>> m_windows;
    QHash<QString, std::pair<MakeWindow, ShowWindow>> m_makers;
    int m_rowCounter = 0;
    int m_frameChecks = 0; // times the frame was looked for before the window manager drew it
    bool m_shownOnce = false;
    bool m_startMaximized = false; // the window was left maximized
    // The window's place as read from the settings (in twips) and as it was applied (in pixels):
    // a value the machinist did not change is written back exactly as it was read.
    std::array<double, 4> m_placeRead{};
    std::array<int, 4> m_placeApplied{};
};
