#pragma once

#include <QString>
#include <QStringList>
#include <array>

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

// The program-wide values, filled from the settings store at start-up. The parts that change a
// setting update both this and the store.
struct GlobalVar
{
    // Branding
    QString productName = QStringLiteral("QEN EDIT");
    QString webAddress = QStringLiteral("https://www.vornexa.example");
    QString programTitle = QStringLiteral("VORNEXA");
    // Joins the fields of a recorded macro step.
    QString stepSeparator = QStringLiteral("\nSEP.QEN\r");

    // FILES
    QString lastDirOpen;
    QString lastDirSave;
    // FORMATS
    QString percentFormat = QStringLiteral("0.00");
    bool calcPercent = true;
    QString outputFormat = QStringLiteral("0.####");
    // COMMENTS
    QString startComment = QStringLiteral("(");
    QString endComment = QStringLiteral(")");
    // RE: entry 0 is the newest
    std::array<QString, 5> recent;
    // CMSG
    QString badStart = QStringLiteral("Sorry, that is an invalid starting line.");
    QString badEnd = QStringLiteral("Sorry, that is an invalid ending line.");
    QString noFile = QStringLiteral("You must load a file before using this feature.");
    QString textNull = QStringLiteral("Are all the text boxes filled out correctly?");
    QString alreadyRunning = QStringLiteral("An operation is currently being preformed on this file, please wait for "
                                            "it to stop and then try again.");
    // NUMBERS
    bool spaces = true;
    // COLOR
    int lForeColor = 255;
    int lBackColor = 16777215;
    // FONT
    FontSetting pFont;
    FontSetting mFont;
    // HL
    std::array<HighlightSlot, 8> hl = {{{QStringLiteral("XYZ"), 0},
                                        {QStringLiteral("GM"), 16711680},
                                        {QStringLiteral("SFTH"), 16776960},
                                        {QString(), 0},
                                        {QString(), 0},
                                        {QString(), 0},
                                        {QString(), 0},
                                        {QStringLiteral("COMMENTS"), 16711935}}};
    // IO
    int recLen = 500;
    bool lfEndsLine = true;
    // MACHINE
    QString lastUsed;
};
