#include "block.h"

#include "statebytes.h"
#include "words.h"

#include <cmath>
#include <cstring>

namespace interp {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isLetter(char c)
{
    return c >= 'a' && c <= 'z';
}

// Reads the compact text of a line (see compact()); every failure is a message in `error`.
class Parser
{
public:
    Parser(const QByteArray &text, const Parameters &parameters, StateValue stateValue, const void *context)
        : m_text(text), m_parameters(parameters), m_stateValue(stateValue), m_context(context)
    {
    }

    bool atEnd() const { return m_pos >= m_text.size(); }
    void untake() { --m_pos; }
    QByteArray rest() const { return m_text.mid(m_pos); }
    char peek(qsizetype ahead = 0) const { return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : '\0'; }
    char take() { return m_text[m_pos++]; }
    qsizetype pos() const { return m_pos; }
    bool failed() const { return !m_error.isEmpty(); }
    const QString &error() const { return m_error; }
    void fail(const QString &why)
    {
        if (m_error.isEmpty())
            m_error = why;
    }
    bool takeWord(const char *word)
    {
        const qsizetype n = static_cast<qsizetype>(std::strlen(word));
        if (m_text.mid(m_pos, n) != QByteArrayView(word, n))
            return false;
        m_pos += n;
        return true;
    }

    // A number, an expression, a parameter's value or a function of an expression.
    double realValue()
    {
        const char c = peek();
        if (c == '[')
            return expression();
        if (c == '#') {
            take();
            return parameterValue(parameterRef());
        }
        if (isDigit(c) || c == '.' || c == '-' || c == '+')
            return number();
        if (isLetter(c))
            return function();
        fail(atEnd() ? QStringLiteral("a value is missing at the end of the line")
                     : QStringLiteral("a value is missing before '%1'").arg(QLatin1Char(c)));
        return 0.0;
    }

    ParameterRef parameterRef()
    {
        ParameterRef ref;
        if (peek() == '<') {
            take();
            const qsizetype close = m_text.indexOf('>', m_pos);
            if (close < 0) {
                fail(QStringLiteral("a parameter name is not closed with '>'"));
                return ref;
            }
            ref.name = m_text.mid(m_pos, close - m_pos);
            m_pos = close + 1;
            if (ref.name.isEmpty())
                fail(QStringLiteral("a parameter name is empty"));
            return ref;
        }
        const double index = realValue();
        if (failed())
            return ref;
        const double rounded = std::round(index);
        if (std::fabs(index - rounded) > 1e-4 || rounded < 1 || rounded >= Parameters::kCount)
            fail(QStringLiteral("#%1 is not a parameter (they run from #1 to #%2)").arg(index).arg(Parameters::kCount - 1));
        else
            ref.number = static_cast<int>(rounded);
        return ref;
    }

    double parameterValue(const ParameterRef &ref)
    {
        if (failed())
            return 0.0;
        if (ref.name.isEmpty())
            return m_parameters.numbered(ref.number);
        if (const std::optional<double> v = m_parameters.named(ref.name))
            return *v;
        if (m_stateValue) {
            if (const std::optional<double> v = m_stateValue(m_context, ref.name))
                return *v;
        }
        fail(QStringLiteral("the parameter #<%1> has no value").arg(QString::fromLatin1(ref.name)));
        return 0.0;
    }

    double number()
    {
        const qsizetype start = m_pos;
        if (peek() == '-' || peek() == '+')
            take();
        bool digits = false;
        while (isDigit(peek())) {
            take();
            digits = true;
        }
        if (peek() == '.') {
            take();
            while (isDigit(peek())) {
                take();
                digits = true;
            }
        }
        if (!digits) {
            m_pos = start;
            // A sign before a value that is not a number: -[..], -#1, -sin[..].
            if (peek() == '-' || peek() == '+') {
                const bool minus = take() == '-';
                const double v = realValue();
                return minus ? -v : v;
            }
            fail(QStringLiteral("a number is missing"));
            return 0.0;
        }
        return tessarc::numberValue(QByteArrayView(m_text.constData() + start, m_pos - start));
    }

    double expression()
    {
        take(); // [
        const double v = binary(0);
        if (failed())
            return 0.0;
        if (peek() != ']') {
            fail(atEnd() ? QStringLiteral("an expression is not closed with ']'")
                         : QStringLiteral("'%1' does not belong in an expression").arg(QLatin1Char(peek())));
            return 0.0;
        }
        take();
        return v;
    }

    // Binary operators by precedence: ** first, then * / mod, + -, the comparisons, and, or, xor.
    enum class Op { None, Power, Times, Divide, Mod, Plus, Minus, Eq, Ne, Gt, Ge, Lt, Le, And, Or, Xor };
    static int precedence(Op op)
    {
        switch (op) {
        case Op::Power: return 5;
        case Op::Times: case Op::Divide: case Op::Mod: return 4;
        case Op::Plus: case Op::Minus: return 3;
        case Op::Eq: case Op::Ne: case Op::Gt: case Op::Ge: case Op::Lt: case Op::Le: return 2;
        case Op::And: case Op::Or: case Op::Xor: return 1;
        case Op::None: break;
        }
        return 0;
    }
    Op peekOp(qsizetype &length) const
    {
        static const struct { const char *text; Op op; } ops[] = {
            {"**", Op::Power}, {"*", Op::Times}, {"/", Op::Divide}, {"mod", Op::Mod}, {"+", Op::Plus}, {"-", Op::Minus},
            {"eq", Op::Eq}, {"ne", Op::Ne}, {"gt", Op::Gt}, {"ge", Op::Ge}, {"lt", Op::Lt}, {"le", Op::Le},
            {"and", Op::And}, {"or", Op::Or}, {"xor", Op::Xor}};
        for (const auto &o : ops) {
            const qsizetype n = static_cast<qsizetype>(std::strlen(o.text));
            if (m_text.mid(m_pos, n) == QByteArrayView(o.text, n)) {
                length = n;
                return o.op;
            }
        }
        return Op::None;
    }

    double binary(int minimum)
    {
        double left = realValue();
        while (!failed()) {
            qsizetype length = 0;
            const Op op = peekOp(length);
            const int p = precedence(op);
            if (op == Op::None || p < minimum)
                break;
            m_pos += length;
            // ** binds to the right, the rest to the left.
            const double right = binary(op == Op::Power ? p : p + 1);
            if (failed())
                break;
            left = apply(op, left, right);
        }
        return left;
    }

    double apply(Op op, double a, double b)
    {
        switch (op) {
        case Op::Power:
            if (a < 0 && std::floor(b) != b)
                fail(QStringLiteral("a negative number to a power that is not whole"));
            return std::pow(a, b);
        case Op::Times: return a * b;
        case Op::Divide:
            if (b == 0.0)
                fail(QStringLiteral("a division by zero"));
            return b == 0.0 ? 0.0 : a / b;
        case Op::Mod: {
            if (b == 0.0) {
                fail(QStringLiteral("a division by zero"));
                return 0.0;
            }
            const double r = std::fmod(a, b);
            return r < 0 ? r + std::fabs(b) : r;
        }
        case Op::Plus: return a + b;
        case Op::Minus: return a - b;
        case Op::Eq: return a == b ? 1.0 : 0.0;
        case Op::Ne: return a != b ? 1.0 : 0.0;
        case Op::Gt: return a > b ? 1.0 : 0.0;
        case Op::Ge: return a >= b ? 1.0 : 0.0;
        case Op::Lt: return a < b ? 1.0 : 0.0;
        case Op::Le: return a <= b ? 1.0 : 0.0;
        case Op::And: return (a != 0.0 && b != 0.0) ? 1.0 : 0.0;
        case Op::Or: return (a != 0.0 || b != 0.0) ? 1.0 : 0.0;
        case Op::Xor: return ((a != 0.0) != (b != 0.0)) ? 1.0 : 0.0;
        case Op::None: break;
        }
        return 0.0;
    }

    double function()
    {
        qsizetype end = m_pos;
        while (end < m_text.size() && isLetter(m_text[end]))
            ++end;
        const QByteArray name = m_text.mid(m_pos, end - m_pos);
        m_pos = end;
        if (peek() != '[') {
            fail(QStringLiteral("'%1' is not a value").arg(QString::fromLatin1(name)));
            return 0.0;
        }
        if (name == "exists") {
            // exists[#<name>]: whether the named parameter has a value.
            take();
            if (!(takeWord("#<"))) {
                fail(QStringLiteral("exists takes a named parameter"));
                return 0.0;
            }
            const qsizetype close = m_text.indexOf('>', m_pos);
            if (close < 0 || close + 1 >= m_text.size() || m_text[close + 1] != ']') {
                fail(QStringLiteral("exists takes a named parameter"));
                return 0.0;
            }
            const QByteArray parameter = m_text.mid(m_pos, close - m_pos);
            m_pos = close + 2;
            return m_parameters.named(parameter) || (m_stateValue && m_stateValue(m_context, parameter)) ? 1.0 : 0.0;
        }
        const double v = expression();
        if (failed())
            return 0.0;
        if (name == "atan") {
            if (!takeWord("/") || peek() != '[') {
                fail(QStringLiteral("atan takes two expressions: atan[y]/[x]"));
                return 0.0;
            }
            const double x = expression();
            return std::atan2(v, x) / kDegree;
        }
        if (name == "abs") return std::fabs(v);
        if (name == "sin") return std::sin(v * kDegree);
        if (name == "cos") return std::cos(v * kDegree);
        if (name == "tan") return std::tan(v * kDegree);
        if (name == "fix") return std::floor(v);
        if (name == "fup") return std::ceil(v);
        if (name == "round") return std::round(v);
        if (name == "exp") return std::exp(v);
        if (name == "acos" || name == "asin") {
            if (v < -1.0 || v > 1.0)
                fail(QStringLiteral("%1 of %2, which is outside -1 to 1").arg(QString::fromLatin1(name)).arg(v));
            return (name == "acos" ? std::acos(v) : std::asin(v)) / kDegree;
        }
        if (name == "ln" || name == "sqrt") {
            if (v < 0.0 || (name == "ln" && v == 0.0))
                fail(QStringLiteral("%1 of %2").arg(QString::fromLatin1(name)).arg(v));
            return name == "ln" ? std::log(v) : std::sqrt(v);
        }
        fail(QStringLiteral("%1 is not a function").arg(QString::fromLatin1(name)));
        return 0.0;
    }

private:
    const QByteArray &m_text;
    qsizetype m_pos = 0;
    const Parameters &m_parameters;
    StateValue m_stateValue;
    const void *m_context;
    QString m_error;
};

const QByteArrayView kKeywords[] = {"endsub", "endwhile", "endrepeat", "endif", "elseif", "else",  "sub",
                                    "call",   "return",   "if",        "while", "do",     "repeat", "break",
                                    "continue"};

// The O-word at the start of a compact line (after its N word): its label, keyword and where the
// rest begins. false for a line with no O-word.
bool readOWord(const QByteArray &text, OWord &oword, qsizetype &rest, QString *error)
{
    qsizetype p = 0;
    if (text.startsWith('/'))
        ++p;
    if (p < text.size() && text[p] == 'n') {
        ++p;
        while (p < text.size() && (isDigit(text[p]) || text[p] == '.'))
            ++p;
    }
    if (p >= text.size() || text[p] != 'o')
        return false;
    ++p;
    const qsizetype start = p;
    if (p < text.size() && text[p] == '<') {
        const qsizetype close = text.indexOf('>', p);
        if (close < 0) {
            if (error)
                *error = QStringLiteral("an O-word's name is not closed with '>'");
            return true;
        }
        p = close + 1;
    } else {
        while (p < text.size() && isDigit(text[p]))
            ++p;
    }
    oword.label = text.mid(start, p - start);
    // o100 and o0100 are one label.
    if (!oword.label.startsWith('<')) {
        while (oword.label.size() > 1 && oword.label.startsWith('0'))
            oword.label.remove(0, 1);
    }
    for (const QByteArrayView keyword : kKeywords) {
        if (text.mid(p, keyword.size()) == keyword) {
            oword.keyword = keyword.toByteArray();
            rest = p + keyword.size();
            break;
        }
    }
    if (oword.keyword.isEmpty())
        rest = p;
    if (oword.label.isEmpty() && error)
        *error = QStringLiteral("an O-word needs a number or a <name>");
    else if (oword.keyword.isEmpty() && p < text.size() && error)
        *error = QStringLiteral("o%1 needs a keyword (sub, call, if, while, ...)").arg(QString::fromLatin1(oword.label));
    // A number alone on its line names a program or a subroutine that M99 ends (M98 calls it).
    return true;
}

// A Fanuc macro statement, after the line's N word: true when the line is one (or failed to read
// as one), with `block` filled in.
bool readStatement(Parser &parser, Block &block)
{
    const auto skipNumber = [&] {
        if (parser.peek() != 'n')
            return;
        parser.take();
        while (isDigit(parser.peek()) || parser.peek() == '.')
            parser.take();
    };
    skipNumber();
    Statement statement;
    if (parser.takeWord("if[")) {
        statement.kind = Statement::Kind::If;
        parser.untake();
        statement.condition = parser.expression();
        if (parser.takeWord("goto")) {
            statement.target = parser.realValue();
        } else if (parser.takeWord("then")) {
            statement.then = true;
        } else if (!parser.failed()) {
            parser.fail(QStringLiteral("IF [...] needs GOTO or THEN after it"));
        }
    } else if (parser.takeWord("goto")) {
        statement.target = parser.realValue();
    } else if (parser.takeWord("while[")) {
        statement.kind = Statement::Kind::While;
        parser.untake();
        statement.condition = parser.expression();
        if (!parser.takeWord("do"))
            parser.fail(QStringLiteral("WHILE [...] needs DO and a number after it"));
        else
            statement.target = parser.number();
    } else if (parser.peek() == 'e' && parser.peek(1) == 'n' && parser.peek(2) == 'd' && isDigit(parser.peek(3))) {
        statement.kind = Statement::Kind::End;
        parser.takeWord("end");
        statement.target = parser.number();
    } else {
        return false;
    }
    block.empty = false;
    if (!parser.failed() && !statement.then && !parser.atEnd())
        parser.fail(QStringLiteral("'%1' does not belong after the statement").arg(QString::fromLatin1(parser.rest())));
    if (parser.failed()) {
        block.error = parser.error();
        return true;
    }
    block.statement = statement;
    return !statement.then; // after THEN the line's settings are read as any line's
}

} // namespace

std::optional<Dialect> dialectNamed(const QString &name)
{
    for (const Dialect d : {Dialect::LinuxCnc, Dialect::Fanuc, Dialect::Grbl}) {
        if (name.compare(nameOf(d), Qt::CaseInsensitive) == 0)
            return d;
    }
    return std::nullopt;
}

QString nameOf(Dialect dialect)
{
    switch (dialect) {
    case Dialect::Fanuc: return QStringLiteral("fanuc");
    case Dialect::Grbl: return QStringLiteral("grbl");
    case Dialect::LinuxCnc: break;
    }
    return QStringLiteral("linuxcnc");
}

Parameters::Parameters() : m_numbered(kCount, 0.0) {}

std::optional<double> Parameters::named(const QByteArray &name) const
{
    const QHash<QByteArray, double> &table = name.startsWith('_') ? m_globals : m_locals.last();
    const auto it = table.constFind(name);
    if (it == table.constEnd())
        return std::nullopt;
    return *it;
}

void Parameters::setNamed(const QByteArray &name, double v)
{
    (name.startsWith('_') ? m_globals : m_locals.last())[name] = v;
}

void Parameters::beginCall(const QList<double> &arguments)
{
    std::array<double, kLocalCount> saved{};
    for (int i = 0; i < kLocalCount; ++i) {
        saved[static_cast<std::size_t>(i)] = m_numbered[static_cast<std::size_t>(i + 1)];
        m_numbered[static_cast<std::size_t>(i + 1)] = i < arguments.size() ? arguments[i] : 0.0;
    }
    m_saved.push_back(saved);
    m_locals.append(QHash<QByteArray, double>());
}

std::array<double, Parameters::kLocalCount> Parameters::numberedLocals(int level) const
{
    if (level < callDepth())
        return m_saved[static_cast<std::size_t>(level)];
    std::array<double, kLocalCount> now{};
    for (int i = 0; i < kLocalCount; ++i)
        now[static_cast<std::size_t>(i)] = m_numbered[static_cast<std::size_t>(i + 1)];
    return now;
}

void Parameters::endCall()
{
    if (m_saved.empty())
        return;
    for (int i = 0; i < kLocalCount; ++i)
        m_numbered[static_cast<std::size_t>(i + 1)] = m_saved.back()[static_cast<std::size_t>(i)];
    m_saved.pop_back();
    m_locals.removeLast();
}

namespace {
using namespace statebytes;
void putTable(QByteArray &out, const QHash<QByteArray, double> &table)
{
    put(out, static_cast<qint32>(table.size()));
    for (auto it = table.constBegin(); it != table.constEnd(); ++it) {
        putText(out, it.key());
        put(out, it.value());
    }
}
bool getTable(QByteArrayView &in, QHash<QByteArray, double> &table)
{
    qint32 n = 0;
    if (!get(in, n) || n < 0)
        return false;
    table.clear();
    for (qint32 i = 0; i < n; ++i) {
        QByteArray name;
        double v = 0;
        if (!getText(in, name) || !get(in, v))
            return false;
        table.insert(name, v);
    }
    return true;
}
} // namespace

void Parameters::encode(QByteArray &out) const
{
    qint32 set = 0;
    for (const double v : m_numbered)
        set += v != 0.0;
    put(out, set);
    for (std::size_t i = 0; i < m_numbered.size(); ++i) {
        if (m_numbered[i] != 0.0) {
            put(out, static_cast<qint32>(i));
            put(out, m_numbered[i]);
        }
    }
    putTable(out, m_globals);
    put(out, static_cast<qint32>(m_locals.size()));
    for (const auto &locals : m_locals)
        putTable(out, locals);
    put(out, static_cast<qint32>(m_saved.size()));
    for (const auto &saved : m_saved)
        put(out, saved);
}

bool Parameters::decode(QByteArrayView &in)
{
    std::fill(m_numbered.begin(), m_numbered.end(), 0.0);
    qint32 set = 0;
    if (!get(in, set) || set < 0 || set > kCount)
        return false;
    for (qint32 k = 0; k < set; ++k) {
        qint32 i = 0;
        double v = 0;
        if (!get(in, i) || !get(in, v) || i < 0 || i >= kCount)
            return false;
        m_numbered[static_cast<std::size_t>(i)] = v;
    }
    if (!getTable(in, m_globals))
        return false;
    qint32 n = 0;
    if (!get(in, n) || n < 1)
        return false;
    m_locals.resize(n);
    for (auto &locals : m_locals) {
        if (!getTable(in, locals))
            return false;
    }
    if (!get(in, n) || n < 0 || n != m_locals.size() - 1)
        return false;
    m_saved.resize(static_cast<std::size_t>(n));
    for (auto &saved : m_saved) {
        if (!get(in, saved))
            return false;
    }
    return true;
}

bool hasCode(QByteArrayView line, char letter, int code)
{
    QByteArray text;
    if (!compact(line, text, nullptr, nullptr))
        return false;
    const QByteArray word = QByteArray(1, letter) + QByteArray::number(code);
    for (qsizetype at = text.indexOf(word); at >= 0; at = text.indexOf(word, at + 1)) {
        const qsizetype end = at + word.size();
        const bool letterBefore = at > 0 && isLetter(text[at - 1]);
        const bool digitAfter = end < text.size() && (isDigit(text[end]) || text[end] == '.');
        if (!letterBefore && !digitAfter)
            return true;
    }
    return false;
}

std::optional<int> endNumberOf(QByteArrayView line)
{
    QByteArray text;
    if (!compact(line, text, nullptr, nullptr))
        return std::nullopt;
    qsizetype p = 0;
    if (p < text.size() && text[p] == 'n') {
        ++p;
        while (p < text.size() && ((text[p] >= '0' && text[p] <= '9') || text[p] == '.'))
            ++p;
    }
    if (text.mid(p, 3) != "end")
        return std::nullopt;
    bool ok = false;
    const int m = text.mid(p + 3).toInt(&ok);
    return ok ? std::optional<int>(m) : std::nullopt;
}

namespace {
// What compact() does with each byte: 0 leaves it out, 1 opens a comment, 2 ends the line, else
// the byte it writes (letters in lower case).
struct CompactTable
{
    unsigned char out[256];
    constexpr CompactTable() : out()
    {
        for (int c = 0; c < 256; ++c)
            out[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        out[static_cast<unsigned char>(' ')] = 0;
        out[static_cast<unsigned char>('\t')] = 0;
        out[static_cast<unsigned char>('\r')] = 0;
        out[0] = 0; // a NUL byte is left out too
        out[static_cast<unsigned char>('(')] = 1;
        out[static_cast<unsigned char>(';')] = 2;
        out[1] = out[2] = 0; // never written: their codes mean the above
    }
};
constexpr CompactTable kCompact;
} // namespace

bool compact(QByteArrayView line, QByteArray &out, QByteArray *message, QString *error)
{
    // Written through a pointer into room made once: a line is never longer than it was.
    out.resize(line.size());
    char *to = out.data();
    char *const begin = to;
    const char *from = line.data();
    const char *const end = from + line.size();
    for (; from < end; ++from) {
        const unsigned char c = kCompact.out[static_cast<unsigned char>(*from)];
        if (c > 2) {
            *to++ = static_cast<char>(c);
            continue;
        }
        if (c == 0)
            continue;
        if (c == 2)
            break;
        const char *close = static_cast<const char *>(std::memchr(from, ')', static_cast<std::size_t>(end - from)));
        if (!close) {
            out.resize(to - begin);
            if (error)
                *error = QStringLiteral("a comment is not closed with ')'");
            return false;
        }
        const QByteArrayView text(from + 1, close - from - 1);
        if (message && text.size() >= 4 && QByteArrayView(text.first(4)).compare("msg,", Qt::CaseInsensitive) == 0)
            *message = text.sliced(4).trimmed().toByteArray();
        from = close;
    }
    out.resize(to - begin);
    return true;
}

std::optional<OWord> BlockReader::oWordOf(QByteArrayView line)
{
    // Most lines begin with another letter, or with an N word and another letter: tell them at once.
    qsizetype i = 0;
    const auto blank = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
    };
    blank();
    if (i < line.size() && line[i] == '/') {
        ++i;
        blank();
    }
    if (i < line.size() && (line[i] == 'n' || line[i] == 'N')) {
        ++i;
        while (i < line.size() && (isDigit(line[i]) || line[i] == '.' || line[i] == ' ' || line[i] == '\t'))
            ++i;
    }
    if (i < line.size() && line[i] != 'o' && line[i] != 'O' && line[i] != '(')
        return std::nullopt;
    QByteArray text;
    if (!compact(line, text, nullptr, nullptr))
        return std::nullopt;
    OWord oword;
    qsizetype rest = 0;
    QString error;
    if (!readOWord(text, oword, rest, &error) || !error.isEmpty())
        return std::nullopt;
    return oword;
}

void BlockReader::read(QByteArrayView line, Block &block)
{
    block.blockDelete = false;
    block.empty = true;
    block.present = 0;
    block.g.clear();
    block.m.clear();
    block.repeatedLetter.clear();
    block.settings.clear();
    block.oword.reset();
    block.statement.reset();
    block.system.clear();
    block.jog = false;
    block.lineNumberDigits = 0;
    block.message.clear();
    block.error.clear();

    thread_local QByteArray text;
    if (!compact(line, text, &block.message, &block.error))
        return;
    qsizetype start = 0;
    if (text.startsWith('/')) {
        block.blockDelete = true;
        start = 1;
    }
    Parser parser(text, m_parameters, m_stateValue, m_context);
    for (qsizetype i = 0; i < start; ++i)
        parser.take();

    if (m_dialect == Dialect::Grbl) {
        if (text == "?" || text == "~" || text == "!") {
            // A real-time command (status, cycle start, feed hold) typed as a line.
            block.empty = false;
            block.system = text;
            return;
        }
        if (text.startsWith('$')) {
            // A system command; $J= is a jog, its words read as a line's.
            block.empty = false;
            if (!text.startsWith("$j=")) {
                block.system = text;
                return;
            }
            block.jog = true;
            for (int i = 0; i < 3; ++i)
                parser.take();
            start = 3;
        } else if (text.contains('#') || text.contains('[')) {
            block.error = QStringLiteral("GRBL has no parameters or expressions");
            return;
        }
    }
    if (m_dialect == Dialect::Fanuc && readStatement(parser, block))
        return;

    OWord oword;
    qsizetype rest = 0;
    QString owordError;
    if (m_dialect == Dialect::Grbl && readOWord(text, oword, rest, nullptr)) {
        block.error = QStringLiteral("GRBL has no O-words");
        return;
    }
    if (readOWord(text, oword, rest, &owordError)) {
        if (!owordError.isEmpty()) {
            block.error = owordError;
            return;
        }
        block.empty = false;
        while (parser.pos() < rest)
            parser.take();
        // call [a][b]..., while [c], if [c], repeat [n], return [v], endsub [v]
        while (!parser.atEnd() && parser.peek() == '[') {
            oword.values.append(parser.expression());
            if (parser.failed())
                break;
        }
        if (!parser.failed() && !parser.atEnd())
            parser.fail(QStringLiteral("'%1' does not belong after o%2 %3")
                            .arg(QString::fromLatin1(text.mid(parser.pos())), QString::fromLatin1(oword.label),
                                 QString::fromLatin1(oword.keyword)));
        if (parser.failed()) {
            block.error = parser.error();
            return;
        }
        block.oword = oword;
        return;
    }

    while (!parser.atEnd() && !parser.failed()) {
        const char c = parser.take();
        block.empty = false;
        if (c == '#') {
            const ParameterRef ref = parser.parameterRef();
            if (parser.failed())
                break;
            if (parser.peek() != '=') {
                parser.fail(QStringLiteral("a parameter standing alone is not a word; to set it, write #%1=value")
                                .arg(ref.name.isEmpty() ? QString::number(ref.number) : QStringLiteral("<%1>").arg(QString::fromLatin1(ref.name))));
                break;
            }
            parser.take();
            // The Fanuc family works out #1=#1+1 with no brackets.
            const double v = m_dialect == Dialect::Fanuc ? parser.binary(0) : parser.realValue();
            block.settings.append({ref, v});
            continue;
        }
        if (c == '%') {
            parser.fail(QStringLiteral("a % must stand alone on its line"));
            break;
        }
        if (!isLetter(c)) {
            parser.fail(QStringLiteral("'%1' is not a word's letter").arg(QLatin1Char(c)));
            break;
        }
        if (c == 'n' && parser.pos() == start + 1) {
            // The line's number: digits only, never a value worked out.
            while (isDigit(parser.peek()) || parser.peek() == '.')
                block.lineNumberDigits += isDigit(parser.take());
            continue;
        }
        const double v = parser.realValue();
        if (parser.failed())
            break;
        const char letter = static_cast<char>(c - 'a' + 'A');
        if (letter == 'G') {
            block.g.append(v);
        } else if (letter == 'M') {
            block.m.append(v);
        } else {
            const int i = letter - 'A';
            if (block.present & (1u << i) && block.repeatedLetter.isEmpty())
                block.repeatedLetter = QByteArray(1, letter);
            block.present |= 1u << i;
            block.values[static_cast<std::size_t>(i)] = v;
        }
    }
    if (parser.failed())
        block.error = parser.error();
}

} // namespace interp
