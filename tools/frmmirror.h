#pragma once

#include "mirror.h"
#include "toolwindow.h"

class QCheckBox;

// Mirror: one letter's values reflected about a position, with the arc directions and the cutter
// compensation sides swapped on the same lines.
class frmMirror : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmMirror(Host &host, QWidget *owner = nullptr);

    QLabel *Label3 = nullptr; // "Axis:"
    QLineEdit *txtAxis = nullptr;
    QLabel *Label4 = nullptr; // "Mirror At:" and "(Number Required)"
    QLineEdit *txtValue = nullptr;
    QCheckBox *g02g03 = nullptr; // "G02 <--> G03"
    QCheckBox *g41g42 = nullptr; // "G41 <--> G42"

    tools::MirrorSettings settings() const;
    std::unique_ptr<tools::Tool> makeTool() const override;
};
