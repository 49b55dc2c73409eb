#include "machinesetup.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <variant>
#include <vector>

namespace interp {

char axisLetter(int i)
{
    return "XYZABCUVW"[i];
}

QList<QByteArray> splitRequest(const QByteArray &pattern)
{
    const qsizetype first = pattern.indexOf('|');
    const qsizetype second = first < 0 ? -1 : pattern.indexOf('|', first + 1);
    if (second < 0)
        return {pattern};
    return {pattern.first(first), pattern.sliced(first + 1, second - first - 1), pattern.sliced(second + 1)};
}

double MachineSetup::rapidOf(int axis) const
{
    const double own = axes[static_cast<std::size_t>(axis)].rapid;
    return own > 0.0 ? own : defaultRapid;
}

double MachineSetup::accelOf(int axis) const
{
    const double own = axes[static_cast<std::size_t>(axis)].accel;
    return own > 0.0 ? own : defaultAccel;
}

namespace {

// What a number of the setup may be.
enum class Range { Any, NotNegative, Positive };

// One key of the file and the value of a setup it stands for.
using Slot = std::variant<Dialect *, bool *, int *, double *, QByteArray *>;
struct Field
{
    QByteArray key;
    Slot slot;
    Range range = Range::Any;
    int least = 0; // a whole number's range
    int most = kMostNDigits;
};

// Every key of a setup, in the order the file holds them.
std::vector<Field> fieldsOf(MachineSetup &s)
{
    std::vector<Field> fields{
        {"dialect", &s.dialect},
        {"lathe", &s.lathe},
        {"nDigits", &s.nDigits},
        {"spindleMax", &s.spindleMax, Range::NotNegative},
        {"toolChangeSeconds", &s.toolChangeSeconds, Range::NotNegative},
        {"arcTolerance", &s.arcTolerance, Range::Positive},
        {"defaultRapid", &s.defaultRapid, Range::Positive},
        {"defaultAccel", &s.defaultAccel, Range::Positive},
        {"retract", &s.retract},
        {"toolChange", &s.toolChange},
    };
    DncSetup &d = s.dnc;
    fields.insert(fields.end(), {
        {"dnc.enabled", &d.enabled},
        {"dnc.programs", &d.programs},
        {"dnc.received", &d.received},
        {"dnc.extension", &d.extension},
        {"dnc.requestLines", &d.requestLines, Range::Any, 1, 100},
        {"dnc.requestDelay", &d.requestDelay, Range::NotNegative},
        {"dnc.quietSeconds", &d.quietSeconds, Range::Positive},
        {"dnc.fileName", &d.fileName},
        {"dnc.digits", &d.digits, Range::Any, 1, 9},
        {"dnc.backups", &d.backups, Range::Any, 0, 99},
        {"dnc.dripFeed", &d.dripFeed},
    });
    for (std::size_t i = 0; i < d.requests.size(); ++i)
        fields.push_back({"dnc.request" + QByteArray::number(qulonglong(i + 1)), &d.requests[i]});
    for (int i = 0; i < kAxes; ++i) {
        AxisSetup &a = s.axes[static_cast<std::size_t>(i)];
        const QByteArray letter(1, axisLetter(i));
        fields.push_back({letter + ".limited", &a.limited});
        fields.push_back({letter + ".min", &a.min});
        fields.push_back({letter + ".max", &a.max});
        fields.push_back({letter + ".rapid", &a.rapid, Range::NotNegative});
        fields.push_back({letter + ".maxFeed", &a.maxFeed, Range::NotNegative});
        fields.push_back({letter + ".accel", &a.accel, Range::NotNegative});
    }
    return fields;
}

QByteArray numberText(double value)
{
    char buffer[64];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, r.ptr - buffer);
}

QString text(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.data(), bytes.size());
}

// Why a number is refused for a value of `range`, or nothing.
std::optional<QString> rangeProblem(const QByteArray &key, double value, Range range)
{
    if (!std::isfinite(value))
        return QStringLiteral("%1 must be a finite number").arg(text(key));
    if (range == Range::NotNegative && value < 0.0)
        return QStringLiteral("%1 cannot be negative").arg(text(key));
    if (range == Range::Positive && value <= 0.0)
        return QStringLiteral("%1 must be above 0").arg(text(key));
    return std::nullopt;
}

std::optional<QString> wholeProblem(const Field &f, int value)
{
    if (value >= f.least && value <= f.most)
        return std::nullopt;
    if (f.key == "nDigits")
        return QStringLiteral("nDigits must be 0 (no limit) to %1").arg(kMostNDigits);
    return QStringLiteral("%1 must be %2 to %3").arg(text(f.key)).arg(f.least).arg(f.most);
}

// A request pattern: "how|folder|expression", with an expression that names the program in its
// first group; an empty one is none.
std::optional<QString> requestProblem(const QByteArray &key, const QByteArray &pattern)
{
    if (pattern.isEmpty())
        return std::nullopt;
    const QList<QByteArray> parts = splitRequest(pattern);
    if (parts.size() != 3)
        return QStringLiteral("%1 is written how|folder|expression").arg(text(key));
    if (parts[0] != "name" && parts[0] != "extension" && parts[0] != "number")
        return QStringLiteral("%1 finds a program by name, extension or number, not \"%2\"").arg(text(key), text(parts[0]));
    const QRegularExpression expression(text(parts[2]));
    if (!expression.isValid())
        return QStringLiteral("%1's expression is not one: %2").arg(text(key), expression.errorString());
    if (expression.captureCount() < 1)
        return QStringLiteral("%1's expression has no group in ( ) for the program's name").arg(text(key));
    return std::nullopt;
}

// Problems a text value of the DNC has beyond being one line.
std::optional<QString> dncTextProblem(const QByteArray &key, const QByteArray &value)
{
    if (key.startsWith("dnc.request"))
        return requestProblem(key, value);
    if (key == "dnc.fileName" && value != "number" && value != "name")
        return QStringLiteral("dnc.fileName is number or name, not \"%1\"").arg(text(value));
    if (key == "dnc.extension" && (value.contains('/') || (!value.isEmpty() && !value.startsWith('.'))))
        return QStringLiteral("dnc.extension starts with a dot and holds no /");
    return std::nullopt;
}

std::optional<QString> blockProblem(const QByteArray &key, const QByteArray &block)
{
    if (block.contains('\n') || block.contains('\r'))
        return QStringLiteral("%1 must be one line").arg(text(key));
    if (block != block.trimmed())
        return QStringLiteral("%1 cannot start or end with a space").arg(text(key));
    return std::nullopt;
}

std::optional<QString> travelProblem(int axis, const AxisSetup &a)
{
    if (a.limited && a.min > a.max)
        return QStringLiteral("%1.min (%2) is above %1.max (%3)")
            .arg(QString(QLatin1Char(axisLetter(axis))), text(numberText(a.min)), text(numberText(a.max)));
    return std::nullopt;
}

std::optional<double> readNumber(QByteArrayView value)
{
    if (value.startsWith('+'))
        value = value.sliced(1);
    double number = 0.0;
    const std::from_chars_result r = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.isEmpty() || r.ec != std::errc() || r.ptr != value.data() + value.size() || !std::isfinite(number))
        return std::nullopt;
    return number;
}

// A line as an error shows it: long ones cut short.
QString shown(QByteArrayView line)
{
    constexpr qsizetype kLongest = 60;
    if (line.size() <= kLongest)
        return text(line);
    return text(line.first(kLongest)) + QStringLiteral("...");
}

} // namespace

QByteArray MachineSetup::encode() const
{
    MachineSetup copy = *this;
    QByteArray out;
    for (const Field &f : fieldsOf(copy)) {
        out += f.key;
        out += '=';
        if (const auto *d = std::get_if<Dialect *>(&f.slot))
            out += nameOf(**d).toLatin1();
        else if (const auto *b = std::get_if<bool *>(&f.slot))
            out += **b ? "yes" : "no";
        else if (const auto *i = std::get_if<int *>(&f.slot))
            out += QByteArray::number(**i);
        else if (const auto *n = std::get_if<double *>(&f.slot))
            out += numberText(**n);
        else
            out += *std::get<QByteArray *>(f.slot);
        out += '\n';
    }
    return out;
}

std::optional<QString> MachineSetup::problem() const
{
    MachineSetup copy = *this;
    for (const Field &f : fieldsOf(copy)) {
        std::optional<QString> why;
        if (const auto *n = std::get_if<double *>(&f.slot)) {
            why = rangeProblem(f.key, **n, f.range);
            if (why)
                *why += QStringLiteral(" (it is %1)").arg(text(numberText(**n)));
        } else if (const auto *i = std::get_if<int *>(&f.slot)) {
            why = wholeProblem(f, **i);
            if (why)
                *why += QStringLiteral(" (it is %1)").arg(**i);
        } else if (const auto *t = std::get_if<QByteArray *>(&f.slot)) {
            why = blockProblem(f.key, **t);
            if (!why)
                why = dncTextProblem(f.key, **t);
        }
        if (why)
            return why;
    }
    for (int axis = 0; axis < kAxes; ++axis) {
        if (std::optional<QString> why = travelProblem(axis, axes[static_cast<std::size_t>(axis)]))
            return why;
    }
    return std::nullopt;
}

std::optional<MachineSetup> MachineSetup::decode(QByteArrayView bytes, QString &error)
{
    MachineSetup setup;
    std::vector<Field> fields = fieldsOf(setup);
    // Where each key was given: its line's number (0 while it is not) and text.
    struct Given
    {
        int number = 0;
        QByteArrayView line;
    };
    std::vector<Given> given(fields.size());
    const auto indexOf = [&](const QByteArray &key) {
        std::size_t index = 0;
        while (index < fields.size() && fields[index].key != key)
            ++index;
        return index;
    };
    const auto fail = [&](int number, QByteArrayView line, const QString &why) {
        error = QStringLiteral("line %1: '%2': %3").arg(number).arg(shown(line), why);
        return std::nullopt;
    };
    int number = 0;
    qsizetype at = 0;
    while (at < bytes.size()) {
        ++number;
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size();
        QByteArrayView line = bytes.sliced(at, end - at);
        at = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray bare = line.trimmed().toByteArray();
        if (bare.isEmpty() || bare.startsWith('#'))
            continue;
        const qsizetype equals = bare.indexOf('=');
        if (equals < 0)
            return fail(number, line, QStringLiteral("a setting is written key=value"));
        const QByteArray key = bare.first(equals).trimmed();
        const QByteArray value = bare.sliced(equals + 1).trimmed();
        const std::size_t index = indexOf(key);
        if (index == fields.size())
            return fail(number, line, QStringLiteral("%1 is not a setting of a machine").arg(text(key)));
        if (given[index].number != 0)
            return fail(number, line, QStringLiteral("%1 was given already on line %2").arg(text(key)).arg(given[index].number));
        given[index] = {number, line};
        const Field &f = fields[index];
        if (auto *const *d = std::get_if<Dialect *>(&f.slot)) {
            const std::optional<Dialect> dialect = dialectNamed(text(value));
            if (!dialect)
                return fail(number, line, QStringLiteral("%1 is not a dialect (linuxcnc, fanuc or grbl)").arg(text(value)));
            **d = *dialect;
        } else if (auto *const *b = std::get_if<bool *>(&f.slot)) {
            if (value != "yes" && value != "no")
                return fail(number, line, QStringLiteral("%1 is not yes or no").arg(text(value)));
            **b = value == "yes";
        } else if (auto *const *i = std::get_if<int *>(&f.slot)) {
            int digits = 0;
            const std::from_chars_result r = std::from_chars(value.data(), value.data() + value.size(), digits);
            if (value.isEmpty() || r.ec == std::errc::invalid_argument || r.ptr != value.data() + value.size())
                return fail(number, line, QStringLiteral("%1 is not a whole number").arg(text(value)));
            if (r.ec != std::errc())
                digits = -1; // too many digits of its own to be a count
            if (const std::optional<QString> why = wholeProblem(f, digits))
                return fail(number, line, *why);
            **i = digits;
        } else if (auto *const *n = std::get_if<double *>(&f.slot)) {
            const std::optional<double> read = readNumber(value);
            if (!read)
                return fail(number, line, QStringLiteral("%1 is not a number").arg(text(value)));
            if (const std::optional<QString> why = rangeProblem(f.key, *read, f.range))
                return fail(number, line, *why);
            **n = *read;
        } else {
            if (const std::optional<QString> why = dncTextProblem(f.key, value))
                return fail(number, line, *why);
            *std::get<QByteArray *>(f.slot) = value;
        }
    }
    // A limited axis's travel, once all of it is known: refused at the last of its lines.
    for (int axis = 0; axis < kAxes; ++axis) {
        if (const std::optional<QString> why = travelProblem(axis, setup.axes[static_cast<std::size_t>(axis)])) {
            const QByteArray letter(1, axisLetter(axis));
            Given last;
            for (const char *part : {".limited", ".min", ".max"}) {
                const Given &g = given[indexOf(letter + part)];
                if (g.number > last.number)
                    last = g;
            }
            return fail(last.number, last.line, *why);
        }
    }
    error.clear();
    return setup;
}

} // namespace interp
