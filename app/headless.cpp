#include "headless.h"

#include "instancelock.h"
#include "programfolder.h"
#include "recovery.h"
#include "settingsstore.h"

#include <QCoreApplication>

#include <memory>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace headless {

namespace {

int helpVerb(const QStringList &arguments);

// Every form without a window; --help lists them in this order.
constexpr Verb kVerbs[] = {
    {"--send", "MACHINE PROGRAM [--from LINE [--pass K]]",
     "sends PROGRAM to MACHINE: the bytes Send sends for All Lines; with\n"
     "--from, the restart program from LINE (its K-th run) as --restart makes\n"
     "it; progress on stderr when it is a terminal",
     &sendVerb},
    {"--receive", "MACHINE OUTPUT [--idle SECONDS]",
     "captures what MACHINE sends, as Receive does, until SECONDS (default 10;\n"
     "0: no limit) pass with nothing arriving after the first character, or\n"
     "until SIGINT or SIGTERM; then writes OUTPUT whole",
     &receiveVerb},
    {"--dnc", "[--machines NAME,...]",
     "serves every machine whose setup enables it (or the machines named) on its\n"
     "own port until SIGTERM or SIGINT: a request from the control sends the\n"
     "program it names, a program the control sends is filed by its number;\n"
     "every event a line on stdout and in the machine's log",
     &dncVerb},
    {"--dnc-status", "",
     "prints what each machine of the running DNC server is doing",
     &dncStatusVerb},
    {"--macro", "NAME PROGRAM [-o OUTPUT]",
     "runs the macro NAME on PROGRAM step by step, as Run Macro does, and\n"
     "saves the result to OUTPUT (default: PROGRAM itself); the run log on\n"
     "stdout, each refused step's message on stderr",
     &macroVerb},
    {"--moves", "PROGRAM [--dialect linuxcnc|fanuc|grbl] [--tools TABLE] [-o OUTPUT]",
     "follows PROGRAM's motion as its control reads it (LinuxCNC's RS274NGC unless\n"
     "--dialect says otherwise; G43's lengths from TABLE) and writes one\n"
     "tab-separated row a move (to OUTPUT, or stdout); what it cannot follow on\n"
     "stderr as \"line N: reason\", with exit code 1",
     &movesVerb},
    {"--plot", "PROGRAM -o PICTURE [--view top|front|side|iso|lathe] [--size WxH] [--dialect linuxcnc|fanuc|grbl] [--tools TABLE]",
     "follows PROGRAM's motion as --moves does and draws its toolpath into the PNG\n"
     "PICTURE (default view iso, lathe for a lathe program in diameter mode;\n"
     "default size 1200x900): rapids dashed, cutting moves in their tool's\n"
     "colour, the places of lines it cannot follow ringed and said on stderr as\n"
     "\"line N: reason\", with exit code 1",
     &plotVerb},
    {"--check", "PROGRAM [--machine NAME] [--dialect linuxcnc|fanuc|grbl] [--tools TABLE] [--json]",
     "checks every line of PROGRAM against the machine NAME's setup (with none,\n"
     "only the checks that need no machine, and Options' default rates): each\n"
     "finding as \"line N: error|warning: reason\", then the extents, the rapid\n"
     "and feed lengths and the time per tool and in all; with --json the same\n"
     "as one JSON object; exit code 1 when there are errors",
     &checkVerb},
    {"--restart", "PROGRAM --from LINE -o OUTPUT [--pass K] [--machine NAME] [--dialect linuxcnc|fanuc|grbl] [--tools TABLE]",
     "writes to OUTPUT the program that goes on from LINE of PROGRAM (its K-th\n"
     "run, default 1): the state in force there, the retract and a safe approach\n"
     "as the machine NAME's setup says, then the program from LINE on; refused\n"
     "with the reason (exit code 1) where a restart is unsafe",
     &restartVerb},
    {"--compare", "A B [--tolerance T] [--plain] [--ignore-comments]",
     "compares two programs as programs: N words, spaces, the case of letters\n"
     "and how numbers are written do not count (--plain: byte for byte), values\n"
     "within T (default Options' tolerance) are equal; a row a difference\n"
     "(changed, removed or inserted, the lines of A and B, their texts below\n"
     "with the changed words in braces), then the count; exit code 1 when they\n"
     "differ",
     &compareVerb},
    {"--help", "", "lists these forms", &helpVerb},
};

const Verb *verbNamed(const QString &name)
{
    for (const Verb &verb : kVerbs) {
        if (name == QLatin1String(verb.name))
            return &verb;
    }
    return nullptr;
}

QString formLine(const Verb &verb)
{
    QString form = QStringLiteral("vornexa ") + QLatin1String(verb.name);
    if (*verb.arguments)
        form += QLatin1Char(' ') + QLatin1String(verb.arguments);
    return form;
}

int helpVerb(const QStringList &arguments)
{
    if (!arguments.isEmpty())
        return usage("--help", QStringLiteral("--help takes no arguments."));
    QStringList text = {QStringLiteral("Usage:"), QStringLiteral("  vornexa [PROGRAM]"),
                        QStringLiteral("      opens the editor, with PROGRAM when one is given")};
    for (const Verb &verb : kVerbs) {
        text.append(QStringLiteral("  ") + formLine(verb));
        for (const QString &line : QString::fromLatin1(verb.summary).split(QLatin1Char('\n')))
            text.append(QStringLiteral("      ") + line);
    }
    text << QString()
         << QStringLiteral("MACHINE is a machine of Manage Machines, the file MACHINE.qen in")
         << QStringLiteral("  ") + QDir(tessarc::programFolder()).filePath(QStringLiteral("m"))
         << QStringLiteral("Its COM number opens the device Manage Machines shows for it.")
         << QStringLiteral("NAME is a macro of Create/ Edit Macro, the file NAME.macro.qen in")
         << QStringLiteral("  ") + QDir(tessarc::programFolder()).filePath(QStringLiteral("macro"))
         << QStringLiteral("The forms with a verb need no window and no display.")
         << QString()
         << QStringLiteral("Exit codes: 0 done; 1 the job ran but failed or was refused (\"ERROR n: ...\"")
         << QStringLiteral("or the reason on stderr); 2 bad usage, or a missing machine, macro or program.");
    printOut(text.join(QLatin1Char('\n')));
    return Done;
}

// The title the window's settings go under: a "name.dat" of three lines in the program folder
// renames the program, and its settings with it.
QString settingsTitle()
{
    const QDir folder(tessarc::programFolder());
    for (const QString &entry : folder.entryList(QDir::Files)) {
        if (entry.compare(QLatin1String("name.dat"), Qt::CaseInsensitive) != 0)
            continue;
        QFile dat(folder.filePath(entry));
        if (!dat.open(QIODevice::ReadOnly | QIODevice::Text))
            break;
        QTextStream in(&dat);
        QStringList lines;
        while (lines.size() < 3 && !in.atEnd())
            lines.append(in.readLine());
        if (lines.size() == 3)
            return lines.first();
        break;
    }
    return QStringLiteral("VORNEXA");
}

int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_caught = 0;
struct sigaction g_oldInt = {};
struct sigaction g_oldTerm = {};

QString signalName(int number)
{
    return number == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM");
}

void onSignal(int number)
{
    g_caught = number;
    const char byte = static_cast<char>(number);
    if (::write(g_signalPipe[1], &byte, 1) < 0) {
        // nothing to do: a signal already waits in the pipe
    }
}

// Qt's own notes about the desktop session (no runtime folder, no display) mean nothing to a
// script reading stderr: only its critical messages get through.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        printError(text);
}

} // namespace

std::optional<int> run(int argc, char *argv[])
{
    if (argc < 2)
        return std::nullopt;
    const Verb *verb = verbNamed(QString::fromLocal8Bit(argv[1]));
    if (!verb)
        return std::nullopt;
    QStringList arguments;
    for (int i = 2; i < argc; ++i) {
        // A name is taken as the bytes given: one that the system's encoding cannot carry through
        // would name another file, so it is refused.
        const QString argument = QFile::decodeName(argv[i]);
        if (QFile::encodeName(argument) != QByteArrayView(argv[i]))
            return usage(verb->name,
                         QStringLiteral("the argument \"%1\" is not valid text in this system's encoding; nothing "
                                        "was done. Rename the file, or run in a locale that can name it.")
                             .arg(argument));
        arguments.append(argument);
    }
    qInstallMessageHandler(&quietMessages);
    int qtArgc = 1;
    // No window is shown and no widget made: a core application, with no display and no platform
    // plugin at all, so the forms run as services and in containers as they are.
    QCoreApplication app(qtArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vornexa"));
    // A job counts as a running instance, so no window takes its stores for left over; the stores
    // that instances which are gone left without changes are cleared, as a window's start does.
    const QString folder = tessarc::programFolder();
    const InstanceLock instance(folder);
    recovery::clearUnchanged(folder, instance);
    return verb->run(arguments);
}

int usage(const char *name, const QString &why)
{
    const Verb *verb = verbNamed(QLatin1String(name));
    printError(QStringLiteral("vornexa: ") + why);
    if (verb)
        printError(QStringLiteral("Usage: ") + formLine(*verb));
    printError(QStringLiteral("vornexa --help lists every form."));
    return BadUsage;
}

std::optional<OutputArguments> withOutput(const QStringList &arguments)
{
    OutputArguments read;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] != QLatin1String("-o")) {
            read.plain.append(arguments[i]);
            continue;
        }
        if (i + 1 >= arguments.size() || !read.output.isEmpty())
            return std::nullopt;
        read.output = arguments[++i];
    }
    return read;
}

QString cliStoreStem()
{
    return QStringLiteral("cli%1").arg(QCoreApplication::applicationPid());
}

void printOut(const QString &line)
{
    std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

void printError(const QString &line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

std::unique_ptr<SettingsStore> openSettings()
{
    return std::make_unique<SettingsStore>(settingsTitle());
}

// ---------------------------------------------------------------- progress

ProgressLine::ProgressLine() : m_terminal(::isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine()
{
    end();
}

void ProgressLine::show(const QString &text)
{
    if (!m_terminal)
        return;
    m_text = text;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_last >= 0 && now - m_last < 100)
        return;
    m_last = now;
    draw();
}

void ProgressLine::draw()
{
    // Back to the start of the line, the text, the rest of the old text cleared.
    std::fprintf(stderr, "\r%s\033[K", m_text.toLocal8Bit().constData());
    std::fflush(stderr);
    m_drawn = m_text;
}

void ProgressLine::end()
{
    if (m_text.isEmpty())
        return;
    // The line ends as things stand at the end, not as they stood at the last redraw.
    if (m_drawn != m_text)
        draw();
    std::fputc('\n', stderr);
    std::fflush(stderr);
    m_text.clear();
    m_drawn.clear();
    m_last = -1;
}

// ---------------------------------------------------------------- SIGINT and SIGTERM

StopSignals::StopSignals()
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(g_signalPipe[0], &byte, 1) == 1)
            emit arrived(signalName(byte));
    });
    struct sigaction action = {};
    action.sa_handler = &onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &g_oldInt);
    sigaction(SIGTERM, &action, &g_oldTerm);
}

QString StopSignals::caught()
{
    return g_caught ? signalName(g_caught) : QString();
}

StopSignals::~StopSignals()
{
    if (!m_notifier)
        return;
    sigaction(SIGINT, &g_oldInt, nullptr);
    sigaction(SIGTERM, &g_oldTerm, nullptr);
    delete m_notifier;
    ::close(g_signalPipe[0]);
    ::close(g_signalPipe[1]);
    g_signalPipe[0] = g_signalPipe[1] = -1;
}

} // namespace headless
