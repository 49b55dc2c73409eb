#pragma once

// The helpers the figures of vornexa-bench share (bench_tools.cpp): the generated program, the
// store copies between runs, timing by turns with medians and spread, and prompts that fail a run.

#include "prompts.h"

#include <QDir>

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <functional>
#include <vector>

class TESSARC;
class mainform;

namespace benchtools {

// Ends the figure with `what` when `ok` is false.
void check(bool ok, const QString &what);
// A line of the report, on stdout.
void say(const QString &line);
// "1.234 s"
QString seconds(double s);
// The middle value (the mean of the two middle ones for an even count).
double median(std::vector<double> v);
// The program's first `lines` lines, each ended by CR LF, written in blocks.
void writeProgram(const QString &path, qint64 lines, QByteArray (*programLine)(qint64));
// Reads every record of a store and writes it back in place, in 4 MiB blocks.
void rewriteInPlace(const QString &path);
// The first `lines` records of one store copied over another (records of 500 bytes).
void copyStore(const QString &from, const QString &to, qint64 lines);
// Reads every byte of a file in 4 MiB blocks.
void readPass(const QString &path);
// Peak resident memory since the last reset, in bytes (VmHWM; ru_maxrss where that is unreadable);
// resetting where the kernel allows it.
qint64 peakResident(bool reset);
// A pty pair for a far end: its master, non-blocking, in `master`; the slave's device path returned.
QString openFarEnd(int &master);

// The main window's prompts: any message, question or dialog during a run means it went wrong.
class FailingPrompts : public Prompts
{
public:
    void message(QWidget *, const QString &text, const QString &title) override { report("message", title, text); }
    Answer ask(QWidget *, const QString &text, const QString &title, Buttons) override
    {
        report("question", title, text);
        return Answer::Cancel;
    }
    std::optional<QString> input(QWidget *, const QString &prompt, const QString &title, const QString &) override
    {
        report("input box", title, prompt);
        return std::nullopt;
    }
    QString openFileName(QWidget *, const QString &) override { return report("open dialog", {}, {}), QString(); }
    QString saveFileName(QWidget *, const QString &) override { return report("save dialog", {}, {}), QString(); }
    std::optional<QFont> chooseFont(QWidget *, const QFont &) override { return report("font dialog", {}, {}), std::nullopt; }
    std::optional<QColor> chooseColor(QWidget *, const QColor &) override { return report("colour dialog", {}, {}), std::nullopt; }
    bool openDocument(const QString &) override { return false; }
    void warning(QWidget *, const QString &title, const QString &text) override { report("warning", title, text); }
    void beep() override { report("beep", {}, {}); }
    void expectNone(const QString &operation) const
    {
        benchtools::check(m_reports == 0, QStringLiteral("the application reported a failure during %1").arg(operation));
    }
    void check(const char *operation) const { expectNone(QLatin1String(operation)); }

private:
    void report(const char *what, const QString &title, const QString &text)
    {
        std::fprintf(stderr, "vornexa-bench: %s: %s: %s\n", what, qPrintable(title), qPrintable(text));
        ++m_reports;
    }
    int m_reports = 0;
};

// The main window keeps its settings and program folder in the scratch folder; call it before the
// window is made.
void useScratchFolders(const QDir &folder);
// Shows `main` at 640 x 480 and loads `program` of `lines` lines into its editor, the stores named
// `stem`.store and `stem`.scratch in `folder`; ends the figure when the load reports anything.
TESSARC &loadInMainWindow(mainform &main, const FailingPrompts &prompts, const QDir &folder, const QString &stem,
                          const QString &program, qint64 lines);

struct Times
{
    double median = 0.0;
    double low = 0.0;
    double high = 0.0;
    double cpuMedian = 0.0; // processor time (user and system, children included)
};

// One measured operation: `prepare` and `verify` run untimed before and after each timed `body`.
struct Job
{
    std::function<void()> prepare;
    std::function<void()> body;
    std::function<void()> verify;
};

// Runs every job `runs` times, taking turns, and gives each job's median and spread.
std::vector<Times> timeJobs(int runs, const std::vector<Job> &jobs);

} // namespace benchtools
