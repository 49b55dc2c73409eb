#include "pointcloud.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

namespace tools {

namespace {

// What is gathered before it goes to the file.
constexpr qsizetype kWriteBlock = 1 << 20;

const char kAxes[3] = {'X', 'Y', 'Z'};

// Whether two paths name one file: the same device and inode when both exist, else the same
// absolute path.
bool sameFile(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

} // namespace

QString proposedPointCloudName(const QString &programPath)
{
    const QFileInfo program(programPath);
    const QString name = program.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString proposed;
    if (dot <= 0 || name.mid(dot + 1).compare(QLatin1String("pc"), Qt::CaseInsensitive) == 0)
        proposed = name + QStringLiteral(".pc");
    else
        proposed = name.left(dot) + QStringLiteral(".pc");
    const qsizetype slash = programPath.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? proposed : programPath.left(slash + 1) + proposed;
}

std::optional<QString> pointCloudTargetRefused(const QString &target, const QString &programPath,
                                               const QStringList &storePaths)
{
    if (target.trimmed().isEmpty())
        return QStringLiteral("Please choose a file to export the point cloud to.");
    if (sameFile(target, programPath))
        return QStringLiteral("The point cloud cannot be written over the open program. Please choose another file.");
    const bool store = QFileInfo(target).fileName().endsWith(QLatin1String(".qen.tmp"))
                       || std::any_of(storePaths.begin(), storePaths.end(),
                                      [&target](const QString &path) { return sameFile(target, path); });
    if (store)
        return QStringLiteral("The point cloud cannot be written over a line store of the editor. Please choose "
                              "another file.");
    return std::nullopt;
}

PointCloudExport::PointCloudExport(PointsFor which, const LineRules &rules)
    : m_which(which), m_writer(rules.outputFormat), m_spaces(rules.spaces)
{
    // The pictures the writer writes directly: whole zeros, then perhaps a point, zeros and #s.
    static const QRegularExpression simple(QStringLiteral("^(0+)(\\.(0*)(#*))?$"));
    const QRegularExpressionMatch m = simple.match(rules.outputFormat);
    m_plainCopies = m.hasMatch() && m_writer.direct() && rules.outputFormat.size() < NumberWriter::kLongestNumber / 2;
    if (m_plainCopies) {
        m_integerZeros = static_cast<int>(m.capturedLength(1));
        m_withPoint = m.capturedLength(2) > 0;
        m_decimalZeros = static_cast<int>(m.capturedLength(3));
        m_places = m_decimalZeros + static_cast<int>(m.capturedLength(4));
    }
    // Each coordinate starts at 0.
    for (int i = 0; i < 3; ++i) {
        QByteArray zero;
        m_writer.append(0.0, zero);
        m_text[i].size = static_cast<int>(std::min<qsizetype>(zero.size(), NumberWriter::kLongestNumber));
        std::memcpy(m_text[i].bytes, zero.constData(), static_cast<std::size_t>(m_text[i].size));
    }
}

bool PointCloudExport::open(const QString &target)
{
    m_file.setFileName(target);
    // Unbuffered, so every write's failure shows at once: a buffered write that fails only when
    // the file is closed would not stop the rename.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(m_file.errorString());
    m_pending.resize(static_cast<std::size_t>(kWriteBlock + 3 * NumberWriter::kLongestNumber + 8));
    m_pendingSize = 0;
    return true;
}

int PointCloudExport::copyPlainNumber(QByteArrayView line, qsizetype letterAt, char *out) const
{
    PlainDecimal number;
    // More decimals than the picture keeps need rounding: the writer does that.
    if (!m_plainCopies || !readPlainDecimal(line, letterAt, m_spaces, number) || number.decimalDigits > m_places)
        return -1;
    char *const start = out;
    if (number.negative && number.wholeDigits + number.decimalDigits > 0)
        *out++ = '-';
    for (int k = number.wholeDigits; k < m_integerZeros; ++k)
        *out++ = '0';
    // Whole blocks are copied (the room allows it); only the digits are kept.
    std::memcpy(out, number.digits, 16);
    out += number.wholeDigits;
    if (m_withPoint) {
        *out++ = '.';
        std::memcpy(out, number.digits + number.wholeDigits, 16);
        out += number.decimalDigits;
        for (int k = number.decimalDigits; k < m_decimalZeros; ++k)
            *out++ = '0';
    }
    return static_cast<int>(out - start);
}

bool PointCloudExport::setAxis(int axis, QByteArrayView line)
{
    const int index = kAxes[axis] - 'A';
    AxisText &text = m_text[axis];
    const int copied = copyPlainNumber(line, m_scan.position(index), text.bytes);
    if (copied >= 0) {
        text.size = copied;
        return true;
    }
    // A letter with no number after it ("(FIXTURE)", "(x)") names no position: the coordinate
    // keeps its value.
    const NumberText number = m_scan.number(index);
    if (!number.digits)
        return true;
    const double value = number.value();
    int size = -1;
    if (m_writer.direct()) {
        size = m_writer.write(value, text.bytes);
    } else {
        QByteArray written;
        if (m_writer.append(value, written) && written.size() <= NumberWriter::kLongestNumber) {
            size = static_cast<int>(written.size());
            std::memcpy(text.bytes, written.constData(), static_cast<std::size_t>(size));
        }
    }
    if (size < 0)
        return fail(QStringLiteral("the %1 value of a line is too large to be written").arg(kAxes[axis]));
    text.size = size;
    return true;
}

bool PointCloudExport::addLine(QByteArrayView line)
{
    if (!m_error.isEmpty())
        return false;
    constexpr quint32 xyz = letterBit('X') | letterBit('Y') | letterBit('Z');
    m_scan.read(line, m_spaces, xyz);
    for (int i = 0; i < 3; ++i) {
        if (m_scan.found(kAxes[i] - 'A') && !setAxis(i, line))
            return false;
    }
    if (m_which == PointsFor::LinesWithXyz && !(m_scan.found() & xyz))
        return true;
    // The point's line: the three texts joined by commas, ended by CR LF.
    char *to = m_pending.data() + m_pendingSize;
    for (int i = 0; i < 3; ++i) {
        std::memcpy(to, m_text[i].bytes, static_cast<std::size_t>(m_text[i].size));
        to += m_text[i].size;
        *to++ = i < 2 ? ',' : '\r';
    }
    *to++ = '\n';
    m_pendingSize = to - m_pending.data();
    ++m_points;
    return m_pendingSize < kWriteBlock || writePending();
}

bool PointCloudExport::writePending()
{
    // A short write is followed by another, which gives the reason (a full disk) when it fails.
    for (qsizetype done = 0; done < m_pendingSize;) {
        const qint64 n = m_file.write(m_pending.data() + done, m_pendingSize - done);
        if (n <= 0)
            return fail(m_file.errorString());
        done += n;
    }
    m_pendingSize = 0;
    return true;
}

bool PointCloudExport::commit()
{
    if (!m_error.isEmpty() || !writePending())
        return false;
    if (!m_file.commit())
        return fail(m_file.errorString());
    return true;
}

void PointCloudExport::cancel()
{
    if (m_file.isOpen()) {
        m_file.cancelWriting();
        m_file.commit(); // after cancelWriting this removes the temporary file and writes nothing
    }
    m_pendingSize = 0;
}

bool PointCloudExport::fail(const QString &what)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("The point cloud could not be written to %1: %2")
                      .arg(QDir::toNativeSeparators(m_file.fileName()), what);
    if (m_file.isOpen()) {
        m_file.cancelWriting();
        m_file.commit();
    }
    return false;
}

} // namespace tools
