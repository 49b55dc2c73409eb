#pragma once

#include "linereader.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QList>
#include <QString>
#include <QStringList>

// The collection of real programs written elsewhere, beside the project (or where VORNEXA_CORPUS
// says): tests read them in place and never copy them.
inline QString corpusFolder()
{
    return qEnvironmentVariable("VORNEXA_CORPUS", QStringLiteral(VORNEXA_CORPUS_DIR));
}

// Every program of the collection, by path; none when it is not here.
inline QStringList corpusPrograms()
{
    QStringList paths;
    QDirIterator it(corpusFolder(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(QLatin1String(".md")))
            paths.append(path);
    }
    paths.sort();
    return paths;
}

// The lines of one program, as the editor reads them (CR LF and LF end a line).
inline QList<QByteArray> programLines(const QString &path)
{
    QList<QByteArray> lines;
    tessarc::LineReader reader(path, true, 1 << 20);
    QByteArrayView line;
    qint64 length = 0;
    while (reader.next(line, length))
        lines.append(line.toByteArray());
    return lines;
}
