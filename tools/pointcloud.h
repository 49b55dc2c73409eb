#pragma once

#include "linerewrite.h"
#include "numberwriter.h"
#include "words.h"

#include <QByteArray>
#include <QByteArrayView>
#include "safefile.h"
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

// Export Point Cloud: the tool positions of a range written as a text file of "x,y,z" lines. The
// frame's read-only run hands the export the range's lines one by one; the file appears, whole,
// only when the export is committed.
namespace tools {

// Which lines give a point: the option buttons o1 and o2.
enum class PointsFor {
    EveryLine,    // o1: "Point Saved For Every Line"
    LinesWithXyz, // o2: "Point Saved For Every Line With An X, Y, or Z"
};

// The file name the window proposes for a program: the program's own file name with its extension
// changed to "pc", in the program's folder ("/home/cnc/jobs.2024/part.nc" gives
// "/home/cnc/jobs.2024/part.pc"); a name without an extension gets ".pc" added. A program whose
// extension is already "pc" (in any case) gets ".pc" added too, so the proposal is never the
// program itself.
QString proposedPointCloudName(const QString &programPath);

// Why `target` must not take the export, or nothing when it may: no name given, the open program
// itself, or a line store (the editor's `storePaths`, or any file named as line stores are). The
// same file reached through another name or link counts as the same file.
std::optional<QString> pointCloudTargetRefused(const QString &target, const QString &programPath,
                                               const QStringList &storePaths);

// One export. Each line read sets the current point's X, Y and Z from the first word of each
// letter on it; a coordinate keeps its value until a line sets it again, and all three start at
// 0. A coordinate whose word holds an expression cannot be known here: it keeps its value, and
// the line is counted (guessed()). A point is written for every line (o1), or for every line
// holding a word of X, Y or Z (o2): the three values with the output picture, joined by commas,
// ended by CR LF.
//
// The file is written beside `target` under a temporary name and renamed over it by commit(), so a
// failed or cancelled export leaves no partial file and any old file of that name untouched.
class PointCloudExport
{
public:
    // `rules`: the output picture and the NUMBERS / SPACES setting.
    PointCloudExport(PointsFor which, const LineRules &rules);

    // Starts the file; false, with error(), when it cannot be created.
    bool open(const QString &target);
    // Reads one line; false, with error(), once the file could not be written.
    bool addLine(QByteArrayView line);
    // Puts the finished file in place; false, with error(), when that fails.
    bool commit();
    // Gives up the export: nothing is left behind.
    void cancel();

    QString error() const { return m_error; }
    qint64 points() const { return m_points; }
    // Lines whose X, Y or Z held an expression, so that the point kept the coordinate's last value.
    qint64 guessed() const { return m_guessed; }

private:
    // A coordinate's text as it is written, kept until a line sets the coordinate again.
    struct AxisText
    {
        char bytes[NumberWriter::kLongestNumber];
        int size = 0;
    };

    // Sets a coordinate to `value`.
    bool setAxis(int axis, double value);
    bool writePending();
    bool fail(const QString &what);

    PointsFor m_which;
    NumberWriter m_writer;
    bool m_zeroTooLong = false; // the picture's 0 does not fit a coordinate's text
    tessarc::WordReader m_reader;
    QList<tessarc::Word> m_words; // the words of the line being read
    AxisText m_text[3];
    qint64 m_guessed = 0;
    qint64 m_points = 0;
    tessarc::SafeFile m_file;
    // The text waiting to be written: its first m_pendingSize bytes.
    std::vector<char> m_pending;
    qsizetype m_pendingSize = 0;
    QString m_error;
};

} // namespace tools
