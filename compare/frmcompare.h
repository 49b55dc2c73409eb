#pragma once

#include "programcompare.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <memory>

class Host;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace compare {

// The two programs side by side, a row for each line of either, aligned: equal lines beside each
// other, a difference's lines beside each other with the side that has fewer left blank. Lines are
// read from the stores as rows are shown.
class CompareModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ALine, AText, BLine, BText };
    static QColor removedColour() { return QColor(255, 215, 215); }
    static QColor insertedColour() { return QColor(215, 250, 215); }
    static QColor changedColour() { return QColor(255, 246, 200); }
    static QColor wordColour() { return QColor(255, 190, 110); }
    // The spans of a row's text that are changed words (a QList<QPoint> of start and length).
    static constexpr int kChangedWordsRole = Qt::UserRole + 1;

    CompareModel(tessarc::Program &a, tessarc::Program &b, QObject *parent = nullptr);
    void setResult(const Result &result, const Rules &rules);
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The row difference `i` begins at.
    qint64 rowOf(qsizetype difference) const;

private:
    struct Segment
    {
        qint64 row = 0;    // its first row
        qint64 rows = 0;
        qint64 aFirst = 0; // the line of A its first row shows (for an insertion, the next one)
        qint64 aCount = 0;
        qint64 bFirst = 0;
        qint64 bCount = 0;
        qsizetype difference = -1; // -1: equal lines
    };
    const Segment &segmentOf(qint64 row) const;
    QByteArray lineOf(tessarc::Program &program, qint64 line) const;

    tessarc::Program &m_a;
    tessarc::Program &m_b;
    Rules m_rules;
    QList<Segment> m_segments;
    qint64 m_rows = 0;
};

// File > Compare With...: the open program (on the left) against another, as programs, under rules
// the machinist may turn off; a count of the differences, the next and previous (F8, Shift+F8), and
// a difference taken over into the open program, one Undo step each.
class frmCompare : public QWidget
{
    Q_OBJECT

public:
    explicit frmCompare(Host &host, QWidget *parent = nullptr);
    ~frmCompare() override;

    QCheckBox *chkN = nullptr;        // "N words"
    QCheckBox *chkSpaces = nullptr;   // "Spaces"
    QCheckBox *chkCase = nullptr;     // "Case"
    QCheckBox *chkValue = nullptr;    // "Numbers as written"
    QCheckBox *chkComments = nullptr; // "Comments"
    QLineEdit *txtTolerance = nullptr;
    QPushButton *cmdCompare = nullptr; // "&Compare"; "Stop n%" while comparing
    QLabel *lblCount = nullptr;
    QPushButton *cmdPrevious = nullptr;
    QPushButton *cmdNext = nullptr;
    QPushButton *cmdTake = nullptr;    // "&Take Over"
    QTableView *grid = nullptr;

    // Asks for the program to compare with (none: the window closes) and compares.
    void Form_Load();
    // Compares the open program with `file`.
    bool compareWith(const QString &file);
    // Compares again under the rules as the boxes say.
    bool cmdCompare_Click();
    void cmdNext_Click();
    void cmdPrevious_Click();
    // Puts the current difference's lines of the other program in place of the open program's.
    void cmdTake_Click();

    const Result &result() const { return m_result; }
    qsizetype current() const { return m_current; }
    CompareModel *model() const { return m_model.get(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    Rules rulesOfTheBoxes(bool &ok);
    void showCurrent();
    void programChanged();

    Host &m_host;
    std::unique_ptr<LoadedFile> m_other;
    QString m_otherFile;
    std::unique_ptr<CompareModel> m_model;
    Result m_result;
    Rules m_rules;
    qsizetype m_current = -1;
    bool m_running = false;
    bool m_stop = false;
    bool m_taking = false; // the window's own change of the program
    bool m_stale = false;
};

// Puts the window behind File > Compare With...
void registerWindows(Host &host);

} // namespace compare
