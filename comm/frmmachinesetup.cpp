#include "frmmachinesetup.h"

#include "commerror.h"
#include "globalvar.h"
#include "host.h"
#include "prompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <iterator>
#include <optional>
#include <tuple>
#include <utility>

using comm::ControlError;

namespace {

template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString numberText(double value)
{
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// A field's number; empty reads as 0.
std::optional<double> numberOf(const QString &text)
{
    const QString bare = text.trimmed();
    if (bare.isEmpty())
        return 0.0;
    bool ok = false;
    const double value = bare.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString notANumber(const QString &field, const QString &text)
{
    return QStringLiteral("%1: \"%2\" is not a number.").arg(field, text);
}

const char *const kColumnTitles[] = {"Limited", "Min", "Max", "Rapid (mm/min)", "Max feed (mm/min)",
                                     "Accel (mm/s\u00b2)"};

} // namespace

frmMachineSetup::frmMachineSetup(Host &host, const comm::MachineFolder &folder, const QString &machine, QWidget *parent)
    : QDialog(parent ? parent : host.mainWindow()), m_host(host), m_folder(folder), m_machine(machine)
{
    setObjectName(QStringLiteral("frmMachineSetup"));
    setWindowTitle(QStringLiteral("Setup of %1").arg(machine));
    setModal(true);

    cboDialect = named(new QComboBox(this), "cboDialect");
    cboDialect->addItem(QStringLiteral("LinuxCNC"), int(interp::Dialect::LinuxCnc));
    cboDialect->addItem(QStringLiteral("Fanuc"), int(interp::Dialect::Fanuc));
    cboDialect->addItem(QStringLiteral("GRBL"), int(interp::Dialect::Grbl));
    chkLathe = named(new QCheckBox(QStringLiteral("&Lathe: X words are diameters"), this), "chkLathe");
    txtNDigits = named(new QLineEdit(this), "txtNDigits");
    txtNDigits->setToolTip(QStringLiteral("The most digits an N word may have, 0 to %1; 0: no limit.").arg(interp::kMostNDigits));
    txtSpindleMax = named(new QLineEdit(this), "txtSpindleMax");
    txtSpindleMax->setToolTip(QStringLiteral("0: no limit."));
    txtToolChangeSeconds = named(new QLineEdit(this), "txtToolChangeSeconds");
    txtArcTolerance = named(new QLineEdit(this), "txtArcTolerance");
    txtArcTolerance->setToolTip(QStringLiteral("How far an arc's end may lie off its circle."));
    txtDefaultRapid = named(new QLineEdit(this), "txtDefaultRapid");
    txtDefaultRapid->setToolTip(QStringLiteral("For an axis with no rapid rate of its own."));
    txtDefaultAccel = named(new QLineEdit(this), "txtDefaultAccel");
    txtDefaultAccel->setToolTip(QStringLiteral("For an axis with no acceleration of its own."));
    txtRetract = named(new QLineEdit(this), "txtRetract");
    txtRetract->setToolTip(QStringLiteral("The block that takes the tool clear before a restart's approach."));
    txtToolChange = named(new QLineEdit(this), "txtToolChange");
    txtToolChange->setToolTip(QStringLiteral("How a tool is changed: # stands for the tool's number."));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("&Dialect:"), cboDialect);
    form->addRow(QString(), chkLathe);
    form->addRow(QStringLiteral("&N digits:"), txtNDigits);
    form->addRow(QStringLiteral("&Spindle top speed (rpm):"), txtSpindleMax);
    form->addRow(QStringLiteral("&Tool change (seconds):"), txtToolChangeSeconds);
    form->addRow(QStringLiteral("&Arc tolerance (mm):"), txtArcTolerance);
    form->addRow(QStringLiteral("Default &rapid (mm/min):"), txtDefaultRapid);
    form->addRow(QStringLiteral("Default a&ccel (mm/s\u00b2):"), txtDefaultAccel);
    form->addRow(QStringLiteral("R&etract block:"), txtRetract);
    form->addRow(QStringLiteral("Tool-c&hange block:"), txtToolChange);

    axes = named(new QTableWidget(interp::kAxes, Columns, this), "axes");
    QStringList titles;
    for (const char *title : kColumnTitles)
        titles << QString::fromUtf8(title);
    axes->setHorizontalHeaderLabels(titles);
    QStringList letters;
    for (int i = 0; i < interp::kAxes; ++i)
        letters << QString(QLatin1Char(interp::axisLetter(i)));
    axes->setVerticalHeaderLabels(letters);
    axes->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    axes->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    // Wide enough for every column and tall enough for every axis, with no scrolling.
    axes->setMinimumSize(620, 10 * (fontMetrics().height() + 8) + 8);
    axes->setToolTip(QStringLiteral("Travel in machine coordinates, checked only where Limited is ticked; a rate or "
                                    "acceleration of 0 is the default one, a max feed of 0 no limit."));
    for (int row = 0; row < interp::kAxes; ++row) {
        auto *limited = new QTableWidgetItem;
        limited->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        axes->setItem(row, Limited, limited);
        for (int column = Min; column < Columns; ++column)
            axes->setItem(row, column, new QTableWidgetItem);
    }

    cmdOK = named(new QPushButton(QStringLiteral("OK"), this), "cmdOK");
    cmdCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel");
    cmdOK->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    chkDncEnabled = named(new QCheckBox(QStringLiteral("&Serve this machine with the DNC server (vornexa --dnc)"), this),
                          "chkDncEnabled");
    txtDncPrograms = named(new QLineEdit(this), "txtDncPrograms");
    txtDncPrograms->setPlaceholderText(QStringLiteral("dnc/%1").arg(machine));
    txtDncReceived = named(new QLineEdit(this), "txtDncReceived");
    txtDncReceived->setPlaceholderText(QStringLiteral("dnc/%1/received").arg(machine));
    txtDncExtension = named(new QLineEdit(this), "txtDncExtension");
    txtDncRequestLines = named(new QLineEdit(this), "txtDncRequestLines");
    txtDncRequestLines->setToolTip(QStringLiteral("How many of the first lines a machine sends may hold a request."));
    txtDncRequestDelay = named(new QLineEdit(this), "txtDncRequestDelay");
    txtDncRequestDelay->setToolTip(QStringLiteral("Time for the operator to switch the control to receive."));
    txtDncQuietSeconds = named(new QLineEdit(this), "txtDncQuietSeconds");
    txtDncQuietSeconds->setToolTip(QStringLiteral("A capture still without its end after this long quiet is kept as FAILED."));
    cboDncFileName = named(new QComboBox(this), "cboDncFileName");
    cboDncFileName->addItem(QStringLiteral("Its program number (O1234)"), QByteArray("number"));
    cboDncFileName->addItem(QStringLiteral("Its name <NAME>, else its number"), QByteArray("name"));
    txtDncDigits = named(new QLineEdit(this), "txtDncDigits");
    txtDncBackups = named(new QLineEdit(this), "txtDncBackups");
    chkDncDripFeed = named(new QCheckBox(QStringLiteral("&Drip feed: sends paced by XON/XOFF, whatever the handshake"), this),
                           "chkDncDripFeed");
    txtDncRequests = named(new QPlainTextEdit(this), "txtDncRequests");
    txtDncRequests->setToolTip(QStringLiteral("One request pattern a line, tried in order: how|folder|expression, where how is "
                                              "name, extension or number, the folder is empty for the machine's own, and the "
                                              "expression's first group is the program's name."));
    txtDncRequests->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtDncRequests->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    txtDncRequests->setTabChangesFocus(true);
    auto *dncForm = new QFormLayout;
    dncForm->addRow(QString(), chkDncEnabled);
    dncForm->addRow(QStringLiteral("&Programs folder:"), txtDncPrograms);
    dncForm->addRow(QStringLiteral("&Captures folder:"), txtDncReceived);
    dncForm->addRow(QStringLiteral("File &extension:"), txtDncExtension);
    dncForm->addRow(QStringLiteral("Request in the first &lines:"), txtDncRequestLines);
    dncForm->addRow(QStringLiteral("Request &delay (seconds):"), txtDncRequestDelay);
    dncForm->addRow(QStringLiteral("&Quiet ends a capture (seconds):"), txtDncQuietSeconds);
    dncForm->addRow(QStringLiteral("Capture &filed under:"), cboDncFileName);
    dncForm->addRow(QStringLiteral("Program number di&gits:"), txtDncDigits);
    dncForm->addRow(QStringLiteral("&Backups kept:"), txtDncBackups);
    dncForm->addRow(QString(), chkDncDripFeed);
    dncForm->addRow(QStringLiteral("Request &patterns:"), txtDncRequests);

    auto *machinePage = new QWidget(this);
    auto *machineLayout = new QVBoxLayout(machinePage);
    machineLayout->addLayout(form);
    machineLayout->addWidget(axes, 1);
    auto *dncPage = new QWidget(this);
    dncPage->setLayout(dncForm);
    auto *pages = named(new QTabWidget(this), "pages");
    pages->addTab(machinePage, QStringLiteral("&Machine"));
    pages->addTab(dncPage, QStringLiteral("D&NC"));

    // Tab goes through a page's fields, then to OK and Cancel.
    QWidget::setTabOrder(axes, chkDncEnabled);
    QWidget::setTabOrder(txtDncRequests, cmdOK);
    QWidget::setTabOrder(cmdOK, cmdCancel);

    auto *outer = new QVBoxLayout(this);
    outer->addWidget(pages, 1);
    outer->addLayout(buttons);

    connect(cmdOK, &QPushButton::clicked, this, &frmMachineSetup::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    Form_Load();
}

void frmMachineSetup::say(const QString &text)
{
    m_host.prompts().message(this, text, m_host.values().brand.programTitle);
}

void frmMachineSetup::Form_Load()
{
    m_host.applyIcon(this);
    QString warning;
    showSetup(m_folder.readSetup(m_machine, warning));
    if (!warning.isEmpty())
        say(warning);
}

void frmMachineSetup::showSetup(const interp::MachineSetup &s)
{
    cboDialect->setCurrentIndex(cboDialect->findData(int(s.dialect)));
    chkLathe->setChecked(s.lathe);
    txtNDigits->setText(QString::number(s.nDigits));
    txtSpindleMax->setText(numberText(s.spindleMax));
    txtToolChangeSeconds->setText(numberText(s.toolChangeSeconds));
    txtArcTolerance->setText(numberText(s.arcTolerance));
    txtDefaultRapid->setText(numberText(s.defaultRapid));
    txtDefaultAccel->setText(numberText(s.defaultAccel));
    txtRetract->setText(QString::fromLatin1(s.retract));
    txtToolChange->setText(QString::fromLatin1(s.toolChange));
    const interp::DncSetup &d = s.dnc;
    chkDncEnabled->setChecked(d.enabled);
    txtDncPrograms->setText(QString::fromLocal8Bit(d.programs));
    txtDncReceived->setText(QString::fromLocal8Bit(d.received));
    txtDncExtension->setText(QString::fromLatin1(d.extension));
    txtDncRequestLines->setText(QString::number(d.requestLines));
    txtDncRequestDelay->setText(numberText(d.requestDelay));
    txtDncQuietSeconds->setText(numberText(d.quietSeconds));
    cboDncFileName->setCurrentIndex(std::max(0, cboDncFileName->findData(d.fileName)));
    txtDncDigits->setText(QString::number(d.digits));
    txtDncBackups->setText(QString::number(d.backups));
    chkDncDripFeed->setChecked(d.dripFeed);
    QStringList patterns;
    for (const QByteArray &pattern : d.requests) {
        if (!pattern.isEmpty())
            patterns << QString::fromLatin1(pattern);
    }
    txtDncRequests->setPlainText(patterns.join(QLatin1Char('\n')));
    for (int row = 0; row < interp::kAxes; ++row) {
        const interp::AxisSetup &a = s.axes[static_cast<std::size_t>(row)];
        axes->item(row, Limited)->setCheckState(a.limited ? Qt::Checked : Qt::Unchecked);
        const double values[] = {a.min, a.max, a.rapid, a.maxFeed, a.accel};
        for (int column = Min; column < Columns; ++column)
            axes->item(row, column)->setText(numberText(values[column - Min]));
    }
}

std::optional<interp::MachineSetup> frmMachineSetup::fieldsSetup(QString &refusal) const
{
    interp::MachineSetup s;
    s.dialect = static_cast<interp::Dialect>(cboDialect->currentData().toInt());
    s.lathe = chkLathe->isChecked();

    const QString digits = txtNDigits->text().trimmed();
    bool ok = digits.isEmpty();
    if (!ok)
        s.nDigits = digits.toInt(&ok);
    if (!ok) {
        refusal = QStringLiteral("N digits: \"%1\" is not a whole number.").arg(txtNDigits->text());
        return std::nullopt;
    }
    const std::pair<QLineEdit *, double *> numbers[] = {
        {txtSpindleMax, &s.spindleMax},     {txtToolChangeSeconds, &s.toolChangeSeconds},
        {txtArcTolerance, &s.arcTolerance}, {txtDefaultRapid, &s.defaultRapid},
        {txtDefaultAccel, &s.defaultAccel},
    };
    const char *const captions[] = {"Spindle top speed", "Tool change", "Arc tolerance", "Default rapid",
                                    "Default accel"};
    for (std::size_t i = 0; i < std::size(numbers); ++i) {
        const std::optional<double> value = numberOf(numbers[i].first->text());
        if (!value) {
            refusal = notANumber(QString::fromLatin1(captions[i]), numbers[i].first->text());
            return std::nullopt;
        }
        *numbers[i].second = *value;
    }
    // A block holds bytes; a character past Latin-1 is not one.
    for (const auto &[box, block, caption] :
         {std::tuple{txtRetract, &s.retract, "Retract block"}, std::tuple{txtToolChange, &s.toolChange, "Tool-change block"}}) {
        const QString text = box->text().trimmed();
        for (QChar c : text) {
            if (c.unicode() > 0xFF) {
                refusal = QStringLiteral("%1: the character \"%2\" cannot be part of a block.").arg(QLatin1String(caption), c);
                return std::nullopt;
            }
        }
        *block = text.toLatin1();
    }
    interp::DncSetup &d = s.dnc;
    d.enabled = chkDncEnabled->isChecked();
    d.dripFeed = chkDncDripFeed->isChecked();
    d.fileName = cboDncFileName->currentData().toByteArray();
    d.programs = txtDncPrograms->text().trimmed().toLocal8Bit();
    d.received = txtDncReceived->text().trimmed().toLocal8Bit();
    d.extension = txtDncExtension->text().trimmed().toLatin1();
    for (const auto &[box, value, caption] : {std::tuple{txtDncRequestLines, &d.requestLines, "Request in the first lines"},
                                              std::tuple{txtDncDigits, &d.digits, "Program number digits"},
                                              std::tuple{txtDncBackups, &d.backups, "Backups kept"}}) {
        bool whole = false;
        *value = box->text().trimmed().toInt(&whole);
        if (!whole) {
            refusal = QStringLiteral("%1: \"%2\" is not a whole number.").arg(QLatin1String(caption), box->text());
            return std::nullopt;
        }
    }
    for (const auto &[box, value, caption] : {std::tuple{txtDncRequestDelay, &d.requestDelay, "Request delay"},
                                              std::tuple{txtDncQuietSeconds, &d.quietSeconds, "Quiet ends a capture"}}) {
        const std::optional<double> number = numberOf(box->text());
        if (!number) {
            refusal = notANumber(QLatin1String(caption), box->text());
            return std::nullopt;
        }
        *value = *number;
    }
    const QStringList patterns = txtDncRequests->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (patterns.size() > qsizetype(d.requests.size())) {
        refusal = QStringLiteral("Request patterns: %1 are given; a machine has %2 at most.").arg(patterns.size()).arg(d.requests.size());
        return std::nullopt;
    }
    d.requests = {};
    for (qsizetype i = 0; i < patterns.size(); ++i)
        d.requests[std::size_t(i)] = patterns[i].trimmed().toLatin1();
    for (int row = 0; row < interp::kAxes; ++row) {
        interp::AxisSetup &a = s.axes[static_cast<std::size_t>(row)];
        a.limited = axes->item(row, Limited)->checkState() == Qt::Checked;
        double *const values[] = {&a.min, &a.max, &a.rapid, &a.maxFeed, &a.accel};
        for (int column = Min; column < Columns; ++column) {
            const QString text = axes->item(row, column)->text();
            const std::optional<double> value = numberOf(text);
            if (!value) {
                refusal = notANumber(QStringLiteral("%1 of axis %2").arg(QString::fromUtf8(kColumnTitles[column]))
                                         .arg(QLatin1Char(interp::axisLetter(row))),
                                     text);
                return std::nullopt;
            }
            *values[column - Min] = *value;
        }
    }
    return s;
}

void frmMachineSetup::cmdOK_Click()
{
    QString refusal;
    const std::optional<interp::MachineSetup> setup = fieldsSetup(refusal);
    if (!setup) {
        say(refusal);
        return;
    }
    if (const std::optional<QString> problem = setup->problem()) {
        say(QStringLiteral("The setup cannot be saved: %1.").arg(*problem));
        return;
    }
    try {
        m_folder.writeSetup(m_machine, *setup);
    } catch (const ControlError &error) {
        // The fields stay as they are, to be saved again once the cause is put right.
        m_host.prompts().warning(this, QStringLiteral("ERROR"), comm::errorText(error));
        return;
    }
    accept();
}
