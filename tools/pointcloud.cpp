#include "pointcloud.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
}

bool PointCloudExport::open(const QString &target)
{
    m_file.setFileName(target);
    // Unbuffered, so every write's failure shows at once: a buffered write that fails only when
    // the file is closed would not stop the rename.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(m_file.errorString());
    m_pending.reserve(kWriteBlock + 3 * NumberWriter::kLongestNumber);
    return true;
}

bool PointCloudExport::addLine(QByteArrayView line)
{
    if (!m_error.isEmpty())
        return false;
    constexpr quint32 xyz = letterBit('X') | letterBit('Y') | letterBit('Z');
    m_scan.read(line, m_spaces, xyz);
    for (int i = 0; i < 3; ++i) {
        const int index = kAxes[i] - 'A';
        // A letter with no number after it ("(FIXTURE)", "(x)") names no position: the
        // coordinate keeps its value.
        if (!m_scan.found(index))
            continue;
        const NumberText number = m_scan.number(index);
        if (number.digits)
            m_point[i] = number.value();
    }
    if (m_which == PointsFor::LinesWithXyz && !(m_scan.found() & xyz))
        return true;
    if (m_writer.direct()) {
        // The point's line is put together here and appended in one piece.
        char text[3 * NumberWriter::kLongestNumber + 4];
        char *to = text;
        for (int i = 0; i < 3; ++i) {
            if (i > 0)
                *to++ = ',';
            const int n = m_writer.write(m_point[i], to);
            if (n < 0)
                return fail(QStringLiteral("the %1 value of a line is too large to be written").arg(kAxes[i]));
            to += n;
        }
        *to++ = '\r';
        *to++ = '\n';
        m_pending.append(text, to - text);
    } else {
        for (int i = 0; i < 3; ++i) {
            if (i > 0)
                m_pending.append(',');
            if (!m_writer.append(m_point[i], m_pending))
                return fail(QStringLiteral("the %1 value of a line is too large to be written").arg(kAxes[i]));
        }
        m_pending.append("\r\n", 2);
    }
    ++m_points;
    return m_pending.size() < kWriteBlock || writePending();
}

bool PointCloudExport::writePending()
{
    // A short write is followed by another, which gives the reason (a full disk) when it fails.
    for (qsizetype done = 0; done < m_pending.size();) {
        const qint64 n = m_file.write(m_pending.constData() + done, m_pending.size() - done);
        if (n <= 0)
            return fail(m_file.errorString());
        done += n;
    }
    m_pending.resize(0);
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
    m_pending.clear();
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
