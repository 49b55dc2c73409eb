#include "pointcloud.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <bit>
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
    : m_which(which), m_writer(rules.outputFormat), m_reader(rules.comments, rules.spaces)
{
    // Each coordinate starts at 0.
    for (int i = 0; i < 3; ++i) {
        QByteArray zero;
        m_writer.append(0.0, zero);
        m_zeroTooLong = zero.size() > NumberWriter::kLongestNumber;
        m_text[i].size = static_cast<int>(std::min<qsizetype>(zero.size(), NumberWriter::kLongestNumber));
        std::memcpy(m_text[i].bytes, zero.constData(), static_cast<std::size_t>(m_text[i].size));
    }
}

bool PointCloudExport::open(const QString &target)
{
    m_file.setFileName(target);
    if (m_zeroTooLong)
        return fail(QStringLiteral("the number picture writes 0 with more than %1 characters")
                        .arg(NumberWriter::kLongestNumber));
    // Unbuffered, so every write's failure shows at once: a buffered write that fails only when
    // the file is closed would not stop the rename.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return fail(m_file.errorString());
    m_pending.resize(static_cast<std::size_t>(kWriteBlock + 3 * NumberWriter::kLongestNumber + 8));
    m_pendingSize = 0;
    return true;
}

bool PointCloudExport::setAxis(int axis, double value)
{
    AxisText &text = m_text[axis];
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
    // The first X, Y and Z of the line, a bit each.
    unsigned found = 0;
    bool guessed = false;
    m_reader.words(line, m_words);
    for (const tessarc::Word &word : std::as_const(m_words)) {
        const unsigned axis = unsigned(word.letter - 'X');
        if (axis > 2 || ((found >> axis) & 1))
            continue;
        found |= 1u << axis;
        if (!setAxis(static_cast<int>(axis), word.value))
            return false;
    }
    if (found != 7) {
        // A letter whose first use is an expression names a position this reading cannot know.
        for (unsigned axis = 0; axis < 3; ++axis) {
            if (!((found >> axis) & 1)
                && m_reader.find(line, char('X' + axis)).use == tessarc::LetterUse::Expression) {
                found |= 1u << axis;
                guessed = true;
            }
        }
    }
    m_guessed += guessed ? 1 : 0;
    if (m_which == PointsFor::LinesWithXyz && !found)
        return true;
    // The point's line: the three texts joined by commas, ended by CR LF.
    char *to = m_pending.data() + m_pendingSize;
    for (int i = 0; i < 3; ++i) {
        // A short text goes as one block of 32 bytes (the buffer has room), a longer one as it is.
        if (m_text[i].size <= 32)
            std::memcpy(to, m_text[i].bytes, 32);
        else
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
