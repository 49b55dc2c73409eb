#include "frmreclen.h"

#include "globalvar.h"
#include "host.h"
#include "settingsstore.h"
#include "prompts.h"
#include "tessarc.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <cmath>

namespace {

constexpr int kShortest = 5;
constexpr int kLongest = 32750;

// A text that is a number as a whole: an optionally signed decimal with an optional exponent
// ("E" or "D"), or "&H" hexadecimal / "&O" octal digits; spaces around it are allowed.
std::optional<double> numberOf(const QString &text)
{
    const QString t = text.trimmed();
    static const QRegularExpression decimal(QStringLiteral("^[-+]?(\\d+\\.?\\d*|\\.\\d+)([eEdD][-+]?\\d+)?$"));
    static const QRegularExpression based(QStringLiteral("^&([hHoO])([0-9A-Fa-f]+)$"));
    if (decimal.match(t).hasMatch()) {
        QString plain = t;
        plain.replace(QLatin1Char('d'), QLatin1Char('e')).replace(QLatin1Char('D'), QLatin1Char('e'));
        bool ok = false;
        const double v = plain.toDouble(&ok);
        if (ok && std::isfinite(v))
            return v;
        return std::nullopt;
    }
    const QRegularExpressionMatch m = based.match(t);
    if (m.hasMatch()) {
        const bool hex = m.captured(1).compare(QLatin1String("h"), Qt::CaseInsensitive) == 0;
        bool ok = false;
        const qulonglong v = m.captured(2).toULongLong(&ok, hex ? 16 : 8);
        if (ok)
            return static_cast<double>(v);
    }
    return std::nullopt;
}

} // namespace

frmRecLen::frmRecLen(Host &host) : QDialog(host.mainWindow()), m_host(host)
{
    setObjectName(QStringLiteral("frmRecLen"));
    setWindowTitle(QStringLiteral("Please set the record length"));
    Label1 = new QLabel(QStringLiteral("A smaller value will be faster, but a larger value will allow you to have more "
                                       "characters per line."),
                        this);
    Label2 = new QLabel(QStringLiteral("Value ="), this);
    txtValue = new QLineEdit(this);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    txtValue->setObjectName(QStringLiteral("txtValue"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    Label1->setWordWrap(true);
    Label1->setMinimumWidth(320);
    Label2->setBuddy(txtValue);
    cmdOK->setDefault(true);
    auto *grid = new QGridLayout(this);
    grid->addWidget(Label1, 0, 0, 1, 3);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(txtValue, 1, 1);
    grid->addWidget(cmdOK, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    connect(cmdOK, &QPushButton::clicked, this, &frmRecLen::cmdOK_Click);
    Form_Load();
}

void frmRecLen::Form_Load()
{
    m_host.applyIcon(this);
    txtValue->setText(QString::number(m_host.values().io.recLen));
}

std::optional<int> frmRecLen::recordLengthOf(const QString &text)
{
    const std::optional<double> value = numberOf(text);
    if (!value || *value < kShortest || *value > kLongest)
        return std::nullopt;
    // Rounded as the store's integers are: halves to the even neighbour.
    return static_cast<int>(std::nearbyint(*value));
}

void frmRecLen::cmdOK_Click()
{
    const std::optional<int> length = recordLengthOf(txtValue->text());
    if (!length) {
        m_host.prompts().message(this, QStringLiteral("Bad Value."), m_host.values().brand.programTitle);
        return;
    }
    TESSARC &editor = m_host.editor();
    m_host.values().io.recLen = *length;
    m_host.values().io.writeRecLen(m_host.settings());
    // The open program's store is laid out in records of the length it was opened with: it keeps
    // them, and the new length applies from the next program opened (this one again included).
    if (editor.lfile.isEmpty())
        editor.recLen = *length;
    else if (*length != editor.recLen)
        m_host.prompts().message(this,
                                 QStringLiteral("The open program keeps records of %1 bytes until it is opened again; "
                                                "programs opened from now on use records of %2 bytes.")
                                     .arg(editor.recLen)
                                     .arg(*length),
                                 m_host.values().brand.programTitle);
    close();
}
