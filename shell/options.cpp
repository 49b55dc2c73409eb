#include "options.h"

#include "colorruns.h"
#include "globalvar.h"
#include "host.h"
#include "settingsstore.h"
#include "prompts.h"
#include "tessarc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int kMostPlaces = 20;

int toRgb(const QColor &color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

template <class W>
W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QScrollBar *placesBar(QWidget *parent, const QString &name)
{
    auto *bar = named(new QScrollBar(Qt::Horizontal, parent), name);
    bar->setRange(0, kMostPlaces);
    bar->setPageStep(1);
    bar->setMinimumWidth(160);
    return bar;
}

QLabel *valueLabel(QWidget *parent, const QString &name)
{
    auto *label = named(new QLabel(QStringLiteral("0"), parent), name);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("000")));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

} // namespace

ColorButton::ColorButton(QWidget *parent) : QPushButton(parent)
{
    setMinimumSize(48, 22);
    setColorValue(0);
}

void ColorButton::setColorValue(int rgb)
{
    m_color = rgb & 0xffffff;
    // A plain face with a thin border shows the colour itself, not a shaded version of it.
    setStyleSheet(QStringLiteral("QPushButton { background-color: %1; border: 1px solid #707070; border-radius: 2px; }"
                                 "QPushButton:focus { border: 2px solid #3070c0; }")
                      .arg(tessarc::toQColor(m_color).name()));
}

Options::Options(Host &host, QWidget *parent) : QDialog(parent ? parent : host.mainWindow()), m_host(host)
{
    setObjectName(QStringLiteral("Options"));
    setWindowTitle(QStringLiteral("Options"));

    // Comments
    Label1 = named(new QWidget(this), QStringLiteral("Label1"));
    Label1->setAccessibleName(QStringLiteral("Comments start with                and end with"));
    txtStartComment = named(new QLineEdit(Label1), QStringLiteral("txtStartComment"));
    txtEndComment = named(new QLineEdit(Label1), QStringLiteral("txtEndComment"));
    for (QLineEdit *box : {txtStartComment, txtEndComment})
        box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("WWWWWW")) + 12);
    auto *comments = new QHBoxLayout(Label1);
    comments->setContentsMargins(0, 0, 0, 0);
    comments->addWidget(new QLabel(QStringLiteral("Comments start with"), Label1));
    comments->addWidget(txtStartComment);
    comments->addWidget(new QLabel(QStringLiteral("and end with"), Label1));
    comments->addWidget(txtEndComment);
    comments->addStretch(1);
    lineComments = named(new QWidget(this), QStringLiteral("lineComments"));
    txtLineComment = named(new QLineEdit(lineComments), QStringLiteral("txtLineComment"));
    txtLineComment->setMaximumWidth(txtStartComment->maximumWidth());
    txtLineComment->setToolTip(QStringLiteral("Leave it empty when the programs have no such comments."));
    auto *lineRow = new QHBoxLayout(lineComments);
    lineRow->setContentsMargins(0, 0, 0, 0);
    lineRow->addWidget(new QLabel(QStringLiteral("A comment also runs from"), lineComments));
    lineRow->addWidget(txtLineComment);
    lineRow->addWidget(new QLabel(QStringLiteral("to the end of the line"), lineComments));
    lineRow->addStretch(1);
    commentCommands = named(new QWidget(this), QStringLiteral("commentCommands"));
    txtCommands = named(new QLineEdit(commentCommands), QStringLiteral("txtCommands"));
    txtCommands->setToolTip(QStringLiteral("Separate them with spaces; letter case is ignored. Leave it empty to remove every comment."));
    auto *commandRow = new QHBoxLayout(commentCommands);
    commandRow->setContentsMargins(0, 0, 0, 0);
    commandRow->addWidget(new QLabel(QStringLiteral("Remove Comments keeps the comments that begin with"), commentCommands));
    commandRow->addWidget(txtCommands, 1);
    undoLimits = named(new QWidget(this), QStringLiteral("undoLimits"));
    txtUndoSteps = named(new QSpinBox(undoLimits), QStringLiteral("txtUndoSteps"));
    txtUndoSteps->setRange(0, kMostUndoSteps);
    txtUndoMegabytes = named(new QSpinBox(undoLimits), QStringLiteral("txtUndoMegabytes"));
    txtUndoMegabytes->setRange(0, kMostUndoMegabytes);
    txtUndoMegabytes->setToolTip(QStringLiteral("The changes are kept on the disk beside the program's line store."));
    auto *undoRow = new QHBoxLayout(undoLimits);
    undoRow->setContentsMargins(0, 0, 0, 0);
    undoRow->addWidget(new QLabel(QStringLiteral("Undo keeps up to"), undoLimits));
    undoRow->addWidget(txtUndoSteps);
    undoRow->addWidget(new QLabel(QStringLiteral("changes in at most"), undoLimits));
    undoRow->addWidget(txtUndoMegabytes);
    undoRow->addWidget(new QLabel(QStringLiteral("MB of disk"), undoLimits));
    undoRow->addStretch(1);

    // Numbers
    auto *numbers = new QGroupBox(QStringLiteral("Numbers"), this);
    auto *grid = new QGridLayout(numbers);
    Label2 = named(new QLabel(QStringLiteral("Min. places after decimal"), numbers), QStringLiteral("Label2"));
    scrMin = placesBar(numbers, QStringLiteral("scrMin"));
    lblMin = valueLabel(numbers, QStringLiteral("lblMin"));
    Label3 = named(new QLabel(QStringLiteral("Max. places after decimal"), numbers), QStringLiteral("Label3"));
    scrMax = placesBar(numbers, QStringLiteral("scrMax"));
    lblMax = valueLabel(numbers, QStringLiteral("lblMax"));
    Label6 = named(new QLabel(QStringLiteral("Max decimal places for percents"), numbers), QStringLiteral("Label6"));
    Label4 = named(new QLabel(QStringLiteral("Accuracy:"), numbers), QStringLiteral("Label4"));
    scrPer = placesBar(numbers, QStringLiteral("scrPer"));
    lblPer = valueLabel(numbers, QStringLiteral("lblPer"));
    Check2 = named(new QCheckBox(QStringLiteral("Calculate Percents"), numbers), QStringLiteral("Check2"));
    Check1 = named(new QCheckBox(QStringLiteral("Include spaces in positions."), numbers), QStringLiteral("Check1"));
    Check3 = named(new QCheckBox(QStringLiteral("A line feed alone ends a line"), numbers), QStringLiteral("Check3"));
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(scrMin, 0, 1);
    grid->addWidget(lblMin, 0, 2);
    grid->addWidget(Label3, 1, 0);
    grid->addWidget(scrMax, 1, 1);
    grid->addWidget(lblMax, 1, 2);
    grid->addWidget(Label6, 2, 0, 1, 3);
    grid->addWidget(Label4, 3, 0, Qt::AlignRight);
    grid->addWidget(scrPer, 3, 1);
    grid->addWidget(lblPer, 3, 2);
    grid->addWidget(Check2, 4, 0, 1, 3);
    grid->addWidget(Check1, 5, 0, 1, 3);
    grid->addWidget(Check3, 6, 0, 1, 3);
    saveEnds = named(new QComboBox(numbers), QStringLiteral("saveEnds"));
    saveEnds->addItem(QStringLiteral("as the program had them"), int(tessarc::Program::SaveEnds::AsLoaded));
    saveEnds->addItem(QStringLiteral("CR LF"), int(tessarc::Program::SaveEnds::CrLf));
    saveEnds->addItem(QStringLiteral("LF"), int(tessarc::Program::SaveEnds::Lf));
    saveEnds->setToolTip(QStringLiteral("New programs and programs of mixed line ends are saved with CR LF "
                                        "unless LF is chosen."));
    grid->addWidget(new QLabel(QStringLiteral("Save ends lines"), numbers), 7, 0);
    grid->addWidget(saveEnds, 7, 1, 1, 2);

    // Editor colours and font, recent documents
    auto *look = new QGroupBox(QStringLiteral("Editor"), this);
    auto *lookGrid = new QGridLayout(look);
    Label5 = named(new QLabel(QStringLiteral("Fore Color"), look), QStringLiteral("Label5"));
    fColor = named(new ColorButton(look), QStringLiteral("fColor"));
    Label7 = named(new QLabel(QStringLiteral("Back Color"), look), QStringLiteral("Label7"));
    bColor = named(new ColorButton(look), QStringLiteral("bColor"));
    Command2 = named(new QPushButton(QStringLiteral("Set Main Font"), look), QStringLiteral("Command2"));
    clear = named(new QPushButton(QStringLiteral("Clear Recent Documents"), look), QStringLiteral("clear"));
    lookGrid->addWidget(Label5, 0, 0);
    lookGrid->addWidget(fColor, 0, 1);
    lookGrid->addWidget(Label7, 1, 0);
    lookGrid->addWidget(bColor, 1, 1);
    lookGrid->addWidget(Command2, 2, 0, 1, 2);
    lookGrid->addWidget(clear, 3, 0, 1, 2);
    lookGrid->setRowStretch(4, 1);

    // The motion of a program sent to no machine in particular
    motion = named(new QGroupBox(QStringLiteral("Motion"), this), QStringLiteral("motion"));
    motion->setToolTip(QStringLiteral("How programs are read when no machine is chosen; a machine's own setup is "
                                      "kept in Manage Machines."));
    auto *motionGrid = new QGridLayout(motion);
    cboDialect = named(new QComboBox(motion), QStringLiteral("cboDialect"));
    const QStringList dialectCaptions{QStringLiteral("LinuxCNC"), QStringLiteral("Fanuc"), QStringLiteral("GRBL")};
    for (qsizetype i = 0; i < dialectCaptions.size(); ++i)
        cboDialect->addItem(dialectCaptions[i], MotionSettings::dialects()[i]);
    txtRapid = named(new QLineEdit(motion), QStringLiteral("txtRapid"));
    txtAccel = named(new QLineEdit(motion), QStringLiteral("txtAccel"));
    motionGrid->addWidget(new QLabel(QStringLiteral("Dialect"), motion), 0, 0);
    motionGrid->addWidget(cboDialect, 0, 1);
    motionGrid->addWidget(new QLabel(QStringLiteral("Rapid rate (mm/min)"), motion), 1, 0);
    motionGrid->addWidget(txtRapid, 1, 1);
    motionGrid->addWidget(new QLabel(QStringLiteral("Acceleration (mm/s\u00b2)"), motion), 2, 0);
    motionGrid->addWidget(txtAccel, 2, 1);
    txtTolerance = named(new QLineEdit(motion), QStringLiteral("txtTolerance"));
    txtTolerance->setToolTip(QStringLiteral("Compare With... takes two values this close as equal"));
    motionGrid->addWidget(new QLabel(QStringLiteral("Compare tolerance"), motion), 3, 0);
    motionGrid->addWidget(txtTolerance, 3, 1);
    motionGrid->setRowStretch(4, 1);

    // Colour slotGrid, in two columns of four
    Frame1 = named(new QGroupBox(QStringLiteral("Axis Highlights"), this), QStringLiteral("Frame1"));
    auto *slotGrid = new QGridLayout(Frame1);
    for (int i = 0; i < 8; ++i) {
        const int row = i % 4;
        const int col = (i / 4) * 5;
        a[static_cast<size_t>(i)] = named(new QLineEdit(Frame1), QStringLiteral("a%1").arg(i));
        c[static_cast<size_t>(i)] = named(new ColorButton(Frame1), QStringLiteral("c%1").arg(i));
        a[static_cast<size_t>(i)]->setMinimumWidth(a[static_cast<size_t>(i)]->fontMetrics().horizontalAdvance(QStringLiteral("COMMENTSW")) + 12);
        slotGrid->addWidget(new QLabel(QStringLiteral("Axis"), Frame1), row, col);
        slotGrid->addWidget(a[static_cast<size_t>(i)], row, col + 1);
        slotGrid->addWidget(new QLabel(QStringLiteral("Color"), Frame1), row, col + 2);
        slotGrid->addWidget(c[static_cast<size_t>(i)], row, col + 3);
        connect(c[static_cast<size_t>(i)], &QPushButton::clicked, this, [this, i]() { c_Click(i); });
    }
    slotGrid->setColumnMinimumWidth(4, 16);

    Command1 = named(new QPushButton(QStringLiteral("Apply"), this), QStringLiteral("Command1"));
    Command4 = named(new QPushButton(QStringLiteral("Ok"), this), QStringLiteral("Command4"));
    Command3 = named(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("Command3"));
    Command4->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command4);
    buttons->addWidget(Command3);

    auto *middle = new QHBoxLayout;
    middle->addWidget(numbers, 1);
    middle->addWidget(look);
    middle->addWidget(motion);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(Label1);
    outer->addWidget(lineComments);
    outer->addWidget(commentCommands);
    outer->addWidget(undoLimits);
    outer->addLayout(middle);
    outer->addWidget(Frame1);
    outer->addLayout(buttons);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    connect(scrMin, &QScrollBar::valueChanged, this, &Options::scrMin_Change);
    connect(scrMax, &QScrollBar::valueChanged, this, &Options::scrMax_Change);
    connect(scrPer, &QScrollBar::valueChanged, this, &Options::scrPer_Change);
    connect(Command1, &QPushButton::clicked, this, &Options::Command1_Click);
    connect(Command4, &QPushButton::clicked, this, &Options::Command4_Click);
    connect(Command3, &QPushButton::clicked, this, &Options::Command3_Click);
    connect(Command2, &QPushButton::clicked, this, &Options::Command2_Click);
    connect(fColor, &QPushButton::clicked, this, &Options::fColor_Click);
    connect(bColor, &QPushButton::clicked, this, &Options::bColor_Click);
    connect(clear, &QPushButton::clicked, this, &Options::clear_Click);

    Form_Load();
}

int Options::countPattern(const QString &pattern, QChar ch)
{
    return static_cast<int>(std::count(pattern.cbegin() + std::min<qsizetype>(1, pattern.size()), pattern.cend(), ch));
}

void Options::Form_Load()
{
    const GlobalVar &g = m_host.values();
    m_host.applyIcon(this);
    Check1->setChecked(g.numbers.spaces);
    txtStartComment->setText(g.comments.startComment);
    txtEndComment->setText(g.comments.endComment);
    txtLineComment->setText(g.comments.lineComment);
    txtCommands->setText(g.comments.commands);
    txtCommands->setCursorPosition(0); // the list reads from its start
    txtUndoSteps->setValue(g.io.undoSteps);
    txtUndoMegabytes->setValue(g.io.undoMegabytes);
    // A hand-edited picture with more places than the bars hold shows as many as they hold.
    const int zeros = countPattern(g.numbers.outputFormat, QLatin1Char('0'));
    const int hashes = countPattern(g.numbers.outputFormat, QLatin1Char('#'));
    scrMin->setValue(std::min(zeros, kMostPlaces));
    scrMax->setValue(std::min(zeros + hashes, kMostPlaces));
    scrPer->setValue(std::min(countPattern(g.numbers.percentFormat, QLatin1Char('0')), kMostPlaces));
    // The labels follow even where a value did not change.
    scrMin_Change();
    scrMax_Change();
    scrPer_Change();
    Check2->setChecked(g.numbers.calcPercent);
    Check3->setChecked(g.io.lfEndsLine);
    saveEnds->setCurrentIndex(saveEnds->findData(int(g.io.saveEnds)));
    fColor->setColorValue(g.view.lForeColor);
    bColor->setColorValue(g.view.lBackColor);
    for (size_t i = 0; i < 8; ++i) {
        a[i]->setText(g.view.hl[i].axis);
        c[i]->setColorValue(g.view.hl[i].color);
        previewSlot(static_cast<int>(i));
    }
    const FontSetting &f = g.view.mFont;
    cboDialect->setCurrentIndex(std::max(0, cboDialect->findData(g.motion.dialect)));
    txtRapid->setText(QString::number(g.motion.rapid, 'g', QLocale::FloatingPointShortest));
    txtAccel->setText(QString::number(g.motion.accel, 'g', QLocale::FloatingPointShortest));
    txtTolerance->setText(QString::number(g.compare.tolerance, 'g', QLocale::FloatingPointShortest));
    m_font = QFont(f.name);
    m_font.setPointSize(std::max(1, f.size));
    m_font.setBold(f.bold);
    m_font.setItalic(f.italic);
    m_font.setStrikeOut(f.strikethru);
    m_font.setUnderline(f.underline);
}

void Options::previewSlot(int i)
{
    QLineEdit *box = a[static_cast<size_t>(i)];
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, tessarc::toQColor(bColor->colorValue()));
    pal.setColor(QPalette::Text, tessarc::toQColor(c[static_cast<size_t>(i)]->colorValue()));
    box->setPalette(pal);
}

void Options::scrMin_Change()
{
    lblMin->setText(QString::number(scrMin->value()));
    if (scrMin->value() > scrMax->value())
        scrMax->setValue(scrMin->value());
}

void Options::scrMax_Change()
{
    lblMax->setText(QString::number(scrMax->value()));
    if (scrMin->value() > scrMax->value())
        scrMin->setValue(scrMax->value());
}

void Options::scrPer_Change()
{
    lblPer->setText(QString::number(scrPer->value()));
}

bool Options::pickColor(ColorButton *button)
{
    const std::optional<QColor> chosen = m_host.prompts().chooseColor(this, tessarc::toQColor(button->colorValue()));
    if (!chosen)
        return false;
    button->setColorValue(toRgb(*chosen));
    return true;
}

void Options::fColor_Click()
{
    pickColor(fColor);
}

void Options::bColor_Click()
{
    if (pickColor(bColor)) {
        for (int i = 0; i < 8; ++i)
            previewSlot(i);
    }
}

void Options::c_Click(int i)
{
    if (pickColor(c[static_cast<size_t>(i)]))
        previewSlot(i);
}

void Options::Command2_Click()
{
    // The dialog starts from the font chosen so far; a cancelled dialog keeps it.
    if (const std::optional<QFont> chosen = m_host.prompts().chooseFont(this, m_font))
        m_font = *chosen;
}

void Options::clear_Click()
{
    if (m_host.prompts().ask(this, QStringLiteral("Are you sure you want to clear most recent documents?"),
                             m_host.values().brand.programTitle, Prompts::Buttons::YesNo) == Prompts::Answer::No)
        return;
    RecentFiles &recent = m_host.values().recent;
    recent.entries.fill(QString());
    recent.write(m_host.settings());
    m_host.recentFilesChanged();
}

void Options::Command1_Click()
{
    apply();
}

bool Options::apply()
{
    GlobalVar &g = m_host.values();
    SettingsStore &s = m_host.settings();
    TESSARC &editor = m_host.editor();

    // Refused before anything is written: a rate that is not a positive number.
    MotionSettings motionSet;
    motionSet.dialect = cboDialect->currentData().toString();
    const std::pair<QLineEdit *, double *> rates[] = {{txtRapid, &motionSet.rapid}, {txtAccel, &motionSet.accel}};
    for (const auto &[box, value] : rates) {
        bool ok = false;
        *value = box->text().trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(*value) || *value <= 0.0) {
            const QString what = box == txtRapid ? QStringLiteral("The rapid rate") : QStringLiteral("The acceleration");
            m_host.prompts().message(this, QStringLiteral("%1 must be a number above 0; \"%2\" is not one.")
                                               .arg(what, box->text()),
                                     g.brand.programTitle);
            box->setFocus();
            return false;
        }
    }
    CompareSettings compareSet;
    bool toleranceOk = false;
    compareSet.tolerance = txtTolerance->text().trimmed().toDouble(&toleranceOk);
    if (!toleranceOk || !std::isfinite(compareSet.tolerance) || compareSet.tolerance < 0.0) {
        m_host.prompts().message(this, QStringLiteral("The compare tolerance must be a number from 0; \"%1\" is not one.")
                                           .arg(txtTolerance->text()),
                                 g.brand.programTitle);
        txtTolerance->setFocus();
        return false;
    }
    g.motion = motionSet;
    g.motion.write(s);
    g.compare = compareSet;
    g.compare.write(s);

    g.comments.startComment = txtStartComment->text();
    g.comments.endComment = txtEndComment->text();
    g.comments.lineComment = txtLineComment->text();
    g.comments.commands = txtCommands->text();
    g.comments.write(s);
    g.comments.applyTo(editor);

    g.numbers.outputFormat = QStringLiteral("0.") + QString(scrMin->value(), QLatin1Char('0')) +
                             QString(scrMax->value() - scrMin->value(), QLatin1Char('#'));
    g.numbers.percentFormat = QStringLiteral("0.") + QString(scrPer->value(), QLatin1Char('0'));
    g.numbers.calcPercent = Check2->isChecked();
    g.numbers.spaces = Check1->isChecked();
    g.numbers.write(s);
    g.io.lfEndsLine = Check3->isChecked();
    g.io.writeLfEndsLine(s);
    editor.lfEndsLine = g.io.lfEndsLine;
    g.io.saveEnds = static_cast<tessarc::Program::SaveEnds>(saveEnds->currentData().toInt());
    g.io.writeSaveEnds(s);
    editor.program().saveEnds = g.io.saveEnds;
    g.io.undoSteps = txtUndoSteps->value();
    g.io.undoMegabytes = txtUndoMegabytes->value();
    g.io.writeUndoLimits(s);
    editor.program().history().setLimits(g.io.undoSteps, qint64(g.io.undoMegabytes) * 1024 * 1024);

    FontSetting &f = g.view.mFont;
    f.bold = m_font.bold();
    f.italic = m_font.italic();
    f.name = m_font.family();
    const double points = m_font.pointSizeF() > 0 ? m_font.pointSizeF() : f.size;
    f.size = std::max(1, static_cast<int>(std::nearbyint(points)));
    f.strikethru = m_font.strikeOut();
    f.underline = m_font.underline();
    g.view.writeEditorFont(s);
    g.view.lForeColor = fColor->colorValue();
    g.view.lBackColor = bColor->colorValue();
    g.view.writeColors(s);
    for (size_t i = 0; i < 8; ++i) {
        g.view.hl[i].axis = a[i]->text();
        g.view.hl[i].color = c[i]->colorValue();
    }
    g.view.writeSlots(s);
    s.sync();
    g.view.applyTo(editor);
    return true;
}

void Options::Command4_Click()
{
    if (apply())
        close();
}

void Options::Command3_Click()
{
    close();
}
