#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QVarLengthArray>

#include <array>
#include <optional>
#include <vector>

// A line of a program read as a block: its words with their values worked out (numbers,
// parameters, expressions and functions), its parameter settings and its O-word statement.
namespace interp {

// The families of controls a program may be written for: LinuxCNC's RS274NGC (O-word
// subroutines, named parameters), the Fanuc family's ISO dialect (Fanuc, Haas, Mach3: O numbers,
// M98/M99, Macro B with IF/GOTO and WHILE/DO/END, G65 calls) and GRBL ($ commands, no parameters).
enum class Dialect { LinuxCnc, Fanuc, Grbl };

// The dialect a name (linuxcnc, fanuc, grbl) means.
std::optional<Dialect> dialectNamed(const QString &name);
QString nameOf(Dialect dialect);

// The parameters a program reads and sets: numbered ones (#1 ... #5602), named globals (#<_name>)
// and, for each subroutine call under way, its named locals and its own #1 ... #30.
class Parameters
{
public:
    static constexpr int kCount = 5603;
    static constexpr int kLocalCount = 30;

    Parameters();
    double numbered(int n) const { return m_numbered[static_cast<std::size_t>(n)]; }
    void setNumbered(int n, double v) { m_numbered[static_cast<std::size_t>(n)] = v; }
    // A named parameter, its name lower case with no spaces; a name beginning with _ is global,
    // any other is local to the subroutine call under way.
    std::optional<double> named(const QByteArray &name) const;
    void setNamed(const QByteArray &name, double v);
    // A call begins: #1 ... #30 are saved and set to `arguments` (the rest 0), and new named
    // locals begin. The call's end puts the caller's back.
    void beginCall(const QList<double> &arguments);
    void endCall();
    int callDepth() const { return static_cast<int>(m_saved.size()); }
    // The named globals set, and the named locals of call level `level` (0: the program's own,
    // callDepth(): the call under way).
    const QHash<QByteArray, double> &globals() const { return m_globals; }
    const QHash<QByteArray, double> &locals(int level) const { return m_locals.at(level); }
    // #1 ... #30 as call level `level` has them.
    std::array<double, kLocalCount> numberedLocals(int level) const;

    bool operator==(const Parameters &o) const = default;
    // The parameters as bytes and back (only those set, so a checkpoint stays small).
    void encode(QByteArray &out) const;
    bool decode(QByteArrayView &in);

private:
    std::vector<double> m_numbered;
    QHash<QByteArray, double> m_globals;
    QList<QHash<QByteArray, double>> m_locals{{}};
    std::vector<std::array<double, kLocalCount>> m_saved;
};

// A reference to a parameter: a number, or a name.
struct ParameterRef
{
    int number = 0;
    QByteArray name;
};

// What the interpreter knows of a parameter it cannot find in the store: the named globals that
// tell the state (#<_x>, #<_metric>, ...). Empty when the name means nothing to it.
using StateValue = std::optional<double> (*)(const void *context, const QByteArray &name);

struct OWord
{
    QByteArray label;   // "100" or "<name>", lower case
    QByteArray keyword; // empty for a number alone (a program's or a subroutine's), or sub, endsub, call, return, if, elseif, else, endif, while, endwhile, do, repeat, endrepeat, break, continue
    QList<double> values; // the expressions after the keyword, worked out where the statement runs
};

// A Fanuc macro statement: IF [c] GOTO n, IF [c] THEN ..., GOTO n, WHILE [c] DO m, END m.
struct Statement
{
    enum class Kind { If, Goto, While, End } kind = Kind::Goto;
    double condition = 0.0; // for IF and WHILE
    double target = 0.0;    // the N number of GOTO, the number of DO and END
    bool then = false;      // IF ... THEN: the line's settings are made when the condition holds
};

struct Block
{
    bool blockDelete = false;
    bool empty = true; // no word, no setting, no O-word: a blank line or a comment
    // The value of each letter's word but G and M (A ... Z, 'A' at 0), for the letters the mask holds.
    std::array<double, 26> values{};
    quint32 present = 0;
    QVarLengthArray<double, 4> g;
    QVarLengthArray<double, 4> m;
    QByteArray repeatedLetter; // a letter (other than G and M) given twice
    QList<std::pair<ParameterRef, double>> settings;
    std::optional<OWord> oword;
    std::optional<Statement> statement;
    QByteArray system;  // a GRBL $ command, lower case ($h, $x, ...)
    bool jog = false;   // a GRBL $J= line: its words are one jog
    QByteArray message; // (MSG, ...) text
    QString error;      // why the line cannot be read; nothing else holds then
    int lineNumberDigits = 0; // the digits of its N word, as written (N0010: 4)

    std::optional<double> word(char letter) const
    {
        const int i = letter - 'A';
        return present & (1u << i) ? std::optional<double>(values[static_cast<std::size_t>(i)]) : std::nullopt;
    }
    bool has(char letter) const { return present & (1u << (letter - 'A')); }
};

// The reader of blocks. `oWordsOnly` reads an O-word's label and keyword without working out any
// value, for passing over lines (to a loop's end, a subroutine's end).
class BlockReader
{
public:
    BlockReader(const Parameters &parameters, StateValue stateValue, const void *context, Dialect dialect = Dialect::LinuxCnc)
        : m_parameters(parameters), m_stateValue(stateValue), m_context(context), m_dialect(dialect)
    {
    }
    void read(QByteArrayView line, Block &block);
    // The line's O-word label and keyword without working out anything; nullopt for another line.
    static std::optional<OWord> oWordOf(QByteArrayView line);

private:
    const Parameters &m_parameters;
    StateValue m_stateValue;
    const void *m_context;
    Dialect m_dialect;
};

// The line lower case, with spaces, tabs and comments left out, and the comments' texts; an error
// for a comment left open. Shared by the reader and the pass over lines.
bool compact(QByteArrayView line, QByteArray &out, QByteArray *message, QString *error);
// Whether the line holds the code (M99), outside comments, read without working out anything.
bool hasCode(QByteArrayView line, char letter, int code);
// The number m of a Fanuc END m statement on the line, read without working out anything.
std::optional<int> endNumberOf(QByteArrayView line);

// The words a G65 call hands its macro, and the local each becomes (A to #1 ... Z to #26).
struct G65Argument
{
    char letter;
    int number;
};
inline constexpr G65Argument kG65Arguments[] = {{'A', 1},  {'B', 2},  {'C', 3},  {'I', 4},  {'J', 5},  {'K', 6},  {'D', 7},
                                                {'E', 8},  {'F', 9},  {'H', 11}, {'M', 13}, {'Q', 17}, {'R', 18}, {'S', 19},
                                                {'T', 20}, {'U', 21}, {'V', 22}, {'W', 23}, {'X', 24}, {'Y', 25}, {'Z', 26}};

} // namespace interp
