#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class mainform;

// The About box: the program's title, version, legal notice and the maker's web address.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(mainform &owner);

    QLabel *Label1;
    QLabel *label2;
    QLabel *Label3;
    QLabel *Label8;
    QPushButton *Command1;
};
