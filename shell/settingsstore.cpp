#include "settingsstore.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>

#include <cmath>

namespace {

QString configFolder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/vornexa");
}

// A program title as a file name: path separators and other awkward characters become "_".
QString safeFileName(const QString &title)
{
    QString name = title;
    name.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f]")), QStringLiteral("_"));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("_");
    return name;
}

QString keyOf(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

} // namespace

SettingsStore::SettingsStore(const QString &title)
{
    setTitle(title);
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::setTitle(const QString &title)
{
    if (m_settings)
        m_settings->sync();
    m_title = title;
    QDir().mkpath(configFolder());
    m_settings = std::make_unique<QSettings>(configFolder() + QLatin1Char('/') + safeFileName(title) +
                                                 QStringLiteral(".ini"),
                                             QSettings::IniFormat);
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

bool SettingsStore::contains(const QString &section, const QString &key) const
{
    return m_settings->contains(keyOf(section, key));
}

QString SettingsStore::text(const QString &section, const QString &key, const QString &fallback) const
{
    const QVariant v = m_settings->value(keyOf(section, key));
    if (!v.isValid())
        return fallback;
    // A value with a comma reads back as a list; it is one text to us.
    if (v.userType() == QMetaType::QStringList)
        return v.toStringList().join(QLatin1Char(','));
    return v.toString();
}

bool SettingsStore::parseBoolean(const QString &text, bool fallback)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? v != 0.0 : fallback;
}

double SettingsStore::parseNumber(const QString &text, double fallback)
{
    static const QRegularExpression leading(QStringLiteral("^\\s*[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?"));
    const QRegularExpressionMatch m = leading.match(text);
    if (!m.hasMatch())
        return fallback;
    return m.captured(0).trimmed().toDouble();
}

bool SettingsStore::boolean(const QString &section, const QString &key, bool fallback) const
{
    if (!contains(section, key))
        return fallback;
    return parseBoolean(text(section, key, QString()), fallback);
}

qint64 SettingsStore::integer(const QString &section, const QString &key, qint64 fallback) const
{
    if (!contains(section, key))
        return fallback;
    const double v = parseNumber(text(section, key, QString()), static_cast<double>(fallback));
    return static_cast<qint64>(std::nearbyint(v));
}

double SettingsStore::number(const QString &section, const QString &key, double fallback) const
{
    if (!contains(section, key))
        return fallback;
    return parseNumber(text(section, key, QString()), fallback);
}

void SettingsStore::setText(const QString &section, const QString &key, const QString &value)
{
    m_settings->setValue(keyOf(section, key), value);
}

void SettingsStore::setBoolean(const QString &section, const QString &key, bool value)
{
    setText(section, key, booleanText(value));
}

void SettingsStore::setInteger(const QString &section, const QString &key, qint64 value)
{
    setText(section, key, QString::number(value));
}

void SettingsStore::setNumber(const QString &section, const QString &key, double value)
{
    setText(section, key, QString::number(value, 'g', 15));
}

void SettingsStore::sync()
{
    m_settings->sync();
}
