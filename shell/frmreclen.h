#pragma once

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class Host;

// Sets the record length of the editor's line store, before the first program is loaded: 5 to
// 32750 bytes, a smaller value faster, a larger one holding longer lines.
class frmRecLen : public QDialog
{
    Q_OBJECT

public:
    explicit frmRecLen(Host &host);

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr; // "Value ="
    QLineEdit *txtValue = nullptr;
    QPushButton *cmdOK = nullptr;

    void Form_Load();
    void cmdOK_Click();

    // The record length a text asks for: nothing when it is not a number or lies outside 5 to
    // 32750; otherwise the value rounded to a whole number, halves to the even neighbour.
    static std::optional<int> recordLengthOf(const QString &text);

private:
    Host &m_host;
};
