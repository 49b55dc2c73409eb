#pragma once

#include <QString>
#include <memory>

class QSettings;

// The per-user settings store: text values addressed by (program title, section, key), kept in one
// INI file per program title under the user's configuration folder. Every read names its default.
// Values are written exactly as the program's own forms: "True"/"False", decimal integers, texts.
class SettingsStore
{
public:
    explicit SettingsStore(const QString &title);
    ~SettingsStore();

    // Moves to another program title (a branded copy keeps its settings apart).
    void setTitle(const QString &title);
    const QString &title() const { return m_title; }
    QString fileName() const;

    QString text(const QString &section, const QString &key, const QString &fallback) const;
    bool boolean(const QString &section, const QString &key, bool fallback) const;
    qint64 integer(const QString &section, const QString &key, qint64 fallback) const;
    double number(const QString &section, const QString &key, double fallback) const;
    bool contains(const QString &section, const QString &key) const;

    void setText(const QString &section, const QString &key, const QString &value);
    void setBoolean(const QString &section, const QString &key, bool value);
    void setInteger(const QString &section, const QString &key, qint64 value);
    void setNumber(const QString &section, const QString &key, double value);
    // Writes what was set to the file now.
    void sync();

    // The text of a boolean as the store holds it.
    static QString booleanText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }
    // A stored text read as a boolean: "True"/"False" in any case, or a number (not 0 is true).
    static bool parseBoolean(const QString &text, bool fallback);
    // The leading decimal number of a text; `fallback` when it has none.
    static double parseNumber(const QString &text, double fallback);

private:
    QString m_title;
    std::unique_ptr<QSettings> m_settings;
};
