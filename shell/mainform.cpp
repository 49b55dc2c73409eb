#include "mainform.h"

#include "programsession.h"

#include "frmabout.h"
#include "instancelock.h"
#include "recovery.h"
#include "operation.h"
#include "programfolder.h"
#include "prompts.h"
#include "pageview.h"
#include "tessarc.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include "safefile.h"
#include <QScreen>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <cmath>

namespace {

// Window positions are kept in twips in the store, 15 to a pixel.
constexpr double kTwipsPerPixel = 15.0;

int toPixels(double twips)
{
    return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

double toTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

// What an item of the menu tree is and does.
enum MenuRole : unsigned {
    Menu = 1,         // opens a submenu (or is the menu bar's menu)
    Own = 2,          // its command is this window's own (every other item shows a window of its
                      // own, and stays disabled until that window is registered)
    NeedsProgram = 4, // shown only while a program is open (greyed while one loads)
    WaitsForRun = 8,  // would change or replace the program: greyed while an operation runs
    Everywhere = 16,  // its shortcut works from every window of the program
};

// The menu tree: item, caption, parent menu, shortcut, roles. A parent named "" is the menu bar,
// "-" no menu at all (the context menu).
struct MenuEntry
{
    const char *name;
    const char *caption;
    const char *parent;
    const char *shortcut;
    unsigned roles;
};

// The items that have `role`, in the order of the tree.
QStringList itemsWith(MenuRole role);

constexpr MenuEntry kMenuTree[] = {
    {"file", "&File", "", "", Menu},
    {"newFile1", "&New File...", "file", "Ctrl+N", Own | WaitsForRun},
    {"LoadFile", "&Open File...", "file", "Ctrl+O", Own | WaitsForRun},
    {"openfileinnewwindow", "Op&en File In New Window", "file", "", Own},
    {"SaveFile", "&Save File", "file", "Ctrl+S", Own | NeedsProgram | WaitsForRun | Everywhere},
    {"SaveFileAs", "S&ave File As...", "file", "Ctrl+Shift+S", Own | NeedsProgram | WaitsForRun},
    {"export1", "&Export", "file", "", Menu | NeedsProgram},
    {"exportPointCloud1", "&Export Point Cloud", "export1", "", 0},
    {"s2", "-", "file", "", 0},
    {"print1", "&Print...", "file", "Ctrl+P", NeedsProgram},
    {"comparewith", "Compare &With...", "file", "", NeedsProgram},
    {"s4", "-", "file", "", 0},
    {"re1", "1   ", "file", "", Own | WaitsForRun},
    {"re2", "2   ", "file", "", Own | WaitsForRun},
    {"re3", "3   ", "file", "", Own | WaitsForRun},
    {"re4", "4   ", "file", "", Own | WaitsForRun},
    {"re5", "5   ", "file", "", Own | WaitsForRun},
    {"s3", "-", "file", "", 0},
    {"setRecLen", "Set Record Length", "file", "", WaitsForRun},
    {"exit", "E&xit", "file", "Ctrl+Q", Own},
    {"edit1", "&Edit", "", "", Menu | NeedsProgram},
    {"cut", "Cut", "edit1", "", Own | WaitsForRun},
    {"copy", "Copy", "edit1", "", Own},
    {"copy2", "Copy Lines to Clipboard", "edit1", "", 0},
    {"paste", "Paste", "edit1", "", Own | WaitsForRun},
    {"s5", "-", "edit1", "", 0},
    {"undo", "Undo", "edit1", "Ctrl+Z", Own},
    {"redo", "Redo", "edit1", "Ctrl+Y", Own},
    {"search", "&Search", "", "", Menu | NeedsProgram},
    {"findButton", "&Find", "search", "Ctrl+F", Everywhere},
    {"find2", "Find (List)", "search", "", 0},
    {"replace1", "&Replace", "search", "Ctrl+R", 0},
    {"findNext", "Find &Next", "search", "F3", 0},
    {"findPrevious", "Find &Previous", "search", "Shift+F3", 0},
    {"gotoLine", "&Go To Line...", "search", "Ctrl+G", Own},
    {"tools", "&Tools", "", "", Menu | NeedsProgram},
    {"macro", "M&acro", "tools", "", Menu},
    {"cdmacro", "&Create/ Edit Macro", "macro", "", 0},
    {"rmacro", "&Run Macro", "macro", "", 0},
    {"frmSpace1", "Add or Remove &Spaces", "tools", "", 0},
    {"frmn1", "Add or Remove &N", "tools", "", 0},
    {"frmComments1", "Remove Comments", "tools", "", 0},
    {"littledivide", "-", "tools", "", 0},
    {"filter1", "Fi&lter", "tools", "", 0},
    {"Format1", "&Format", "tools", "", 0},
    {"frmInsert1", "&Insert File", "tools", "", 0},
    {"frmDel1", "&Remove Lines", "tools", "", 0},
    {"sep", "-", "tools", "", 0},
    {"mirror1", "&Mirror", "tools", "", 0},
    {"Operations1", "&Operations", "tools", "", 0},
    {"opPLUS", "Operations &Plus", "tools", "", 0},
    {"s1", "-", "tools", "", 0},
    {"options1", "Op&tions", "tools", "", 0},
    {"transmit", "&Communications", "", "", Menu},
    {"send1", "&Send", "transmit", "", NeedsProgram},
    {"Receive1", "&Receive", "transmit", "", 0},
    {"frmSendMachine1", "&Manage Machines", "transmit", "", 0},
    {"inquire", "&Inquire", "", "", Menu | NeedsProgram},
    {"define", "&Define Selected Text", "inquire", "", 0},
    {"size1", "&Size", "inquire", "", 0},
    {"morebars", "-", "inquire", "", 0},
    {"changedefinitions1", "&Change Definitions", "inquire", "", 0},
    {"morebars2", "-", "inquire", "", 0},
    {"toolpath", "&Toolpath", "inquire", "F5", 0},
    {"checkprogram", "&Check Program", "inquire", "F7", 0},
    {"helpa", "&Help", "", "", Menu},
    {"about", "&About", "helpa", "", Own},
    {"help", "Help (&Contents)", "helpa", "F1", Own | Everywhere},
    {"help2", "Help (&Quick Start Guide)", "helpa", "", Own},
    {"mnuFile", "mnuFile", "-", "", Menu}, // the context menu: never on the menu bar
    {"define1", "&Define Selected Text", "mnuFile", "", 0},
    {"pFind", "&Find", "mnuFile", "", 0},
    {"break1", "-", "mnuFile", "", 0},
    {"cut1", "&Cut", "mnuFile", "", Own | WaitsForRun},
    {"copy1", "C&opy", "mnuFile", "", Own},
    {"paste1", "&Paste", "mnuFile", "", Own | WaitsForRun},
    {"break2", "-", "mnuFile", "", 0},
    {"undo1", "Undo", "mnuFile", "", Own},
    {"redo1", "Redo", "mnuFile", "", Own},
    {"break3", "-", "mnuFile", "", 0},
    {"saverestart", "Save Restart Program As...", "mnuFile", "", 0},
};

QStringList itemsWith(MenuRole role)
{
    QStringList names;
    for (const MenuEntry &entry : kMenuTree) {
        if (entry.roles & role)
            names.append(QString::fromLatin1(entry.name));
    }
    return names;
}

// The menus and items that need an open program.
const QStringList kFileMenus = itemsWith(NeedsProgram);

} // namespace

mainform::mainform(Prompts &prompts, QWidget *parent)
    : QMainWindow(parent), m_prompts(prompts), m_settings(QStringLiteral("VORNEXA")),
      m_programFolder(tessarc::programFolder())
{
    setObjectName(QStringLiteral("mainform"));
    m_instance = std::make_unique<InstanceLock>(m_programFolder);
    globalVar.folders.lastDirOpen = m_programFolder;
    globalVar.folders.lastDirSave = m_programFolder;

    TESSARC1 = new TESSARC(this);
    m_session = std::make_unique<ProgramSession>(TESSARC1->program(), m_programFolder);
    m_session->setView(TESSARC1);
    setAcceptDrops(true);
    TESSARC1->txtmain->viewport()->installEventFilter(this);
    TESSARC1->c->installEventFilter(this);
    TESSARC1->setObjectName(QStringLiteral("TESSARC1"));
    TESSARC1->setPrompts(&m_prompts);
    setCentralWidget(TESSARC1);

    row = new QTimer(this);
    row->setObjectName(QStringLiteral("row"));
    row->setInterval(50);
    connect(row, &QTimer::timeout, this, &mainform::row_Timer);

    startProcess = [](const QString &program, const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    };

    buildMenus();
    connectCommands();
    connect(&lock(), &tessarc::OperationLock::busyChanged, this, &mainform::operationBusy);
    // Saving keeps the line ends a program had.
    TESSARC1->program().saveEnds = tessarc::Program::SaveEnds::AsLoaded;
    connect(&TESSARC1->program(), &tessarc::Program::changedStateChanged, this, &mainform::refreshTitle);
    connect(&TESSARC1->program(), &tessarc::Program::loaded, this, &mainform::refreshTitle);
    refreshTitle();
}

mainform::~mainform() = default;

QAction *mainform::item(const QString &name) const
{
    return m_items.value(name, nullptr);
}

QMenu *mainform::menu(const QString &name) const
{
    return m_menus.value(name, nullptr);
}

void mainform::buildMenus()
{
    for (const MenuEntry &entry : kMenuTree) {
        const QString name = QString::fromLatin1(entry.name);
        const QString parentName = QString::fromLatin1(entry.parent);
        QAction *action = nullptr;
        if (entry.roles & Menu) {
            auto *m = new QMenu(QString::fromLatin1(entry.caption), this);
            m->setObjectName(name);
            m_menus.insert(name, m);
            if (parentName.isEmpty())
                action = menuBar()->addMenu(m);
            else if (parentName == QLatin1String("-"))
                action = m->menuAction();
            else
                action = m_menus.value(parentName)->addMenu(m);
        } else if (qstrcmp(entry.caption, "-") == 0) {
            action = m_menus.value(parentName)->addSeparator();
        } else {
            action = m_menus.value(parentName)->addAction(QString::fromLatin1(entry.caption));
            if (*entry.shortcut) {
                action->setShortcut(QKeySequence(QString::fromLatin1(entry.shortcut)));
                if (entry.roles & Everywhere)
                    action->setShortcutContext(Qt::ApplicationShortcut);
            }
            action->setEnabled(entry.roles & Own);
        }
        action->setObjectName(name);
        // The items that need a program are shown once one is open; the context menu never.
        action->setVisible(!(entry.roles & NeedsProgram) && parentName != QLatin1String("-"));
        m_items.insert(name, action);
    }
}

tessarc::OperationLock &mainform::lock()
{
    return TESSARC1->program().lock;
}

QWidget *mainform::window(const QString &itemName) const
{
    return m_windows.value(itemName).data();
}

void mainform::addWindow(const QString &itemName, MakeWindow make, ShowWindow show)
{
    QAction *action = item(itemName);
    if (!action)
        return;
    action->setEnabled(true);
    m_makers.insert(itemName, {std::move(make), std::move(show)});
    connect(action, &QAction::triggered, this, [this, itemName]() { showWindow(itemName); });
}

void mainform::placeBesideText(QWidget *window) const
{
    if (!window->isWindow() || isHidden())
        return;
    window->adjustSize();
    const QSize size = window->frameGeometry().size().expandedTo(window->sizeHint());
    const QRect frame = frameGeometry();
    const QScreen *shown = screen();
    const QRect room = shown ? shown->availableGeometry() : frame;
    // A hit is shown on the page's first lines, and the menus must stay in reach: the window goes
    // beside the main window where the screen has room, else below it, else inside its lower
    // right corner, over the page's last lines.
    QPoint at(frame.right() + 8, mapToGlobal(QPoint(0, menuBar()->geometry().bottom() + 1)).y());
    if (at.x() + size.width() > room.right()) {
        at = QPoint(frame.right() - size.width(), frame.bottom() + 8);
        if (at.y() + size.height() > room.bottom())
            at = QPoint(frame.right() - size.width() - 24, frame.bottom() - size.height() - 48);
    }
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - size.width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - size.height())));
    window->move(at);
}

QWidget *mainform::showWindow(const QString &itemName)
{
    if (!m_makers.contains(itemName))
        return nullptr;
    QPointer<QWidget> open = m_windows.value(itemName);
    if (open && !open->isVisible())
        delete open.data(); // a window put away with Escape is hidden, not closed
    if (open) {
        open->raise();
        open->activateWindow();
        return open.data();
    }
    // Copied: making a window may put other windows behind their items.
    const auto [make, show] = m_makers.value(itemName);
    QWidget *made = make(*this);
    made->setAttribute(Qt::WA_DeleteOnClose);
    m_windows.insert(itemName, made);
    placeBesideText(made);
    if (show)
        show(made);
    else
        made->show();
    // Activated, not only raised: what is typed next goes into the window's field, never into
    // the program under it.
    made->raise();
    made->activateWindow();
    return made;
}

void mainform::addCommand(const QString &itemName, std::function<void()> run)
{
    QAction *action = item(itemName);
    if (!action)
        return;
    action->setEnabled(true);
    connect(action, &QAction::triggered, this, std::move(run));
}

void mainform::operationBusy(bool busy)
{
    if (busy)
        row->start();
    else
        row->stop();
    // What would change or replace the program waits for the operation to end.
    static const QStringList waiting = itemsWith(WaitsForRun);
    for (const QString &name : waiting)
        item(name)->setEnabled(!busy);
    if (!busy)
        refreshTitle();
    refreshUndoItems();
}

void mainform::refreshUndoItems()
{
    // One history, the program's: typing not yet in the store is its next step (and, once written,
    // drops what could be done again).
    const tessarc::History &history = TESSARC1->program().history();
    const bool busy = lock().held;
    const bool typing = !TESSARC1->pageIsStored();
    const QString undoName = typing ? QStringLiteral("Typing") : history.undoName();
    const QString redoName = typing ? QString() : history.redoName();
    for (const char *name : {"undo", "undo1"}) {
        QAction *a = item(QString::fromLatin1(name));
        a->setText(undoName.isEmpty() ? QStringLiteral("Undo") : QStringLiteral("Undo ") + undoName);
        a->setEnabled(!busy && !undoName.isEmpty());
    }
    for (const char *name : {"redo", "redo1"}) {
        QAction *a = item(QString::fromLatin1(name));
        a->setText(redoName.isEmpty() ? QStringLiteral("Redo") : QStringLiteral("Redo ") + redoName);
        a->setEnabled(!busy && !redoName.isEmpty());
    }
}

void mainform::undo_Click()
{
    stepHistory(false);
}

void mainform::redo_Click()
{
    stepHistory(true);
}

void mainform::stepHistory(bool forward)
{
    if (refuseWhileRunning())
        return;
    // Typing not yet in the store goes there first, as a step of its own.
    if (!TESSARC1->pageIsStored()) {
        TESSARC1->loadLine(TESSARC1->curLine);
        if (!TESSARC1->pageIsStored())
            return;
    }
    tessarc::History &history = TESSARC1->program().history();
    if (forward ? !history.canRedo() : !history.canUndo())
        return;
    OperationGuard guard(*this);
    if (guard.refused())
        return;
    guard.lockView();
    tessarc::LineNumber page(TESSARC1->curLine);
    const std::optional<QString> failure = tessarc::failureOf([&] {
        const auto progress = [this](qint64 done, qint64 total) { TESSARC1->reportProgress(done, total); };
        page = forward ? history.redo(progress) : history.undo(progress);
    });
    guard.release();
    if (failure) {
        m_prompts.message(this, *failure, globalVar.brand.programTitle);
        return;
    }
    // The page shown when the change was made, within the program as it now is.
    const int total = TESSARC1->numberOfLines();
    TESSARC1->setLine(static_cast<int>(std::clamp<qint64>(page.value, 1, std::max(1, total))));
    refreshUndoItems();
}

void mainform::connectCommands()
{
    auto on = [this](const char *name, auto slot) { connect(item(QString::fromLatin1(name)), &QAction::triggered, this, slot); };
    on("newFile1", [this]() { newFile1_Click(); });
    on("LoadFile", [this]() { LoadFile_Click(); });
    on("openfileinnewwindow", [this]() { openfileinnewwindow_Click(); });
    on("SaveFile", [this]() { SaveFile_Click(); });
    on("SaveFileAs", [this]() { SaveFileAs_Click(); });
    for (int i = 1; i <= 5; ++i)
        connect(item(QStringLiteral("re%1").arg(i)), &QAction::triggered, this, [this, i]() { re_Click(i); });
    on("exit", [this]() { close(); });
    on("cut", [this]() { TESSARC1->cut(); });
    on("cut1", [this]() { TESSARC1->cut(); });
    on("copy", [this]() { TESSARC1->copy(); });
    on("copy1", [this]() { TESSARC1->copy(); });
    on("paste", [this]() { TESSARC1->paste(); });
    on("paste1", [this]() { TESSARC1->paste(); });
    on("about", [this]() { about_Click(); });
    on("gotoLine", [this]() {
        // The top line box takes the line to go to, in this window, whichever window had the keys.
        activateWindow();
        TESSARC1->c->setFocus(Qt::ShortcutFocusReason);
        TESSARC1->c->selectAll();
    });
    on("undo", [this]() { undo_Click(); });
    on("undo1", [this]() { undo_Click(); });
    on("redo", [this]() { redo_Click(); });
    on("redo1", [this]() { redo_Click(); });
    item(QStringLiteral("redo"))->setShortcuts({QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))});
    connect(&TESSARC1->program().history(), &tessarc::History::changed, this, &mainform::refreshUndoItems);
    // At once for typing, and again once a page being shown is in place (the control holds its
    // busy flag while it shows one).
    connect(TESSARC1->txtmain, &QPlainTextEdit::textChanged, this, &mainform::refreshUndoItems);
    connect(TESSARC1->txtmain, &QPlainTextEdit::textChanged, this, &mainform::refreshUndoItems, Qt::QueuedConnection);
    refreshUndoItems();
    on("help", [this]() { openHelp(QStringLiteral("contents")); });
    on("help2", [this]() { openHelp(QStringLiteral("quickstart")); });
    connect(TESSARC1, &TESSARC::MouseDown, this, &mainform::showContextMenu);
}

// ---------------------------------------------------------------- start-up and shutdown

void mainform::showNote(const QString &note)
{
    statusBar()->showMessage(note);
}

void mainform::applyIcon(QWidget *window) const
{
    const QString icon = QDir(m_programFolder).filePath(QStringLiteral("name.ico"));
    if (QFileInfo::exists(icon))
        window->setWindowIcon(QIcon(icon));
}

bool mainform::otherInstanceRunning() const
{
    return m_instance->otherInstanceRunning();
}

void mainform::Form_Load(const QStringList &arguments)
{
    // The arguments are the path as given; a caller that split it at its spaces has it joined
    // again, and a path that arrives quoted as a whole loses the quotes.
    QString startFile = arguments.join(QLatin1Char(' '));
    if (startFile.size() >= 2 && startFile.startsWith(QLatin1Char('"')) && startFile.endsWith(QLatin1Char('"')))
        startFile = startFile.mid(1, startFile.size() - 2);

    applyIcon(this);
    TESSARC1->recLen = 1000;
    TESSARC1->lockup(true);
    loadSettings();
    refreshRecentMenu();
    refreshTitle();

    const bool recovered = offerLeftChanges();

    if (!recovered && !startFile.isEmpty() && QFileInfo(startFile).isFile()) {
        show();
        // A window started on a program stands a little off the last one; that is not a move of
        // the machinist's, so it is not what the window's place is written back as. A maximized
        // one stays as it is (a move would restore it).
        if (!m_startMaximized) {
            move(pos() + QPoint(toPixels(50), toPixels(50)));
            m_placeApplied[0] = x();
            m_placeApplied[1] = y();
        }
        if (openProgram(startFile))
            addRecentFile(TESSARC1->lfile);
    }
}

void mainform::readBranding()
{
    // Three lines of "name.dat" rename the product, its web address and the brand caption.
    Branding &b = globalVar.brand;
    const QStringList entries = QDir(m_programFolder).entryList(QDir::Files);
    for (const QString &entry : entries) {
        if (entry.compare(QLatin1String("name.dat"), Qt::CaseInsensitive) != 0)
            continue;
        QFile dat(QDir(m_programFolder).filePath(entry));
        if (!dat.open(QIODevice::ReadOnly | QIODevice::Text))
            break;
        QTextStream in(&dat);
        QStringList lines;
        while (lines.size() < 3 && !in.atEnd())
            lines.append(in.readLine());
        if (lines.size() == 3) {
            b.productName = lines.at(0);
            b.webAddress = lines.at(1);
            TESSARC1->rebrandE(lines.at(2));
            b.programTitle = b.productName;
            m_settings.setTitle(b.programTitle);
        }
        break;
    }
    b.stepSeparator = QStringLiteral("\nSEP.QEN\r");
}

void mainform::loadSettings()
{
    GlobalVar &g = globalVar;
    SettingsStore &s = m_settings;
    readBranding();
    g.folders.read(s, m_programFolder);
    g.numbers.read(s);

    m_placeRead = {s.number(QStringLiteral("MAINPOS"), QStringLiteral("MAINLEFT"), 100),
                   s.number(QStringLiteral("MAINPOS"), QStringLiteral("MAINTOP"), 100),
                   s.number(QStringLiteral("MAINPOS"), QStringLiteral("MAINWIDTH"), 10000),
                   s.number(QStringLiteral("MAINPOS"), QStringLiteral("MAINHEIGHT"), 10000)};
    move(toPixels(m_placeRead[0]), toPixels(m_placeRead[1]));
    resize(std::max(1, toPixels(m_placeRead[2])), std::max(1, toPixels(m_placeRead[3])));
    m_placeApplied = {x(), y(), width(), height()};
    m_startMaximized = s.boolean(QStringLiteral("MAINPOS"), QStringLiteral("MAXIMIZED"), false);

    g.comments.read(s);
    g.comments.applyTo(*TESSARC1);
    g.recent.read(s);
    g.messages.read(s);
    g.view.read(s);
    g.view.applyTo(*TESSARC1);
    g.io.read(s);
    g.io.applyTo(*TESSARC1);
    g.motion.read(s);
    g.compare.read(s);
    s.sync();
    if (!g.io.recLenProblem.isEmpty())
        m_prompts.message(this, g.io.recLenProblem, g.brand.programTitle);
}

void mainform::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shownOnce)
        return;
    m_shownOnce = true;
    // Maximized when it was left so; its place and size stay stored for when it is restored.
    if (m_startMaximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    // The frame is known once the window is up.
    QTimer::singleShot(0, this, &mainform::keepFrameOnScreen);
}

void mainform::keepFrameOnScreen()
{
    QRect frame = frameGeometry();
    // Until the window manager has put its frame around the window, the frame reads as the window
    // itself: asked again a little later (for a second at most), or the title bar could stay
    // above the screen.
    if (frame == geometry() && m_frameChecks < 20 && QGuiApplication::platformName() == QLatin1String("xcb")) {
        ++m_frameChecks;
        QTimer::singleShot(50, this, &mainform::keepFrameOnScreen);
        return;
    }
    if (isMaximized())
        return;
    const QScreen *screen = QGuiApplication::screenAt(frame.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry();
    // A window stored larger than the screen (a smaller screen, or a larger scale since) is made
    // to fit it, frame and all.
    const int shrinkW = std::max(0, frame.width() - room.width());
    const int shrinkH = std::max(0, frame.height() - room.height());
    if (shrinkW > 0 || shrinkH > 0) {
        resize(width() - shrinkW, height() - shrinkH);
        frame.setSize(frame.size() - QSize(shrinkW, shrinkH));
    }
    for (const QScreen *any : QGuiApplication::screens()) {
        if (any->availableGeometry().contains(frame.topLeft()) && any->availableGeometry().contains(frame.bottomRight()))
            return;
    }
    const int left = std::clamp(frame.left(), room.left(), std::max(room.left(), room.right() - frame.width() + 1));
    const int top = std::clamp(frame.top(), room.top(), std::max(room.top(), room.bottom() - frame.height() + 1));
    move(left, top);
}

bool mainform::offerLeftChanges()
{
    // The stores of instances that are gone: changes never saved are offered back (one program a
    // window; the rest wait for the next start), the others are cleared.
    bool recovered = false;
    const auto running = [this](qint64 pid) { return m_instance->isRunning(pid); };
    for (const recovery::LeftStore &left : recovery::findLeftStores(m_programFolder, running, otherInstanceRunning())) {
        // Held by an instance that runs (one asking about it this moment, or a job writing it):
        // never cleared, never offered twice.
        tessarc::StoreClaim claim = tessarc::StoreClaim::claim(left.store);
        if (!claim)
            continue;
        if (left.hasJournal() && !left.journal) {
            const QString kept = recovery::setAside(left);
            m_prompts.message(this,
                              QStringLiteral("Unsaved changes were found in ") + left.store +
                                  QStringLiteral(", but they cannot be recovered: ") + left.problem +
                                  QStringLiteral(".") +
                                  (kept.isEmpty() ? QString() : QStringLiteral(" The line store is kept as ") + kept +
                                                                    QStringLiteral(".")),
                              globalVar.brand.programTitle);
            continue;
        }
        if (!left.holdsChanges()) {
            tessarc::Program::removeStoreFiles(left.store, left.scratch);
            continue;
        }
        if (recovered)
            continue;
        show(); // the question stands over the window the changes will open in
        const Prompts::Answer answer =
            m_prompts.ask(this, recovery::question(*left.journal), globalVar.brand.programTitle, Prompts::Buttons::YesNoCancel);
        if (answer == Prompts::Answer::No)
            tessarc::Program::removeStoreFiles(left.store, left.scratch);
        if (answer != Prompts::Answer::Yes)
            continue;
        recovered = openRecovered(left, std::move(claim));
    }
    return recovered;
}

bool mainform::openRecovered(const recovery::LeftStore &left, tessarc::StoreClaim claim)
{
    show();
    greyFileMenus();
    TESSARC1->lockup(false);
    QString lost;
    if (!m_session->openLeft(left, std::move(claim), lost)) {
        hideFileMenus();
        TESSARC1->lockup(true);
        return false;
    }
    if (!lost.isEmpty())
        m_prompts.message(this, lost, globalVar.brand.programTitle);
    setSaveCaptions();
    showFileMenus();
    addRecentFile(TESSARC1->lfile);
    return true;
}

void mainform::allocateTempFiles()
{
    m_session->claimFreshStores();
}

void mainform::closeEvent(QCloseEvent *event)
{
    // Query-unload: never while a tool runs; with a program open, the save question first.
    if (TESSARC1->Run) {
        event->ignore();
        return;
    }
    if (holdsUnsavedChanges()) {
        const Prompts::Answer answer =
            m_prompts.ask(this, QStringLiteral("Would you like to save ") + TESSARC1->lfile + QStringLiteral(" before exiting?"),
                          globalVar.brand.programTitle, Prompts::Buttons::YesNoCancel);
        if (answer == Prompts::Answer::Cancel) {
            event->ignore();
            return;
        }
        // A save that failed keeps the window open with the edits, so they can be saved elsewhere.
        if (answer == Prompts::Answer::Yes && !SaveFile_Click()) {
            event->ignore();
            return;
        }
    }
    // Unload.
    TESSARC1->done();
    saveSettingsAndQuit();
    event->accept();
}

void mainform::saveSettingsAndQuit()
{
    m_settings.setBoolean(QStringLiteral("MAINPOS"), QStringLiteral("MAXIMIZED"), windowState() & Qt::WindowMaximized);
    if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
        const std::array<int, 4> now = {x(), y(), width(), height()};
        const char *keys[4] = {"MAINLEFT", "MAINTOP", "MAINWIDTH", "MAINHEIGHT"};
        for (size_t i = 0; i < 4; ++i) {
            const double twips = now[i] == m_placeApplied[i] ? m_placeRead[i] : toTwips(now[i]);
            m_settings.setNumber(QStringLiteral("MAINPOS"), QString::fromLatin1(keys[i]), twips);
        }
    }
    globalVar.recent.write(m_settings);
    QFile::remove(TESSARC1->tempFile);
    QFile::remove(TESSARC1->tempFile2);
    // Every window of the program goes with the main window.
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible())
            w->close();
    }
}

// ---------------------------------------------------------------- file commands

bool mainform::refuseWhileRunning()
{
    if (!TESSARC1->Run)
        return false;
    m_prompts.message(this, globalVar.messages.alreadyRunning, globalVar.brand.programTitle);
    return true;
}

bool mainform::holdsUnsavedChanges() const
{
    return !TESSARC1->lfile.isEmpty() && (TESSARC1->program().isChanged() || !TESSARC1->pageIsStored());
}

bool mainform::savePrompt()
{
    // Asked only when there is something to lose.
    if (!holdsUnsavedChanges())
        return true;
    const Prompts::Answer answer =
        m_prompts.ask(this, QStringLiteral("Would you like to save ") + TESSARC1->lfile + QStringLiteral(" before opening a new file?"),
                      globalVar.brand.programTitle, Prompts::Buttons::YesNoCancel);
    if (answer == Prompts::Answer::Cancel)
        return false;
    // When the save fails the command ends: the edits are still there to be saved elsewhere.
    return answer != Prompts::Answer::Yes || SaveFile_Click();
}

QString mainform::folderOf(const QString &path) const
{
    return QFileInfo(path).absolutePath();
}

bool mainform::pathIsUsable(const QString &path)
{
    // Only a malformed name is unusable: a path that names no file yet is fine.
    return !path.contains(QChar(0));
}

QString mainform::dialogFolder(const QString &remembered) const
{
    // The program folder holds the line stores, never the machinist's programs: a dialog starts in
    // the folder last used, else beside the open program, else in the home folder.
    const auto usable = [this](const QString &folder) {
        return !folder.isEmpty() && pathIsUsable(folder) && QFileInfo(folder).isDir() &&
               QDir(folder) != QDir(m_programFolder);
    };
    if (usable(remembered))
        return remembered;
    if (!TESSARC1->lfile.isEmpty() && usable(folderOf(TESSARC1->lfile)))
        return folderOf(TESSARC1->lfile);
    return QDir::homePath();
}

QString mainform::chooseSaveTarget(const QString &proposed)
{
    const QString folder = dialogFolder(globalVar.folders.lastDirSave);
    const QString chosen =
        m_prompts.saveFileName(this, proposed.isEmpty() ? folder : QDir(folder).filePath(proposed));
    if (chosen.isEmpty())
        return QString();
    if (QFileInfo::exists(chosen) &&
        m_prompts.ask(this, QStringLiteral("File already exists, would you like to overwrite?"), QStringLiteral("Overwrite?"),
                      Prompts::Buttons::YesNo) != Prompts::Answer::Yes)
        return QString();
    return chosen;
}

void mainform::newFile1_Click()
{
    if (refuseWhileRunning())
        return;
    if (!savePrompt())
        return;
    const QString chosen = chooseSaveTarget();
    if (chosen.isEmpty())
        return;
    const QByteArray header =
        (globalVar.comments.startComment + globalVar.brand.productName + globalVar.comments.endComment).toLatin1() + "\r\n" +
        (globalVar.comments.startComment + QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat) +
         globalVar.comments.endComment)
            .toLatin1() +
        "\r\n";
    if (const std::optional<QString> why = tessarc::SafeFile::writeWhole(chosen, header)) {
        m_prompts.message(this, chosen + QStringLiteral(" could not be created: ") + *why, globalVar.brand.programTitle);
        return;
    }
    globalVar.folders.lastDirSave = folderOf(chosen);
    globalVar.folders.writeSave(m_settings);
    if (!openProgram(chosen))
        return;
    addRecentFile(TESSARC1->lfile);
    m_prompts.message(this, chosen + QStringLiteral(" created."), QStringLiteral("Save completed."));
    showFileMenus();
}

void mainform::LoadFile_Click()
{
    if (refuseWhileRunning())
        return;
    if (!savePrompt())
        return;
    const QString chosen = m_prompts.openFileName(this, dialogFolder(globalVar.folders.lastDirOpen));
    if (chosen.isEmpty() || !QFileInfo(chosen).isFile())
        return;
    globalVar.folders.lastDirOpen = folderOf(chosen);
    globalVar.folders.writeOpen(m_settings);
    if (openProgram(chosen))
        addRecentFile(TESSARC1->lfile);
}

bool mainform::openProgram(const QString &path)
{
    // Greyed while the program loads (the menu bar keeps its shape), hidden if none is open then.
    greyFileMenus();
    TESSARC1->lockup(false);
    const bool loaded = m_session->open(path, globalVar.io.recLen);
    setSaveCaptions();
    if (!loaded) {
        // The control has said why; the view stays locked until a program is open.
        hideFileMenus();
        TESSARC1->lockup(true);
        return false;
    }
    showFileMenus();
    return true;
}

void mainform::openfileinnewwindow_Click()
{
    const QString chosen = m_prompts.openFileName(this, dialogFolder(globalVar.folders.lastDirOpen));
    if (chosen.isEmpty())
        return;
    const QString program = QCoreApplication::applicationFilePath();
    if (!startProcess(program, {chosen}))
        m_prompts.message(this, QStringLiteral("A new window could not be started for ") + chosen, globalVar.brand.programTitle);
}

bool mainform::readyToSave()
{
    // The visible page's edits go into the store first.
    if (!TESSARC1->pageIsStored())
        TESSARC1->loadLine(TESSARC1->curLine);
    if (refuseWhileRunning())
        return false;
    if (TESSARC1->lfile.isEmpty()) {
        m_prompts.beep();
        return false;
    }
    // A page the store refused (the control has said why) is not saved without its edits.
    return TESSARC1->pageIsStored();
}

bool mainform::SaveFile_Click()
{
    if (!readyToSave() || !m_session->save(TESSARC1->lfile))
        return false;
    m_prompts.message(this, TESSARC1->lfile + QStringLiteral(" saved."), QStringLiteral("Save completed."));
    return true;
}

void mainform::SaveFileAs_Click()
{
    if (!readyToSave())
        return;
    // The program's own name is proposed.
    const QString chosen = chooseSaveTarget(QFileInfo(TESSARC1->lfile).fileName());
    if (chosen.isEmpty())
        return;
    const QString target = QFileInfo(chosen).absoluteFilePath();
    // A target that could not be written leaves the program where it was.
    if (!m_session->save(target))
        return;
    globalVar.folders.lastDirSave = folderOf(target);
    globalVar.folders.writeSave(m_settings);
    TESSARC1->lfile = target;
    setSaveCaptions();
    addRecentFile(target);
    m_prompts.message(this, chosen + QStringLiteral(" saved."), QStringLiteral("Save completed."));
}

void mainform::re_Click(int entry)
{
    const QString path = globalVar.recent.entries[static_cast<size_t>(entry - 1)];
    if (path.isEmpty())
        return;
    if (!pathIsUsable(path)) {
        m_prompts.message(this, QStringLiteral("Bad drive."), QStringLiteral("File Not Found"));
        return;
    }
    if (!QFileInfo(path).isFile()) {
        m_prompts.message(this, path + QStringLiteral(" Not Found"), QStringLiteral("File Not Found"));
        return;
    }
    openAfterSavePrompt(path);
}

void mainform::openAfterSavePrompt(const QString &path)
{
    // A tool running on the open program keeps its store: fresh store paths now would pull the
    // store from under it.
    if (refuseWhileRunning())
        return;
    if (!savePrompt())
        return;
    openProgram(path);
}

namespace {

// The local file a drag carries, or nothing: one file, not a folder or a remote address.
QString droppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return QString();
    return data->urls().first().toLocalFile();
}

} // namespace

void mainform::openDropped(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        m_prompts.message(this, path + QStringLiteral(" is not a file that can be opened."), QStringLiteral("File Not Found"));
        return;
    }
    openAfterSavePrompt(path);
}

void mainform::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void mainform::dropEvent(QDropEvent *event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Opened once the drop is over: the save question would otherwise wait inside the drag.
    QTimer::singleShot(0, this, [this, path]() { openDropped(path); });
}

bool mainform::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
        auto *drag = static_cast<QDropEvent *>(event);
        if (!droppedFile(drag->mimeData()).isEmpty()) {
            if (type == QEvent::Drop)
                dropEvent(drag);
            else
                drag->acceptProposedAction();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void mainform::refreshRecentMenu()
{
    // An item for each program the list holds, its full path as the tooltip; no empty items.
    for (int i = 1; i <= 5; ++i) {
        const QString &path = globalVar.recent.entries[static_cast<size_t>(i - 1)];
        QAction *re = item(QStringLiteral("re%1").arg(i));
        const bool shown = !path.isEmpty() && pathIsUsable(path);
        re->setVisible(shown);
        if (!shown)
            continue;
        const QFileInfo info(path);
        re->setText(QString::number(i) + QStringLiteral("   ") + info.fileName() +
                    (info.exists() ? QString() : QStringLiteral(" (not found)")));
        re->setToolTip(QDir::toNativeSeparators(path));
    }
}

void mainform::addRecentFile(const QString &path)
{
    globalVar.recent.add(path);
    refreshRecentMenu();
}

QString mainform::titleText() const
{
    // The program's name, a mark while it holds changes not saved, and the product's one name.
    const QString &lfile = TESSARC1->lfile;
    if (lfile.isEmpty())
        return globalVar.brand.programTitle;
    return QFileInfo(lfile).fileName() + (TESSARC1->program().isChanged() ? QStringLiteral(" *") : QString()) +
           QStringLiteral(" - ") + globalVar.brand.programTitle;
}

void mainform::refreshTitle()
{
    if (!row->isActive())
        setWindowTitle(titleText());
}

void mainform::setSaveCaptions()
{
    refreshTitle();
    if (TESSARC1->lfile.isEmpty()) {
        // With no program the items read as they did before the first load.
        item(QStringLiteral("SaveFile"))->setText(QStringLiteral("&Save File"));
        item(QStringLiteral("SaveFileAs"))->setText(QStringLiteral("S&ave File As..."));
        return;
    }
    const QString name = QFileInfo(TESSARC1->lfile).fileName();
    item(QStringLiteral("SaveFile"))->setText(QStringLiteral("Save ") + name);
    item(QStringLiteral("SaveFileAs"))->setText(QStringLiteral("Save ") + name + QStringLiteral(" As"));
}

void mainform::showFileMenus()
{
    for (const QString &name : kFileMenus) {
        item(name)->setVisible(true);
        item(name)->setEnabled(true);
    }
}

void mainform::greyFileMenus()
{
    for (const QString &name : kFileMenus)
        item(name)->setEnabled(false);
}

void mainform::hideFileMenus()
{
    for (const QString &name : kFileMenus)
        item(name)->setVisible(false);
}

// ---------------------------------------------------------------- the window itself

void mainform::showContextMenu(int button, int, float, float)
{
    if (button != 2)
        return;
    TESSARC1->setUpdatesEnabled(false);
    TESSARC1->setEnabledProperty(false);
    QCoreApplication::processEvents();
    menu(QStringLiteral("mnuFile"))->exec(QCursor::pos());
    TESSARC1->setEnabledProperty(true);
    TESSARC1->setUpdatesEnabled(true);
}

void mainform::mousePressEvent(QMouseEvent *event)
{
    // The window follows the mouse from its own surface as from its title bar.
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void mainform::row_Timer()
{
    static const char *const frames[4] = {" |", " /", " --", " \\"};
    setWindowTitle(titleText() + QString::fromLatin1(frames[m_rowCounter]));
    m_rowCounter = (m_rowCounter + 1) % 4;
}

void mainform::openHelp(const QString &topic)
{
    // The pages stand beside the program as built, in share/vornexa as installed, or in the program folder.
    const QString name = QStringLiteral("help/") + topic + QStringLiteral(".htm");
    QString page;
    const QString installedPages = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../share/vornexa"));
    for (const QString &folder : {QCoreApplication::applicationDirPath(), installedPages, m_programFolder}) {
        if (QFileInfo::exists(QDir(folder).filePath(name))) {
            page = QDir(folder).filePath(name);
            break;
        }
    }
    if (page.isEmpty()) {
        m_prompts.message(this, QStringLiteral("Help file missing."), globalVar.brand.programTitle);
        return;
    }
    if (!m_prompts.openDocument(page))
        m_prompts.message(this,
                          QStringLiteral("The help page ") + page +
                              QStringLiteral(" could not be shown: this desktop has no program set up to open web "
                                             "pages. Open the file in a web browser."),
                          globalVar.brand.programTitle);
}

void mainform::about_Click()
{
    auto *box = new frmAbout(*this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}
