#include "tessarc.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>

// Until the main window arrives, VORNEXA is one window hosting the editor control, with the
// program named on the command line loaded into it.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vornexa"));

    QMainWindow window;
    auto *editor = new TESSARC(&window);
    window.setCentralWidget(editor);
    window.setWindowTitle(QStringLiteral("QEN EDIT"));
    window.resize(900, 640);

    editor->recLen = 500;
    editor->startComment = QStringLiteral("(");
    editor->endComment = QStringLiteral(")");
    editor->assigncolors(0, 0xC00000, QStringLiteral("G"));  // blue
    editor->assigncolors(1, 0x0000C0, QStringLiteral("X"));  // red
    editor->assigncolors(2, 0x008000, QStringLiteral("Y"));  // green
    editor->assigncolors(3, 0x800080, QStringLiteral("Z"));  // purple
    editor->assigncolors(4, 0x006090, QStringLiteral("IJK")); // brown
    editor->assigncolors(5, 0x808000, QStringLiteral("FS"));  // teal
    editor->assigncolors(6, 0x0060E0, QStringLiteral("MTN")); // orange
    editor->assigncolors(7, 0x808080, QString());             // comments grey
    window.show();

    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        QString path = args.at(1);
        if (path.size() >= 2 && path.startsWith(QLatin1Char('"')) && path.endsWith(QLatin1Char('"')))
            path = path.mid(1, path.size() - 2);
        editor->loadFile(QFileInfo(path).absoluteFilePath());
    }
    const int rc = QApplication::exec();
    editor->done();
    return rc;
}
