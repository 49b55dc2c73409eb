#include "machinefolder.h"

#include "programfolder.h"
#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include "safefile.h"

namespace comm {

namespace {

// Longest file name most Linux file systems take, in bytes.
constexpr qsizetype kLongestFileName = 255;
const QString kSuffix = QStringLiteral(".qen");

} // namespace

QString machineMissingText()
{
    return QStringLiteral("Machine does not exist.");
}

QString nameTakenText()
{
    return QStringLiteral("Sorry you already have a machine with that name.");
}

QString renameTakenText()
{
    return QStringLiteral("Sorry, that name is already in use. Machine will not be saved.");
}

std::optional<QString> checkMachineName(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("A machine needs a name.");
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return QStringLiteral("A machine name cannot hold \"/\" or the NUL character.");
    if (name.startsWith(QLatin1Char('.')))
        return QStringLiteral("A machine name cannot start with \".\".");
    for (QChar c : name) {
        if (c.unicode() > 0xFF)
            return QStringLiteral("A machine name cannot hold the character \"%1\".").arg(c);
    }
    const qsizetype longest = kLongestFileName - kSuffix.size();
    if (QFile::encodeName(name).size() > longest)
        return QStringLiteral("A machine name can be at most %1 characters long.").arg(longest);
    return std::nullopt;
}

QString lastUsedMachine(const SettingsStore &settings)
{
    return settings.text(QStringLiteral("MACHINE"), QStringLiteral("LASTUSED"), QString());
}

void rememberMachine(SettingsStore &settings, const QString &name)
{
    settings.setText(QStringLiteral("MACHINE"), QStringLiteral("LASTUSED"), name);
}

MachineFolder::MachineFolder(QString path) : m_path(std::move(path)) {}

MachineFolder MachineFolder::standard()
{
    return MachineFolder(QDir(tessarc::programFolder()).filePath(QStringLiteral("m")));
}

QString MachineFolder::fileOf(const QString &name) const
{
    return m_path + QLatin1Char('/') + name + kSuffix;
}

QStringList MachineFolder::names() const
{
    QStringList names = QDir(m_path).entryList({QStringLiteral("*") + kSuffix},
                                               QDir::Files | QDir::CaseSensitive, QDir::Name | QDir::IgnoreCase);
    for (QString &name : names)
        name.chop(kSuffix.size());
    return names;
}

bool MachineFolder::contains(const QString &name) const
{
    return !checkMachineName(name) && QFileInfo(fileOf(name)).isFile();
}

MachineProfile MachineFolder::read(const QString &name) const
{
    const QString path = fileOf(name);
    QFile file(path);
    if (checkMachineName(name) || !QFileInfo(path).isFile())
        throw ControlError(ControlError::FileNotFound, machineMissingText());
    if (!file.open(QIODevice::ReadOnly))
        throw ControlError(ControlError::PathFileAccessError,
                           QStringLiteral("The machine file %1 cannot be read: %2.").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw ControlError(ControlError::DeviceIoError,
                           QStringLiteral("The machine file %1 cannot be read: %2.").arg(path, file.errorString()));
    MachineProfile profile = decodeProfile(bytes, path);
    profile.name = name;
    return profile;
}

void MachineFolder::write(const MachineProfile &profile) const
{
    if (const std::optional<QString> bad = checkMachineName(profile.name))
        throw ControlError(BadFileName, *bad);
    const QByteArray bytes = encodeProfile(profile); // before anything is touched
    if (!QDir().mkpath(m_path))
        throw ControlError(ControlError::PathFileAccessError,
                           QStringLiteral("The machine folder %1 cannot be made.").arg(m_path));
    tessarc::SafeFile file(fileOf(profile.name));
    if (!file.open(QIODevice::WriteOnly))
        throw ControlError(ControlError::PathFileAccessError,
                           QStringLiteral("Machine \"%1\" cannot be saved: %2.").arg(profile.name, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw ControlError(ControlError::DeviceIoError,
                           QStringLiteral("Machine \"%1\" cannot be saved: %2.").arg(profile.name, file.errorString()));
}

MachineProfile MachineFolder::create(const QString &name) const
{
    if (const std::optional<QString> bad = checkMachineName(name))
        throw ControlError(BadFileName, *bad);
    if (QFileInfo::exists(fileOf(name)))
        throw ControlError(FileAlreadyExists, nameTakenText());
    MachineProfile profile = newProfile(name);
    write(profile);
    return profile;
}

void MachineFolder::update(const QString &loadedName, const MachineProfile &profile) const
{
    if (profile.name == loadedName) {
        write(profile);
        return;
    }
    if (const std::optional<QString> bad = checkMachineName(profile.name))
        throw ControlError(BadFileName, *bad);
    if (QFileInfo::exists(fileOf(profile.name)))
        throw ControlError(FileAlreadyExists, renameTakenText());
    write(profile);
    QFile old(fileOf(loadedName));
    if (old.exists() && !old.remove())
        throw ControlError(ControlError::PathFileAccessError,
                           QStringLiteral("Machine \"%1\" was saved, but the file of its old name %2 cannot be "
                                          "removed: %3.")
                               .arg(profile.name, old.fileName(), old.errorString()));
}

void MachineFolder::remove(const QString &name) const
{
    if (checkMachineName(name))
        return;
    QFile file(fileOf(name));
    if (file.exists() && !file.remove())
        throw ControlError(ControlError::PathFileAccessError,
                           QStringLiteral("Machine \"%1\" cannot be removed: %2.").arg(name, file.errorString()));
}

} // namespace comm
