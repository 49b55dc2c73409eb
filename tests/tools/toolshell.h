#pragma once

#include "linestore.h"
#include "mainform.h"
#include "scriptedprompts.h"
#include "tessarc.h"
#include "testenv.h"

#include <QDir>
#include <memory>

// A main window as the application starts it (private settings and program folders, emptied for
// each test), with a program loaded into its editor the way the File menu loads one.
struct ToolShell
{
    ScriptedPrompts prompts;
    std::unique_ptr<mainform> main;

    ToolShell()
    {
        emptyRunFolders();
        main = std::make_unique<mainform>(prompts);
        main->Form_Load({});
        main->show();
    }

    TESSARC &editor() const { return *main->TESSARC1; }

    void open(const QList<QByteArray> &lines)
    {
        QByteArray text;
        for (const QByteArray &line : lines)
            text += line + "\r\n";
        const QString path = testEnvironment().path(QStringLiteral("program.nc"));
        writeBytes(path, text);
        main->allocateTempFiles();
        editor().lockup(false);
        editor().loadFile(path);
        prompts.clear();
    }

    QList<QByteArray> store() const
    {
        tessarc::LineStore s;
        s.open(editor().tempFile, editor().recLen, false);
        return s.readRange(1, editor().numberOfLines());
    }

    // What the machinist was shown, as "message: <text>" lines (the title is the program's).
    QStringList messages() const
    {
        QStringList out;
        for (const QString &line : prompts.log)
            out.append(QString(line).replace(QStringLiteral("message: VORNEXA: "), QStringLiteral("message: ")));
        return out;
    }
};

// Lines "N<k> X<k>" for k = 1 ... n.
inline QList<QByteArray> numberedLines(int n)
{
    QList<QByteArray> lines;
    for (int k = 1; k <= n; ++k)
        lines.append("N" + QByteArray::number(k) + " X" + QByteArray::number(k));
    return lines;
}
