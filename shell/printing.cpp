#include "printing.h"

#include "controlerror.h"
#include "eventpump.h"
#include "globalvar.h"
#include "host.h"
#include "linestore.h"
#include "notation.h"
#include "operation.h"
#include "prompts.h"
#include "settingsstore.h"
#include "tessarc.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>

#include <optional>
#include "safefile.h"
#include <QTextLayout>

#include <cmath>
#include <new>

namespace printing {

namespace {

// Body lines between two reports of the progress.
constexpr qint64 kProgressEvery = 64;

const QString kAbortText = QStringLiteral("Error in line numbers. Aborting printing.");

// Leaves the body early.
struct Stop
{
};

// Lays a listing out line by line on the pages of a device, with a new page whenever the next
// line would not fit and a line too wide for the page wrapped onto the next ones.
class PageWriter
{
public:
    PageWriter(QPainter &painter, QPagedPaintDevice &device)
        : m_painter(painter), m_device(device), m_metrics(painter.font(), &device), m_width(device.width()),
          m_height(device.height())
    {
    }

    int pages() const { return m_pages; }

    // Starts a page of its own; false when the device refuses.
    bool newPage()
    {
        if (!m_device.newPage())
            return false;
        ++m_pages;
        m_y = 0;
        return true;
    }

    // False when the device refuses a new page.
    bool put(const QString &text)
    {
        if (m_metrics.horizontalAdvance(text) <= m_width)
            return putPiece(text);
        // Too wide: broken at word boundaries where it can be, anywhere where it cannot.
        QTextLayout layout(text, m_painter.font(), &m_device);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        QStringList pieces;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(m_width);
            pieces.append(text.mid(line.textStart(), line.textLength()));
        }
        layout.endLayout();
        for (const QString &piece : pieces) {
            if (!putPiece(piece))
                return false;
        }
        return true;
    }

private:
    bool putPiece(const QString &piece)
    {
        if (m_y > 0 && m_y + m_metrics.lineSpacing() > m_height && !newPage())
            return false;
        m_painter.drawText(QPointF(0, m_y + m_metrics.ascent()), piece);
        m_y += m_metrics.lineSpacing();
        return true;
    }

    QPainter &m_painter;
    QPagedPaintDevice &m_device;
    QFontMetricsF m_metrics;
    qreal m_width;
    qreal m_height;
    qreal m_y = 0;
    int m_pages = 1;
};

// Paints every copy of the listing with a painter already begun on `device`.
PrintResult layOut(QPainter &painter, QPagedPaintDevice &device, const Listing &listing, const QFont &font, int copies,
                   const PrintProgress &progress)
{
    PrintResult result;
    painter.setFont(font);
    PageWriter pages(painter, device);
    const qint64 total = listing.bodyLines * copies;
    qint64 done = 0;
    const QString refused = QStringLiteral("The printer did not take a new page.");
    const std::optional<QString> failure = tessarc::failureOf([&] {
        for (int copy = 0; copy < copies; ++copy) {
            bool ok = copy == 0 || pages.newPage();
            for (const QString &line : listing.header)
                ok = ok && pages.put(line);
            if (!ok) {
                result.end = PrintEnd::Failed;
                result.failure = refused;
                break;
            }
            if (listing.body) {
                listing.body([&](const QString &line) {
                    if (progress && done % kProgressEvery == 0 && !progress(done, total)) {
                        result.end = PrintEnd::Cancelled;
                        return false;
                    }
                    ++done;
                    if (!pages.put(line)) {
                        result.end = PrintEnd::Failed;
                        result.failure = refused;
                        return false;
                    }
                    return true;
                });
            }
            if (result.end != PrintEnd::Done)
                break;
            for (const QString &line : listing.footer)
                ok = ok && pages.put(line);
            if (!ok) {
                result.end = PrintEnd::Failed;
                result.failure = refused;
                break;
            }
        }
    });
    if (failure) {
        result.end = PrintEnd::Failed;
        result.failure = *failure + QLatin1Char('.');
    }
    result.pages = pages.pages();
    return result;
}

// Lays `listing` out on the pages of `device`, which must not be in use.
PrintResult paintListing(QPagedPaintDevice &device, const Listing &listing, const QFont &font, int copies,
                         const PrintProgress &progress)
{
    QPainter painter;
    if (!painter.begin(&device))
        return {PrintEnd::Failed, QStringLiteral("The printout could not be started."), 0};
    const PrintResult result = layOut(painter, device, listing, font, copies, progress);
    painter.end();
    return result;
}

// A4, or Letter where the system measures in inches, with margins of 15 mm.
QPageLayout pdfPageLayout()
{
    const QPageSize size(QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                                             : QPageSize::A4);
    return QPageLayout(size, QPageLayout::Portrait, QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
}

PrintResult printToPrinter(const QPrinterInfo &info, const QString &documentName, const Listing &listing,
                           const QFont &font, int copies, const PrintProgress &progress)
{
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setDocName(documentName);
    // The system makes the copies when it can; otherwise every copy is printed in turn.
    int printed = copies;
    if (printer.supportsMultipleCopies()) {
        printer.setCopyCount(copies);
        printed = 1;
    }
    QPainter painter;
    if (!painter.begin(&printer))
        return {PrintEnd::Failed, QStringLiteral("The printer %1 could not be started.").arg(info.printerName()), 0};
    PrintResult result = layOut(painter, printer, listing, font, printed, progress);
    if (result.end != PrintEnd::Done)
        printer.abort();
    painter.end();
    if (result.end == PrintEnd::Done && printer.printerState() == QPrinter::Error) {
        result.end = PrintEnd::Failed;
        result.failure = QStringLiteral("The printer %1 reported an error.").arg(info.printerName());
    }
    return result;
}

// The progress of a printout in a small window with a Cancel button; the events are let through
// at most every few tens of milliseconds.
class ProgressBox
{
public:
    ProgressBox(QWidget *parent, const QString &title, const QString &what)
        : m_box(what, QStringLiteral("Cancel"), 0, 1000, parent), m_pump(30)
    {
        m_box.setWindowTitle(title);
        m_box.setWindowModality(Qt::NonModal);
        m_box.setMinimumDuration(500);
        m_box.setAutoClose(false);
        m_box.setAutoReset(false);
        m_box.setValue(0);
    }

    bool operator()(qint64 done, qint64 total)
    {
        if (!m_clock.isValid() || m_clock.elapsed() >= 30) {
            m_box.setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
            m_pump.now();
            m_clock.restart();
        }
        return !m_box.wasCanceled();
    }

private:
    QProgressDialog m_box;
    tessarc::EventPump m_pump;
    QElapsedTimer m_clock;
};

// A whole number from an answer: its leading number, rounded half to even.
double roundedAnswer(ReadNumber readNumber, const std::optional<QString> &answer)
{
    return std::nearbyint(readNumber(answer.value_or(QString())));
}

} // namespace

PrintResult printToPdf(const QString &path, const Listing &listing, const QFont &font, int copies,
                       const PrintProgress &progress)
{
    const QString shown = QDir::toNativeSeparators(path);
    tessarc::SafeFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {PrintEnd::Failed, QStringLiteral("%1 could not be written: %2").arg(shown, file.errorString()), 0};
    PrintResult result;
    {
        QPdfWriter pdf(&file);
        pdf.setPageLayout(pdfPageLayout());
        pdf.setTitle(QFileInfo(path).completeBaseName());
        pdf.setCreator(QCoreApplication::applicationName());
        result = paintListing(pdf, listing, font, copies, progress);
    }
    if (result.end != PrintEnd::Done) {
        file.cancelWriting();
        return result;
    }
    // Written aside, the file replaces what was there only once every byte is out.
    if (!file.commit()) {
        result.end = PrintEnd::Failed;
        result.failure = QStringLiteral("%1 could not be written: %2").arg(shown, file.errorString());
    }
    return result;
}

QString defaultPrinterName()
{
    return QPrinterInfo::defaultPrinter().printerName();
}

QFont printFont(Host &host)
{
    const FontSetting &p = host.values().view.pFont;
    QFont font(p.name);
    font.setPointSize(std::max(1, p.size));
    font.setBold(p.bold);
    font.setItalic(p.italic);
    return font;
}

std::optional<QFont> choosePrintFont(Host &host, QWidget *parent)
{
    const QString title = host.values().brand.programTitle;
    host.prompts().message(parent, QStringLiteral("Please Choose a Font."), title);
    FontSetting &p = host.values().view.pFont;
    QFont preset = printFont(host);
    preset.setStrikeOut(p.strikethru);
    preset.setUnderline(p.underline);
    const std::optional<QFont> chosen = host.prompts().chooseFont(parent, preset);
    if (chosen) {
        p.bold = chosen->bold();
        p.italic = chosen->italic();
        p.name = chosen->family();
        if (chosen->pointSizeF() > 0)
            p.size = static_cast<int>(std::nearbyint(chosen->pointSizeF()));
        p.strikethru = chosen->strikeOut();
        p.underline = chosen->underline();
    }
    // The settings change as soon as the dialog closes, even when printing is then abandoned.
    host.values().view.writePrinterFont(host.settings());
    host.settings().sync();
    // Cancel keeps the preset font, and printing goes on with it.
    return printFont(host);
}

std::optional<int> askCopies(Host &host, QWidget *parent, ReadNumber readNumber)
{
    const QString title = host.values().brand.programTitle;
    const double copies =
        roundedAnswer(readNumber, host.prompts().input(parent, QStringLiteral("Please enter the number of copies you would like to print:"),
                                           QStringLiteral("Copies"), QStringLiteral("1")));
    if (!(copies >= 1)) {
        host.prompts().message(parent, kAbortText, title);
        return std::nullopt;
    }
    if (copies > kMaxCopies) {
        host.prompts().message(parent,
                               QStringLiteral("No more than %1 copies can be printed at once. Aborting printing.").arg(kMaxCopies),
                               title);
        return std::nullopt;
    }
    return static_cast<int>(copies);
}

void printListing(Host &host, QWidget *parent, const Listing &listing, const QFont &font, int copies,
                  const QString &documentName)
{
    Prompts &prompts = host.prompts();
    const QString title = host.values().brand.programTitle;
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (!printer.isNull()) {
        std::optional<ProgressBox> box(std::in_place, parent, title,
                                       QStringLiteral("Printing %1 on %2...").arg(documentName, printer.printerName()));
        const PrintResult result = printToPrinter(printer, documentName, listing, font, copies, std::ref(*box));
        box.reset(); // closed before any message
        if (result.end == PrintEnd::Failed)
            prompts.message(parent, QStringLiteral("The listing was not printed. ") + result.failure, title);
        return;
    }

    // No printer: the same pages go to a PDF file.
    const QString remembered = host.values().folders.lastDirSave;
    const QDir folder(QFileInfo(remembered).isDir() ? remembered : QDir::homePath());
    // The dialog opens in that folder with the name filled in.
    QString chosen = prompts.saveFileName(parent, folder.filePath(documentName + QStringLiteral(".pdf")));
    if (chosen.isEmpty())
        return;
    if (QFileInfo(chosen).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        chosen += QStringLiteral(".pdf");
    if (QFileInfo::exists(chosen) &&
        prompts.ask(parent, QStringLiteral("File already exists, would you like to overwrite?"), QStringLiteral("Overwrite?"),
                    Prompts::Buttons::YesNo) != Prompts::Answer::Yes)
        return;
    std::optional<ProgressBox> box(std::in_place, parent, title,
                                   QStringLiteral("Writing %1...").arg(QDir::toNativeSeparators(chosen)));
    const PrintResult result = printToPdf(chosen, listing, font, copies, std::ref(*box));
    box.reset(); // closed before any message
    if (result.end == PrintEnd::Failed)
        prompts.message(parent, QStringLiteral("The listing was not printed. ") + result.failure, title);
    else if (result.end == PrintEnd::Done)
        prompts.message(parent,
                        QStringLiteral("No printer is set up, so the listing was written to %1.")
                            .arg(QDir::toNativeSeparators(chosen)),
                        title);
}

void printProgram(Host &host, ReadNumber readNumber)
{
    TESSARC &editor = host.editor();
    QWidget *parent = host.mainWindow();
    const QString title = host.values().brand.programTitle;
    if (editor.lfile.isEmpty()) {
        host.prompts().message(parent, host.values().messages.noFile, title);
        return;
    }
    // What is typed on the page is printed too.
    editor.loadLine(editor.curLine);
    OperationGuard guard(host);
    if (guard.refused())
        return;
    guard.lockView();
    const std::optional<QFont> font = choosePrintFont(host, parent);
    if (!font)
        return;
    const std::optional<int> copies = askCopies(host, parent, readNumber);
    if (!copies)
        return;
    const qint64 total = editor.numberOfLines();
    const double start = roundedAnswer(readNumber, host.prompts().input(
        parent, QStringLiteral("Please enter line number to start printing at:"), QStringLiteral("Start Line"), QStringLiteral("1")));
    const double end = roundedAnswer(readNumber, host.prompts().input(parent, QStringLiteral("Please enter line number to end printing at:"),
                                                          QStringLiteral("End Line"), QString::number(total)));
    if (!(start >= 1) || !(end >= start) || !(end <= static_cast<double>(total))) {
        host.prompts().message(parent, kAbortText, title);
        return;
    }

    Listing listing;
    listing.header = {host.values().brand.productName + QLatin1Char(' ') +
                          QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat),
                      QDir::toNativeSeparators(editor.lfile), QString()};
    const auto first = static_cast<qint64>(start);
    listing.bodyLines = static_cast<qint64>(end) - first + 1;
    listing.body = [&program = editor.program(), first,
                    count = listing.bodyLines](const std::function<bool(const QString &)> &line) {
        tessarc::LineStore lines;
        program.openStore(lines);
        try {
            lines.forEachRecord(tessarc::LineNumber(first), count, [&line](tessarc::LineNumber, QByteArrayView text) {
                if (!line(QString::fromLatin1(tessarc::controlToNotation(text))))
                    throw Stop();
            });
        } catch (const Stop &) {
            // cancelled or refused: the printout says which
        }
    };
    printListing(host, parent, listing, *font, *copies, QFileInfo(editor.lfile).completeBaseName());
}

} // namespace printing
