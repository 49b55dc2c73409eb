#pragma once

#include "recordingprompts.h"
#include "tessarc.h"

#include <QByteArray>
#include <QString>
#include <memory>

// One editor control as a host sets it up: record length 500, stores in the test run's folder,
// round-bracket comments, and prompts that record instead of showing boxes. Shown, with a fixed
// page size so paging arithmetic is known.
struct EditorFixture
{
    explicit EditorFixture(int pageLines = 30);
    ~EditorFixture();

    // Writes `bytes` to a file of the run's folder and loads it.
    QString load(const QByteArray &bytes, const QString &name = QStringLiteral("program.nc"));
    // Saves to a file of the run's folder and returns what was written.
    QByteArray saveAndRead(const QString &name = QStringLiteral("saved.nc"));
    // Lines first ... last of the store as the control holds them.
    QList<QByteArray> storeLines() const;

    std::unique_ptr<TESSARC> editor;
    RecordingPrompts prompts;
};

// A program of `n` numbered lines "N<k> G01 X<k>", each ended by CR LF.
QByteArray numberedProgram(int n);
// The line "N<k> G01 X<k>".
QByteArray numberedLine(int k);
