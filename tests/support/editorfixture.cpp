#include "editorfixture.h"

#include "linestore.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QFile>

EditorFixture::EditorFixture(int pageLines) : editor(std::make_unique<TESSARC>())
{
    static int serial = 0;
    ++serial;
    editor->setPrompts(&prompts);
    editor->recLen = 500;
    editor->tempFile = testEnvironment().path(QStringLiteral("%1.qen.tmp").arg(serial));
    editor->tempFile2 = testEnvironment().path(QStringLiteral("%1.2.qen.tmp").arg(serial));
    editor->startComment = QStringLiteral("(");
    editor->endComment = QStringLiteral(")");
    editor->resize(700, 900);
    editor->show();
    QCoreApplication::processEvents(); // the resize of the first show, which sets the page size
    editor->lines = pageLines;
}

EditorFixture::~EditorFixture()
{
    editor->done();
}

QString EditorFixture::load(const QByteArray &bytes, const QString &name)
{
    const QString path = writeTestFile(name, bytes);
    editor->loadFile(path);
    return path;
}

QByteArray EditorFixture::saveAndRead(const QString &name)
{
    const QString path = testEnvironment().path(name);
    QFile::remove(path);
    editor->saveFile(path);
    return readBytes(path);
}

QList<QByteArray> EditorFixture::storeLines() const
{
    tessarc::LineStore store;
    store.open(editor->tempFile, editor->recLen, false);
    return store.readRange(tessarc::LineNumber(1), editor->numberOfLines());
}

QByteArray numberedLine(int k)
{
    return "N" + QByteArray::number(k) + " G01 X" + QByteArray::number(k);
}

QByteArray numberedProgram(int n)
{
    QByteArray out;
    for (int k = 1; k <= n; ++k)
        out += numberedLine(k) + "\r\n";
    return out;
}
