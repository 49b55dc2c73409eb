#pragma once

#include "pointcloud.h"
#include "toolwindow.h"

// Export Point Cloud: the X, Y and Z of a range written as a file of points, one a line. It only
// reads the program; the file appears whole once the export has finished.
class frmExportPC : public tools::ToolWindow
{
    Q_OBJECT

public:
    explicit frmExportPC(Host &host);

    QRadioButton *o1 = nullptr;   // "Point Saved For Every Line"
    QRadioButton *o2 = nullptr;   // "Point Saved For Every Line With An X, Y, or Z"
    QLabel *Label1 = nullptr;     // "Export to:"
    QPushButton *text1 = nullptr; // the output file's path

    // Proposes the output file for the loaded program; runs when the window opens and when
    // another program is loaded.
    void proposeTarget();
    // Lets the machinist pick the output file with the save dialog.
    void text1_Click();
    // The output file as chosen.
    QString target() const { return m_target; }
    void setTarget(const QString &path);

    // Export Point Cloud is not a macro step.
    QString stepName() const override { return QString(); }
    QString stepSettings() const override { return QString(); }

protected:
    std::optional<QString> checkFields() const override;
    QString runOn(const tools::LineRange &range) override;

private:
    QString m_target;
};
