#pragma once

#include "commentrule.h"
#include "program.h"

#include <QString>
#include <QStringList>
#include <array>

class SettingsStore;
class TESSARC;

// The program-wide values, in groups by what owns them. Each group reads its own keys from the
// settings store (with their defaults) and writes them back; the windows that change a group use
// these, so a key is spelled in one place.

// A font as the settings hold it.
struct FontSetting
{
    bool bold = false;
    bool italic = false;
    QString name = QStringLiteral("Courier New");
    int size = 12;
    bool strikethru = false;
    bool underline = false;
};

// One colour slot of the syntax colouring: its letters and its colour (red in the low byte).
struct HighlightSlot
{
    QString axis;
    int color = 0;
};

// The product's names, from the branding file; not settings.
struct Branding
{
    QString productName = QStringLiteral("QEN EDIT");
    QString webAddress = QStringLiteral("https://www.vornexa.example");
    QString programTitle = QStringLiteral("VORNEXA");
    // Joins the fields of a recorded macro step.
    QString stepSeparator = QStringLiteral("\nSEP.QEN\r");
};

// FILES: the folders the open and save dialogs remember.
struct FileFolders
{
    QString lastDirOpen;
    QString lastDirSave;
    void read(const SettingsStore &s, const QString &programFolder);
    void writeOpen(SettingsStore &s) const;
    void writeSave(SettingsStore &s) const;
};

// FORMATS and NUMBERS: how numbers are read and written by the tools.
struct NumberSettings
{
    QString percentFormat = QStringLiteral("0.00");
    bool calcPercent = true;
    QString outputFormat = QStringLiteral("0.####");
    bool spaces = true; // spaces may stand inside a number
    // The first run writes CALCPERCENT, so it is there for the Options window to show.
    void read(SettingsStore &s);
    void write(SettingsStore &s) const;
};

// COMMENTS: the comment delimiters, and the text that opens a comment to the end of the line.
struct CommentSettings
{
    QString startComment = QStringLiteral("(");
    QString endComment = QStringLiteral(")");
    QString lineComment = QStringLiteral(";"); // empty: lines have no such comments
    // The comments Remove Comments keeps, as entries separated by spaces (empty: none): the ones the
    // controls act on, operator messages, logging and probe files.
    QString commands = QStringLiteral("MSG, PRINT, DEBUG, LOGOPEN, LOGAPPEND, LOG, LOGCLOSE) PROBEOPEN PROBECLOSE) AXIS,");
    tessarc::CommentRule rule() const { return {startComment, endComment, lineComment}; }
    void read(const SettingsStore &s);
    void write(SettingsStore &s) const;
    void applyTo(TESSARC &editor) const;
};

// RE: the five most recent files, entry 0 the newest.
struct RecentFiles
{
    std::array<QString, 5> entries;
    // `path` goes first, once; the others keep their order, with no gaps.
    void add(const QString &path);
    void read(const SettingsStore &s);
    void write(SettingsStore &s) const;
};

// CMSG: the texts of the range and lock refusals.
struct Messages
{
    QString badStart = QStringLiteral("Sorry, that is an invalid starting line.");
    QString badEnd = QStringLiteral("Sorry, that is an invalid ending line.");
    QString noFile = QStringLiteral("You must load a file before using this feature.");
    QString textNull = QStringLiteral("Are all the text boxes filled out correctly?");
    QString alreadyRunning = QStringLiteral("An operation is currently being preformed on this file, please wait for "
                                            "it to stop and then try again.");
    void read(const SettingsStore &s);
};

// COLOR, FONT and HL: how the editor shows a program, and the printer's font.
struct ViewSettings
{
    int lForeColor = 255;
    int lBackColor = 16777215;
    FontSetting pFont;
    FontSetting mFont;
    std::array<HighlightSlot, 8> hl = {{{QStringLiteral("XYZ"), 0},
                                        {QStringLiteral("GM"), 16711680},
                                        {QStringLiteral("SFTH"), 16776960},
                                        {QString(), 0},
                                        {QString(), 0},
                                        {QString(), 0},
                                        {QString(), 0},
                                        {QStringLiteral("COMMENTS"), 16711935}}};
    void read(const SettingsStore &s);
    void writeColors(SettingsStore &s) const;
    void writeEditorFont(SettingsStore &s) const;
    void writePrinterFont(SettingsStore &s) const;
    void writeSlots(SettingsStore &s) const;
    // The editor's font, colours and colour slots.
    void applyTo(TESSARC &editor) const;
};

// IO: the line store's record length, the line-end rules for loading and saving, and how much of the history
// of changes is kept for Undo (steps, and megabytes of disk beside the store).
constexpr int kMostUndoSteps = 10000;
constexpr int kMostUndoMegabytes = 1024 * 1024;

struct IoSettings
{
    int recLen = 500;
    QString recLenProblem; // why read() kept the default record length, or empty
    bool lfEndsLine = true;
    int undoSteps = 100;
    int undoMegabytes = 2048;
    // The line ends Save writes: those the program had (the default), CR LF or LF.
    tessarc::Program::SaveEnds saveEnds = tessarc::Program::SaveEnds::AsLoaded;
    void read(const SettingsStore &s);
    void writeRecLen(SettingsStore &s) const;
    void writeLfEndsLine(SettingsStore &s) const;
    void writeUndoLimits(SettingsStore &s) const;
    void writeSaveEnds(SettingsStore &s) const;
    void applyTo(tessarc::Program &program) const;
    void applyTo(TESSARC &editor) const;
};

// MOTION: what the interpreter assumes of a program sent to no machine in particular: the dialect
// it is written in ("linuxcnc", "fanuc" or "grbl", the interpreter's own names), the rapid rate
// (mm/min) and the acceleration (mm/s²). A stored value that is none of these keeps its default,
// and `problem` says so.
struct MotionSettings
{
    QString dialect = QStringLiteral("linuxcnc");
    double rapid = 5000.0;
    double accel = 500.0;
    QString problem; // why read() kept a default, or empty
    static const QStringList &dialects();
    void read(const SettingsStore &s);
    void write(SettingsStore &s) const;
};

// COMPARE: how Compare With... and --compare take two values as equal: within `tolerance` (0 by
// default; a stored value that is not a number from 0 keeps it, and `problem` says so).
struct CompareSettings
{
    double tolerance = 0.0;
    QString problem;
    void read(const SettingsStore &s);
    void write(SettingsStore &s) const;
};

struct GlobalVar
{
    Branding brand;
    FileFolders folders;
    NumberSettings numbers;
    CommentSettings comments;
    RecentFiles recent;
    Messages messages;
    ViewSettings view;
    IoSettings io;
    MotionSettings motion;
    CompareSettings compare;
};
