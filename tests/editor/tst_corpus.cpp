#include "editorfixture.h"
#include "testenv.h"

#include <QDir>
#include <QDirIterator>

namespace {

// The file as the control writes it back by itself: every line ended by CR LF.
QByteArray withCrLf(QByteArray text)
{
    text.replace("\r\n", "\n").replace('\r', '\n').replace("\n", "\r\n");
    if (!text.isEmpty() && !text.endsWith('\n'))
        text += "\r\n";
    return text;
}

// The file as the application saves it: as it was when its lines all end alike; with mixed ends,
// CR LF, and no end after the last line when it had none.
QByteArray asLoaded(const QByteArray &text)
{
    QByteArray bare = text;
    const qsizetype crlf = bare.count("\r\n");
    bare.replace("\r\n", "");
    const bool uniform = (crlf > 0) + (bare.count('\r') > 0) + (bare.count('\n') > 0) <= 1;
    if (uniform)
        return text;
    QByteArray out = withCrLf(text);
    if (!text.endsWith('\n') && !text.endsWith('\r'))
        out.chop(2);
    return out;
}

QString corpusDir()
{
    const QString fromEnv = qEnvironmentVariable("VORNEXA_CORPUS");
    return fromEnv.isEmpty() ? QStringLiteral(VORNEXA_CORPUS_DIR) : fromEnv;
}

} // namespace

// Real programs written elsewhere load and save back as they were: byte for byte when their lines
// end alike, as the application saves, and with CR LF ends as the control saves by itself. They
// are read where they lie and never copied into the project.
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
        f.editor->program().saveEnds = tessarc::Program::SaveEnds::AsLoaded;
        const QByteArray kept = f.saveAndRead(QStringLiteral("corpus-kept.nc"));
        const QByteArray wanted = asLoaded(source);
        QCOMPARE(kept.size(), wanted.size());
        QVERIFY(kept == wanted);
        QCOMPARE(QFileInfo(path).size(), qint64(source.size())); // the source is untouched
    }

};

VORNEXA_TEST_MAIN(TestCorpus)
#include "tst_corpus.moc"
