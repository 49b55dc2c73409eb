#pragma once

#include "machineprofile.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QSocketNotifier;
class SettingsStore;

// The forms of the command line that run without a window and without a display: a verb, then its
// arguments ("vornexa --send MACHINE PROGRAM"). They use the program folder, settings, machines and
// record length the window uses, report on stdout and stderr, and end with an exit code.
namespace headless {

enum ExitCode : int {
    Done = 0,     // the job ran to its end
    Failed = 1,   // the job ran but something failed, or it was refused
    BadUsage = 2, // bad arguments, or a missing machine or input file
};

// Runs the form that argv names and gives its exit code; nothing when argv names none (the window
// starts). Called before any application object exists.
std::optional<int> run(int argc, char *argv[]);

// ---- For the verbs ----

// One form: its verb, its arguments and what it does, for --help and for a usage error.
struct Verb
{
    const char *name;
    const char *arguments;
    const char *summary;
    int (*run)(const QStringList &arguments);
};

// Tells what the form `verb` takes (bad usage): its line of --help, on stderr. Returns BadUsage.
int usage(const char *verb, const QString &why);

// The arguments of a form that takes "-o OUTPUT" once among its others: the others in order, and
// the output (empty without -o); nothing when -o has no file after it or comes twice.
struct OutputArguments
{
    QStringList plain;
    QString output;
};
std::optional<OutputArguments> withOutput(const QStringList &arguments);

// The stem of the stores of a form without a window: its own, apart from those of any window that
// runs meanwhile ("cli" and the process id).
QString cliStoreStem();

void printOut(const QString &line);
void printError(const QString &line);

// The settings store the window reads, under the program's title ("VORNEXA", or the name a
// "name.dat" of the program folder gives it).
std::unique_ptr<SettingsStore> openSettings();

// Progress on stderr, redrawn in place, only when stderr is a terminal and at most ten times a second.
class ProgressLine
{
public:
    ProgressLine();
    ~ProgressLine();
    void show(const QString &text);
    // Ends the line when something was drawn.
    void end();

private:
    void draw();

    bool m_terminal = false;
    QString m_text;  // what the line says now
    QString m_drawn; // what was last drawn
    qint64 m_last = -1;
};

// SIGINT and SIGTERM, delivered from the event loop as arrived() while this lives; the signals'
// own handling is back once it is gone.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    StopSignals();
    ~StopSignals() override;
    // The signal caught so far ("SIGINT" or "SIGTERM"), also before the event loop has run; "" when none.
    static QString caught();

signals:
    void arrived(const QString &name);

private:
    QSocketNotifier *m_notifier = nullptr;
};

// The profile of the machine named on the command line; nothing, and the reason on stderr, when
// there is no such machine or its profile cannot be used.
std::optional<comm::MachineProfile> machineNamed(const QString &name);

// The verbs of the serial line (sendreceive.cpp).
int sendVerb(const QStringList &arguments);
// --check (checkverb.cpp).
int checkVerb(const QStringList &arguments);
// --compare (compareverb.cpp).
int compareVerb(const QStringList &arguments);
// --restart (restartverb.cpp).
int restartVerb(const QStringList &arguments);
int receiveVerb(const QStringList &arguments);
// The DNC server and its status (dncverb.cpp).
int dncVerb(const QStringList &arguments);
int dncStatusVerb(const QStringList &arguments);
// The verb of the macros (macroverb.cpp).
int macroVerb(const QStringList &arguments);
// The verb of the moves (movesverb.cpp).
int movesVerb(const QStringList &arguments);
// The verb of the toolpath's picture (plotverb.cpp).
int plotVerb(const QStringList &arguments);

} // namespace headless
