#pragma once

#include <QProcess>
#include <QStringList>
#include <QtTest>

// The text of a printed PDF file as pdftotext reads it back (poppler-utils, installed by
// scripts/deps.sh): one list of lines a page, in page order, without the empty lines at a page's end.
inline QList<QStringList> pdfPages(const QString &path)
{
    QProcess reader;
    reader.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!reader.waitForFinished(120000) || reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0) {
        qWarning("pdftotext could not read %s: %s", qPrintable(path), qPrintable(reader.errorString()));
        return {};
    }
    QList<QStringList> pages;
    QStringList pageTexts = QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pageTexts.isEmpty() && pageTexts.last().trimmed().isEmpty())
        pageTexts.removeLast(); // the form feed after the last page
    for (const QString &text : pageTexts) {
        QStringList lines = text.split(QLatin1Char('\n'));
        for (QString &line : lines)
            while (line.endsWith(QLatin1Char(' ')))
                line.chop(1);
        while (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        pages.append(lines);
    }
    return pages;
}
