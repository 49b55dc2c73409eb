#include "editorfixture.h"
#include "testenv.h"

#include <QDir>
#include <QDirIterator>

namespace {

// The file as the control writes it back: every line ended by CR LF, whatever ended it before.
QByteArray withCrLf(QByteArray text)
{
    text.replace("\r\n", "\n").replace('\r', '\n').replace("\n", "\r\n");
    if (!text.isEmpty() && !text.endsWith('\n'))
        text += "\r\n";
    return text;
}

QString corpusDir()
{
    const QString fromEnv = qEnvironmentVariable("VORNEXA_CORPUS");
    return fromEnv.isEmpty() ? QStringLiteral(VORNEXA_CORPUS_DIR) : fromEnv;
}

} // namespace

// Real programs written elsewhere load and save back as they were, up to the CR LF line ends the
// control writes. They are read where they lie and never copied into the project.
class TestCorpus : public QObject
{
    Q_OBJECT

private slots:
    void realProgramsRoundTrip_data()
    {
        QTest::addColumn<QString>("path");
        const QDir dir(corpusDir());
        if (!dir.exists())
            QSKIP("the folder of real programs is not beside the project");
        QDirIterator it(dir.absolutePath(), QDir::Files, QDirIterator::Subdirectories);
        QStringList files;
        while (it.hasNext()) {
            const QString p = it.next();
            if (!p.endsWith(QLatin1String(".md")))
                files.append(p);
        }
        files.sort();
        for (const QString &p : files)
            QTest::newRow(qPrintable(dir.relativeFilePath(p))) << p;
    }

    void realProgramsRoundTrip()
    {
        QFETCH(QString, path);
        const QByteArray source = readBytes(path);
        EditorFixture f(40);
        f.editor->loadFile(path);
        QVERIFY2(f.prompts.titles.isEmpty(), qPrintable(f.prompts.texts.join(QLatin1Char('\n'))));
        QCOMPARE(f.editor->lfile, path);
        const QByteArray expected = withCrLf(source);
        QCOMPARE(f.editor->numberOfLines(), static_cast<int>(expected.count("\r\n")));
        const QByteArray saved = f.saveAndRead(QStringLiteral("corpus-saved.nc"));
        QCOMPARE(saved.size(), expected.size());
        QVERIFY(saved == expected); // not compared in full: a failure would print the whole program
        QCOMPARE(QFileInfo(path).size(), qint64(source.size())); // the source is untouched
    }

};

VORNEXA_TEST_MAIN(TestCorpus)
#include "tst_corpus.moc"
