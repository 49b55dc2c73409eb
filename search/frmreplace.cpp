#include "frmreplace.h"

#include "replace.h"

#include "globalvar.h"
#include "host.h"
#include "linestore.h"
#include "tessarc.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

using search::named;
using search::ReplaceMode;

namespace {

const QString kReplaceValueCaption = QStringLiteral("Then Replace The Value of          With");
// The caption up to the gap where txtReplaceAxis stands.
const QString kBeforeGap = QStringLiteral("Then Replace The Value of ");
const QString kNumberRequired = QStringLiteral("(Number Required)");

} // namespace

frmReplace::frmReplace(Host &host, QWidget *owner) : SearchWindow(host, owner, QStringLiteral("Replace"))
{
    setObjectName(QStringLiteral("frmReplace"));
    Label1 = named(new QLabel(QStringLiteral("Find"), this), "Label1");
    txtFind = named(new QLineEdit(this), "txtFind");
    Label3 = named(new QLabel(QStringLiteral("Replace With"), this), "Label3");
    txtReplace = named(new QLineEdit(this), "txtReplace");
    case1 = named(new QCheckBox(QStringLiteral("Match Case"), this), "case1");
    Frame3 = named(new QGroupBox(this), "Frame3");
    r1 = named(new QRadioButton(QStringLiteral("Replace Found Text"), Frame3), "r1");
    r2 = named(new QRadioButton(QStringLiteral("Replace Whole Line"), Frame3), "r2");
    r3 = named(new QRadioButton(QStringLiteral("Append To Line"), Frame3), "r3");
    r1->setChecked(true);
    auto *actions = new QHBoxLayout(Frame3);
    actions->setContentsMargins(6, 2, 6, 2);
    for (QRadioButton *option : {r1, r2, r3})
        actions->addWidget(option);
    Go->setText(QStringLiteral("&Replace"));

    Label5 = named(new QLabel(QStringLiteral("Find Where The"), this), "Label5");
    txtAxis = named(new QLineEdit(this), "txtAxis");
    Label4 = named(new QLabel(QStringLiteral("Axis Is"), this), "Label4");
    search::makeComparison(this, Frame1, g, l, e, n);
    txtValue = named(new QLineEdit(this), "txtValue");
    Label7 = named(new QLabel(kNumberRequired, this), "Label7");

    Label6 = named(new QLabel(kReplaceValueCaption, this), "Label6");
    txtReplaceAxis = named(new QLineEdit(Label6), "txtReplaceAxis");
    txtReplaceValue = named(new QLineEdit(this), "txtReplaceValue");
    Label10 = named(new QLabel(kNumberRequired, this), "Label10");
    go2 = named(new QPushButton(QStringLiteral("R&eplace"), this), "go2");

    Label8 = named(new QLabel(QStringLiteral("Then Find"), this), "Label8");
    Text1 = named(new QLineEdit(this), "Text1");
    Label9 = named(new QLabel(QStringLiteral("And Replace With"), this), "Label9");
    Text2 = named(new QLineEdit(this), "Text2");
    case2 = named(new QCheckBox(QStringLiteral("Match Case"), this), "case2");
    go3 = named(new QPushButton(QStringLiteral("Re&place"), this), "go3");

    Label11 = named(new QLabel(QStringLiteral("Replace Whole Line With"), this), "Label11");
    txtReplaceLine = named(new QLineEdit(this), "txtReplaceLine");
    go4 = named(new QPushButton(QStringLiteral("Rep&lace"), this), "go4");
    Label12 = named(new QLabel(QStringLiteral("Append The Line With"), this), "Label12");
    txtAppendLine = named(new QLineEdit(this), "txtAppendLine");
    go5 = named(new QPushButton(QStringLiteral("Repl&ace"), this), "go5");

    Label1->setBuddy(txtFind);
    Label3->setBuddy(txtReplace);
    Label5->setBuddy(txtAxis);
    Label8->setBuddy(Text1);
    Label9->setBuddy(Text2);
    Label11->setBuddy(txtReplaceLine);
    Label12->setBuddy(txtAppendLine);
    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    txtAxis->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("WWW")) + 16);
    for (QLineEdit *number : {txtValue, txtReplaceValue})
        number->setMaximumWidth(digit * 12 + 16);
    txtFind->setMinimumWidth(digit * 30);

    // txtReplaceAxis stands in the gap of Label6's caption: "Then Replace The Value of [Y] With".
    const QFontMetrics label(Label6->font());
    Label6->setMinimumWidth(label.horizontalAdvance(kReplaceValueCaption) + 4);
    Label6->setMinimumHeight(txtReplaceAxis->sizeHint().height());
    Label6->installEventFilter(this);

    // Label, field, button: one row a mode, the axis condition shared by modes 2 to 5.
    auto *grid = new QGridLayout;
    ownFields()->addLayout(grid);
    int row = 0;
    grid->addWidget(Label1, row, 0);
    grid->addWidget(txtFind, row++, 1);
    grid->addWidget(Label3, row, 0);
    grid->addWidget(txtReplace, row++, 1);
    auto *textAction = new QHBoxLayout;
    textAction->addWidget(case1);
    textAction->addWidget(Frame3);
    textAction->addStretch(1);
    grid->addLayout(textAction, row, 1);
    grid->addWidget(Go, row++, 2);

    auto *condition = new QHBoxLayout;
    condition->addWidget(txtAxis);
    condition->addWidget(Label4);
    condition->addWidget(Frame1);
    condition->addWidget(txtValue);
    condition->addWidget(Label7);
    condition->addStretch(1);
    grid->addWidget(Label5, row, 0);
    grid->addLayout(condition, row++, 1);

    auto *setValue = new QHBoxLayout;
    setValue->addWidget(Label6);
    setValue->addWidget(txtReplaceValue);
    setValue->addWidget(Label10);
    setValue->addStretch(1);
    grid->addLayout(setValue, row, 0, 1, 2);
    grid->addWidget(go2, row++, 2);

    auto *thenFind = new QHBoxLayout;
    thenFind->addWidget(Text1, 1);
    thenFind->addWidget(Label9);
    thenFind->addWidget(Text2, 1);
    thenFind->addWidget(case2);
    grid->addWidget(Label8, row, 0);
    grid->addLayout(thenFind, row, 1);
    grid->addWidget(go3, row++, 2);

    grid->addWidget(Label11, row, 0);
    grid->addWidget(txtReplaceLine, row, 1);
    grid->addWidget(go4, row++, 2);
    grid->addWidget(Label12, row, 0);
    grid->addWidget(txtAppendLine, row, 1);
    grid->addWidget(go5, row++, 2);
    grid->setColumnStretch(1, 1);

    // The range is the search's length.
    if (auto *range = findChild<QGroupBox *>(QStringLiteral("rangeBox"))) {
        range->setObjectName(QStringLiteral("Frame2"));
        range->setTitle(QStringLiteral("Search Length"));
    }

    addRunButton(Go, QStringLiteral("Replace"), Frame3);
    addRunButton(go2, QStringLiteral("Replace"), txtReplaceValue);
    addRunButton(go3, QStringLiteral("Replace"), case2);
    addRunButton(go4, QStringLiteral("Replace"), txtReplaceLine);
    addRunButton(go5, QStringLiteral("Replace"), txtAppendLine);
    // Enter runs the action whose fields it is pressed in; the condition and the range belong to
    // several actions, so there it runs none.
    const std::pair<QWidget *, QPushButton *> enter[] = {
        {txtFind, Go},          {txtReplace, Go},        {case1, Go},          {Frame3, Go},
        {txtReplaceAxis, go2},  {txtReplaceValue, go2},  {Text1, go3},         {Text2, go3},
        {case2, go3},           {txtReplaceLine, go4},   {txtAppendLine, go5}, {txtAxis, nullptr},
        {Frame1, nullptr},      {txtValue, nullptr},     {ALL, nullptr},       {LINE2LINE, nullptr},
        {StartLine, nullptr},   {EndLine, nullptr}};
    for (const auto &[field, button] : enter)
        pressWithEnter(field, button);

    connect(txtAxis, &QLineEdit::textChanged, this, &frmReplace::txtAxis_Change);
    setFirstField(txtFind);
}

bool frmReplace::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label6 && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
        placeReplaceAxis();
    return SearchWindow::eventFilter(watched, event);
}

void frmReplace::placeReplaceAxis()
{
    const QFontMetrics metrics(Label6->font());
    const int left = metrics.horizontalAdvance(kBeforeGap);
    const int gap = metrics.horizontalAdvance(kReplaceValueCaption.left(kReplaceValueCaption.lastIndexOf(QLatin1Char(' '))))
                    - left;
    const int height = txtReplaceAxis->sizeHint().height();
    const QRect text = Label6->contentsRect();
    txtReplaceAxis->setGeometry(text.left() + left, text.top() + (text.height() - height) / 2, std::max(gap, 24),
                                height);
}

void frmReplace::txtAxis_Change()
{
    const QString upper = search::axisCapitals(txtAxis->text());
    if (upper == txtAxis->text())
        return;
    const int cursor = txtAxis->cursorPosition();
    const QSignalBlocker block(txtAxis);
    txtAxis->setText(upper);
    txtAxis->setCursorPosition(cursor);
}

QPushButton *frmReplace::button(ReplaceMode mode) const
{
    switch (mode) {
    case ReplaceMode::SetValue:
        return go2;
    case ReplaceMode::ReplaceText:
        return go3;
    case ReplaceMode::WholeLine:
        return go4;
    case ReplaceMode::AppendLine:
        return go5;
    case ReplaceMode::Text:
        break;
    }
    return Go;
}

ReplaceMode frmReplace::mode() const
{
    for (ReplaceMode m : {ReplaceMode::SetValue, ReplaceMode::ReplaceText, ReplaceMode::WholeLine,
                          ReplaceMode::AppendLine}) {
        if (pressed() == button(m))
            return m;
    }
    return ReplaceMode::Text;
}

search::ReplaceSettings frmReplace::settings() const
{
    search::ReplaceSettings s;
    s.find = txtFind->text();
    s.replacement = txtReplace->text();
    s.action = r2->isChecked()   ? search::TextAction::ReplaceWholeLine
               : r3->isChecked() ? search::TextAction::AppendToLine
                                 : search::TextAction::ReplaceFound;
    s.matchCase = case1->isChecked();
    s.axis = txtAxis->text();
    s.comparison = search::chosenComparison(l, e, n);
    s.value = txtValue->text();
    s.replaceAxis = txtReplaceAxis->text();
    s.replaceValue = txtReplaceValue->text();
    s.thenFind = Text1->text();
    s.thenReplace = Text2->text();
    s.thenMatchCase = case2->isChecked();
    s.wholeLine = txtReplaceLine->text();
    s.appendText = txtAppendLine->text();
    return s;
}

std::unique_ptr<tools::Tool> frmReplace::makeTool() const
{
    auto tool = std::make_unique<search::ReplaceTool>();
    tool->settings = settings();
    tool->mode = mode();
    tool->fields = rangeFields();
    return tool;
}
