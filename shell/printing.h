#pragma once

#include <QFont>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <optional>

class Host;
class QWidget;

// Printing listings: the program (File, Print) and the results of Find (List). A listing goes to
// the system's default printer, or, on a machine with no printer, to a PDF file the machinist
// chooses: the same pages in the same font either way. Long lines wrap at the page's edge; the
// header is printed once, at the top of the first page of each copy.
namespace printing {

// What a printout holds, in order: the header, the body, the footer.
struct Listing
{
    QStringList header;
    qint64 bodyLines = 0;
    // Hands the body's lines to `line` in order until it returns false. It may throw a
    // tessarc::ControlError when the line store cannot be read.
    std::function<void(const std::function<bool(const QString &line)> &line)> body;
    QStringList footer;
};

// Told how many body lines of how many have been printed (over all copies), now and then; a
// printout stops when it returns false.
using PrintProgress = std::function<bool(qint64 done, qint64 total)>;

enum class PrintEnd { Done, Cancelled, Failed };

struct PrintResult
{
    PrintEnd end = PrintEnd::Done;
    QString failure; // with Failed: why, in a sentence
    int pages = 0;   // pages laid out, every copy counted
};

// Writes the listing to a PDF file at `path`, `copies` times. The file is written aside and put in
// place only when complete: a cancelled or failed printout leaves whatever was at `path` as it was.
PrintResult printToPdf(const QString &path, const Listing &listing, const QFont &font, int copies,
                       const PrintProgress &progress = {});

// The name of the system's default printer; empty when the machine has none.
QString defaultPrinterName();

// The most copies one printout makes.
constexpr int kMaxCopies = 999;

// The printing font as the FONT / PFONT settings hold it: name, size, bold and italic (underline
// and strikethrough are kept in the settings but not printed).
QFont printFont(Host &host);

// "Please Choose a Font.", then the font dialog, preset from the PFONT settings; the six PFONT
// keys are written back whatever the answer (unchanged when the dialog is cancelled). The chosen
// font; the preset one when the dialog was cancelled, so that printing goes on.
std::optional<QFont> choosePrintFont(Host &host, QWidget *parent);

// How an answer typed into a box is read as a number: the leading-number rule of the number
// routines, which sit above the shell and are handed in by the caller.
using ReadNumber = double (*)(QStringView text);

// The copies box: the leading number of the answer, rounded. Below 1 (a cancelled box too) the
// machinist is told "Error in line numbers. Aborting printing.", above kMaxCopies that there are
// too many; then nothing.
std::optional<int> askCopies(Host &host, QWidget *parent, ReadNumber readNumber);

// Prints a listing on the default printer or, with none, to a PDF file chosen through the save
// dialog (`documentName` suggests its name), showing the progress with a Cancel button. A failure
// is reported; a PDF's place is told. The caller holds the operation lock.
void printListing(Host &host, QWidget *parent, const Listing &listing, const QFont &font, int copies,
                  const QString &documentName);

// File, Print: a range of the program's lines, as stored, after a header of the product name with
// the date and time, the program's path and an empty line. The lock is held from the font dialog
// until the printout has gone or been abandoned, and given back on every path.
void printProgram(Host &host, ReadNumber readNumber);

} // namespace printing
