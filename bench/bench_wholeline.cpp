// The whole-line tools' figures of vornexa-bench, each pressed through its window's Go on a main
// window of the application holding the benchmark's program, with percents on:
//
//   findsize   Find Size over the whole program     vs one read pass of the store (4 MiB blocks)
//   export     Export Point Cloud of the program     vs one read pass of the store while writing a
//                                                       file of the point cloud's size (1 MiB blocks)
//   copylines  Copy Lines of 200,000 lines           vs reading those records (4 MiB blocks)
//   insert     Insert File, 1,000 lines at the middle line
//   remove     Remove Lines 1 to 1,000               both vs one LineStore::copyRecords of the store
//   swap       a rebuilt store put in place by renaming it over the old one, against renaming the
//              old one aside first and deleting it (the block copy included in both)
//
// Every run starts with no dirty pages waiting (sync, untimed), so none pays for the writing left
// behind by the one before; the page cache stays warm.

#include "benchtools.h"
#include "frmcopy.h"
#include "frmdel.h"
#include "frmexportpc.h"
#include "frminsert.h"
#include "frmsize.h"
#include "linestore.h"
#include "mainform.h"
#include "prompts.h"
#include "tessarc.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringListModel>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kRecLen = 500;
constexpr qint64 kMiB = qint64(1) << 20;
constexpr qint64 kCopyLines = 200000;
constexpr qint64 kInsertLines = 1000;

void expect(bool ok, const QString &what)
{
    if (!ok)
        throw std::runtime_error(what.toStdString());
}

void say(const QString &line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

QString duration(double seconds)
{
    return seconds >= 0.1 ? QString::number(seconds, 'f', 3) + QStringLiteral(" s")
                          : QString::number(seconds * 1e3, 'f', 3) + QStringLiteral(" ms");
}

struct Job
{
    std::function<void()> prepare;
    std::function<void()> body;
    std::function<void()> verify;
};

// Each job's runs, the jobs taking turns; every run in seconds.
std::vector<std::vector<double>> timeJobs(int runs, const std::vector<Job> &jobs)
{
    std::vector<std::vector<double>> times(jobs.size());
    QElapsedTimer clock;
    for (int run = 0; run < runs; ++run) {
        for (size_t j = 0; j < jobs.size(); ++j) {
            if (jobs[j].prepare)
                jobs[j].prepare();
            ::sync();
            clock.start();
            jobs[j].body();
            times[j].push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
            if (jobs[j].verify)
                jobs[j].verify();
        }
    }
    return times;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2.0;
}

// "<what>: median <t> (runs a-b); floor (<floorWhat>) <f>; ratio <r> (target <= <target>)"
void sayFigure(const QString &what, const std::vector<double> &runs, const QString &floorWhat,
               const std::vector<double> &floorRuns, double target)
{
    const double value = median(runs);
    const double floor = median(floorRuns);
    const double ratio = floor > 0 ? value / floor : 0.0;
    const auto [low, high] = std::minmax_element(runs.begin(), runs.end());
    // A figure without a target (0) is printed for comparison.
    say(QStringLiteral("%1: median %2 (runs %3 to %4); floor (%5) %6; ratio %7 (%8)%9")
            .arg(what, duration(value), duration(*low), duration(*high), floorWhat, duration(floor),
                 QString::number(ratio, 'f', 2), target <= 0 ? QStringLiteral("for comparison") : QStringLiteral("target <= %1").arg(target),
                 target <= 0 || ratio <= target ? QString() : QStringLiteral(" MISSED")));
}

// The main window's prompts: any message, question or dialog during a run means it went wrong.
using FailingPrompts = benchtools::FailingPrompts;

// ---------------------------------------------------------------- the floors

class File
{
public:
    File(const QString &path, int flags) : m_path(path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC, 0644);
        expect(m_fd >= 0, QStringLiteral("cannot open %1").arg(path));
    }
    ~File() { ::close(m_fd); }
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd = -1;
    QString m_path;
};

// Reads `bytes` of the file from `offset` in 4 MiB blocks; while reading, writes `outBytes` to
// `out` (if given) in 1 MiB blocks, spread evenly over the reading.
void readPass(const QString &path, qint64 offset, qint64 bytes, const QString &out = QString(), qint64 outBytes = 0)
{
    File in(path, O_RDONLY);
    std::optional<File> to;
    if (!out.isEmpty())
        to.emplace(out, O_WRONLY | O_CREAT | O_TRUNC);
    QByteArray block(4 * kMiB, Qt::Uninitialized);
    QByteArray text(kMiB, 'x');
    qint64 read = 0;
    qint64 written = 0;
    while (read < bytes) {
        const ssize_t got = ::pread(in.fd(), block.data(), static_cast<size_t>(std::min<qint64>(block.size(), bytes - read)),
                                    offset + read);
        expect(got > 0, QStringLiteral("cannot read %1").arg(path));
        read += got;
        const qint64 due = to ? outBytes * read / bytes : 0;
        while (written < due) {
            const qint64 n = std::min<qint64>(text.size(), due - written);
            expect(::write(to->fd(), text.constData(), static_cast<size_t>(n)) == n, QStringLiteral("cannot write %1").arg(out));
            written += n;
        }
    }
}

void copyStore(const QString &from, const QString &to, qint64 lines)
{
    tessarc::LineStore in;
    tessarc::LineStore out;
    in.open(from, kRecLen, false);
    QFile::remove(to);
    out.open(to, kRecLen);
    tessarc::LineStore::copyRecords(in, tessarc::LineNumber(1), lines, out, tessarc::LineNumber(1));
    out.close();
    in.close();
}

QByteArray storedLine(const QString &store, qint64 line)
{
    tessarc::LineStore s;
    s.open(store, kRecLen, false);
    return s.read(tessarc::LineNumber(line));
}

// ---------------------------------------------------------------- the figures

struct Setup
{
    QDir dir;
    QString program;
    qint64 lines = 0;
    int runs = 0;
    FailingPrompts prompts;
    mainform *main = nullptr;
    TESSARC *editor = nullptr;
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    qint64 storeBytes() const { return lines * kRecLen; }
    void givenBack(const tools::ToolWindow &window, const QString &caption, const char *what) const
    {
        prompts.check(what);
        expect(!editor->Run && !main->row->isActive() && window.Go->text() == caption,
               QStringLiteral("%1 did not give the lock back").arg(QLatin1String(what)));
    }
};

void benchFindSize(Setup &s)
{
    frmSize window(*s.main);
    window.Form_Load();
    window.ALL->setChecked(true);
    const Job size{{}, [&] { window.Go->click(); },
                   [&] {
                       s.givenBack(window, QStringLiteral("Find Size"), "Find Size");
                       const QStringList rows = window.letterRows()->stringList();
                       QStringList letters;
                       for (const QString &row : rows)
                           letters.append(row.left(1));
                       expect(letters == QStringList({"F", "G", "N", "R", "X", "Y", "Z"}),
                              QStringLiteral("Find Size listed %1").arg(letters.join(QLatin1Char(' '))));
                       expect(rows.at(2) == QStringLiteral("N\t\t%1\t\t10").arg(s.lines * 10),
                              QStringLiteral("Find Size gave the N row %1").arg(rows.at(2)));
                   }};
    const Job floor{{}, [&] { readPass(s.editor->tempFile, 0, s.storeBytes()); }, {}};
    const auto t = timeJobs(s.runs, {floor, size});
    sayFigure(QStringLiteral("Find Size over %1 lines").arg(s.lines), t[1], QStringLiteral("one read pass of the store"),
              t[0], 1.5);
}

void benchExport(Setup &s)
{
    frmExportPC window(*s.main);
    window.Form_Load();
    window.ALL->setChecked(true);
    window.o1->setChecked(true);
    const QString target = s.path("export.pc");
    const QString floorOut = s.path("floor.pc");
    window.setTarget(target);
    qint64 written = 0;
    const Job cloud{[&] { QFile::remove(target); }, [&] { window.Go->click(); },
                    [&] {
                        s.givenBack(window, QStringLiteral("Export Point Cloud"), "Export Point Cloud");
                        QFile file(target);
                        expect(file.open(QIODevice::ReadOnly), QStringLiteral("no point cloud was written"));
                        qint64 lines = 0;
                        QByteArray block;
                        while (!(block = file.read(4 * kMiB)).isEmpty())
                            lines += block.count('\n');
                        expect(lines == s.lines, QStringLiteral("the point cloud has %1 points").arg(lines));
                        written = file.size();
                    }};
    // The floor writes as much as the export wrote; the first export runs before it.
    const Job floor{[&] { QFile::remove(floorOut); },
                    [&] { readPass(s.editor->tempFile, 0, s.storeBytes(), floorOut, written); }, {}};
    const auto t = timeJobs(s.runs, {cloud, floor});
    QFile::remove(target);
    QFile::remove(floorOut);
    sayFigure(QStringLiteral("Export Point Cloud of %1 lines (%2 MB written)").arg(s.lines).arg(written / 1e6, 0, 'f', 1),
              t[0], QStringLiteral("one read pass of the store, writing as much"), t[1], 2.0);
}

void benchCopyLines(Setup &s)
{
    const qint64 count = std::min(kCopyLines, s.lines);
    const qint64 first = s.lines / 2 - count / 2 + 1;
    frmCopy window(*s.main);
    window.Form_Load();
    window.StartLine->setText(QString::number(first));
    window.EndLine->setText(QString::number(first + count - 1));
    qint64 expectedChars = 0;
    {
        tessarc::LineStore store;
        store.open(s.editor->tempFile, kRecLen, false);
        store.forEachRecord(tessarc::LineNumber(first), count,
                            [&](tessarc::LineNumber, QByteArrayView text) { expectedChars += text.size() + 2; });
    }
    const Job copy{[] { QGuiApplication::clipboard()->clear(); }, [&] { window.Go->click(); },
                   [&] {
                       s.givenBack(window, QStringLiteral("Go"), "Copy Lines");
                       const QString text = QGuiApplication::clipboard()->text();
                       expect(text.size() == expectedChars && text.endsWith(QStringLiteral("\r\n")),
                              QStringLiteral("the clipboard holds %1 characters, not %2").arg(text.size()).arg(expectedChars));
                   }};
    const Job floor{{}, [&] { readPass(s.editor->tempFile, (first - 1) * kRecLen, count * kRecLen); }, {}};
    const auto t = timeJobs(s.runs, {floor, copy});
    sayFigure(QStringLiteral("Copy Lines of %1 lines").arg(count), t[1],
              QStringLiteral("reading those records"), t[0], 2.0);
}

// Insert File then Remove Lines, taking turns, so the program is back to its size after each pair.
void benchInsertRemove(Setup &s, bool insertWanted, bool removeWanted)
{
    const QString file = s.path("insert.nc");
    {
        QFile out(file);
        expect(out.open(QIODevice::WriteOnly), QStringLiteral("cannot write %1").arg(file));
        for (qint64 k = 1; k <= kInsertLines; ++k)
            out.write("N" + QByteArray::number(k) + " G01 X1.5,C0.5 (INSERTED)\r\n");
    }
    const qint64 middle = s.lines / 2;
    frmInsert insert(*s.main);
    insert.Form_Load();
    insert.Command1->setText(file);
    insert.StartLine->setText(QString::number(middle));
    frmDel remove(*s.main);
    remove.Form_Load();
    remove.StartLine->setText(QStringLiteral("1"));
    remove.EndLine->setText(QString::number(kInsertLines));
    const QString floorCopy = s.path("floor.store");

    const Job insertJob{{}, [&] { insert.Go->click(); },
                        [&] {
                            s.givenBack(insert, QStringLiteral("Go"), "Insert File");
                            expect(s.editor->numberOfLines() == s.lines + kInsertLines &&
                                       storedLine(s.editor->tempFile, middle + 1) == "N1 G01 X1.5,C0.5 (INSERTED)" &&
                                       QFileInfo(s.editor->tempFile).size() == (s.lines + kInsertLines) * kRecLen,
                                   QStringLiteral("the insert gave %1 lines").arg(s.editor->numberOfLines()));
                        }};
    const Job removeJob{{}, [&] { remove.Go->click(); },
                        [&] {
                            s.givenBack(remove, QStringLiteral("Go"), "Remove Lines");
                            expect(s.editor->numberOfLines() == s.lines &&
                                       QFileInfo(s.editor->tempFile).size() == s.storeBytes(),
                                   QStringLiteral("the removal gave %1 lines").arg(s.editor->numberOfLines()));
                        }};
    const Job floor{[&] { QFile::remove(floorCopy); }, [&] { copyStore(s.editor->tempFile, floorCopy, s.lines); },
                    [&] { QFile::remove(floorCopy); }};
    const auto t = timeJobs(s.runs, {floor, insertJob, removeJob});
    const QString floorWhat = QStringLiteral("one LineStore::copyRecords of the store");
    if (insertWanted)
        sayFigure(QStringLiteral("Insert File of %1 lines at line %2").arg(kInsertLines).arg(middle), t[1], floorWhat,
                  t[0], 1.5);
    if (removeWanted)
        sayFigure(QStringLiteral("Remove Lines 1 to %1").arg(kInsertLines), t[2], floorWhat, t[0], 1.5);
}

// Three safe ways to put a rebuilt store in place, each with the block copy that builds it: into a
// new file renamed over the old store; into a new file, the old store renamed aside first and
// deleted; into the file the last rebuild left (written over where it stands), the two exchanged
// in one step (what the program does).
void benchSwap(Setup &s)
{
    const QString store = s.path("swap.store");
    const QString scratch = s.path("swap.scratch");
    const QString aside = s.path("swap.old");
    copyStore(s.editor->tempFile, store, s.lines);
    auto rename = [](const QString &from, const QString &to) {
        expect(std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0,
               QStringLiteral("cannot rename %1").arg(from));
    };
    auto copyOver = [&] {
        tessarc::LineStore in;
        tessarc::LineStore out;
        in.open(store, kRecLen, false);
        out.open(scratch, kRecLen);
        tessarc::LineStore::copyRecords(in, tessarc::LineNumber(1), s.lines, out, tessarc::LineNumber(1));
        out.truncate(s.lines);
        out.close();
    };
    const Job over{[&] { QFile::remove(scratch); }, [&] {
                       copyStore(store, scratch, s.lines);
                       rename(scratch, store);
                   },
                   {}};
    const Job besides{[&] { QFile::remove(scratch); }, [&] {
                          copyStore(store, scratch, s.lines);
                          rename(store, aside);
                          rename(scratch, store);
                          QFile::remove(aside);
                      },
                      {}};
    const Job exchange{{}, [&] {
                           copyOver();
                           expect(::renameat2(AT_FDCWD, QFile::encodeName(scratch).constData(), AT_FDCWD,
                                              QFile::encodeName(store).constData(), RENAME_EXCHANGE) == 0,
                                  QStringLiteral("cannot exchange the stores"));
                       },
                       [&] { expect(QFileInfo(scratch).size() == s.storeBytes(), QStringLiteral("no old store kept")); }};
    const Job copyOnly{[&] { QFile::remove(scratch); }, [&] { copyStore(store, scratch, s.lines); }, {}};
    // The exchange needs the scratch store the one before left: one untimed round first.
    copyStore(store, scratch, s.lines);
    const auto t = timeJobs(s.runs, {copyOnly, exchange, over, besides});
    sayFigure(QStringLiteral("rebuild written over the last scratch store, the two exchanged"), t[1],
              QStringLiteral("the block copy into a new file"), t[0], 1.5);
    sayFigure(QStringLiteral("rebuild into a new file renamed over the old store"), t[2],
              QStringLiteral("the block copy into a new file"), t[0], 0);
    sayFigure(QStringLiteral("rebuild into a new file, the old store renamed aside and deleted"), t[3],
              QStringLiteral("the block copy into a new file"), t[0], 0);
    QFile::remove(store);
    QFile::remove(scratch);
}

} // namespace

QStringList wholeLineFigures()
{
    return {QStringLiteral("findsize"), QStringLiteral("export"), QStringLiteral("copylines"), QStringLiteral("insert"),
            QStringLiteral("remove"), QStringLiteral("swap")};
}

void runWholeLineFigures(const QString &only, const QString &program, qint64 lines, int runs, const QString &dir)
{
    Setup s;
    s.dir = QDir(dir);
    s.program = program;
    s.lines = lines;
    s.runs = runs;
    qputenv("VORNEXA_HOME", QFile::encodeName(s.path("wholeline-home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(s.path("wholeline-config")));
    mainform main(s.prompts);
    main.resize(640, 480);
    main.show();
    QCoreApplication::processEvents();
    s.main = &main;
    s.editor = main.TESSARC1;
    s.editor->recLen = kRecLen;
    s.editor->tempFile = s.path("wholeline.store");
    s.editor->tempFile2 = s.path("wholeline.scratch");
    s.editor->lockup(false);
    s.editor->loadFile(program);
    s.prompts.check("loadFile");
    expect(s.editor->numberOfLines() == lines, QStringLiteral("the main window loaded %1 lines").arg(s.editor->numberOfLines()));

    auto wanted = [&only](const char *figure) { return only.isEmpty() || only == QLatin1String(figure); };
    if (wanted("findsize"))
        benchFindSize(s);
    if (wanted("export"))
        benchExport(s);
    if (wanted("copylines"))
        benchCopyLines(s);
    if (wanted("insert") || wanted("remove"))
        benchInsertRemove(s, wanted("insert"), wanted("remove"));
    if (wanted("swap"))
        benchSwap(s);
    s.editor->done();
}
