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
const QString kSetupSuffix = QStringLiteral(".setup");
// A setup file is a page of text; anything much larger is not one.
constexpr qint64 kLargestSetup = 1024 * 1024;

// "Machine "Mill" cannot be saved", as a failure to write a profile starts.
QString cannotSave(const QString &name)
{
    return QStringLiteral("Machine \"%1\" cannot be saved").arg(name);
}

QString cannotSaveSetup(const QString &name)
{
    return QStringLiteral("The setup of machine \"%1\" cannot be saved").arg(name);
}

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

QString MachineFolder::setupFileOf(const QString &name) const
{
    return m_path + QLatin1Char('/') + name + kSetupSuffix;
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

void MachineFolder::writeFile(const QString &path, const QByteArray &bytes, const QString &what) const
{
    if (!QDir().mkpath(m_path))
        throw ControlError(ControlError::PathFileAccessError,
                           QStringLiteral("The machine folder %1 cannot be made.").arg(m_path));
    tessarc::SafeFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw ControlError(ControlError::PathFileAccessError, QStringLiteral("%1: %2.").arg(what, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw ControlError(ControlError::DeviceIoError, QStringLiteral("%1: %2.").arg(what, file.errorString()));
}

void MachineFolder::removeFile(const QString &path, const std::function<QString(const QString &)> &failure) const
{
    QFile file(path);
    if (file.exists() && !file.remove())
        throw ControlError(ControlError::PathFileAccessError, failure(file.errorString()));
}

void MachineFolder::write(const MachineProfile &profile) const
{
    if (const std::optional<QString> bad = checkMachineName(profile.name))
        throw ControlError(BadFileName, *bad);
    const QByteArray bytes = encodeProfile(profile); // before anything is touched
    writeFile(fileOf(profile.name), bytes, cannotSave(profile.name));
}

MachineProfile MachineFolder::create(const QString &name) const
{
    if (const std::optional<QString> bad = checkMachineName(name))
        throw ControlError(BadFileName, *bad);
    if (QFileInfo::exists(fileOf(name)))
        throw ControlError(FileAlreadyExists, nameTakenText());
    MachineProfile profile = newProfile(name);
    // A new machine starts from the default setup, not from one a machine of its name left behind.
    removeFile(setupFileOf(name), [&](const QString &why) {
        return QStringLiteral("Machine \"%1\" cannot be made: the setup file %2 left of an earlier machine of that "
                              "name cannot be removed: %3.")
            .arg(name, setupFileOf(name), why);
    });
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
    const QByteArray bytes = encodeProfile(profile); // before anything is touched

    // The setup goes first, so that the machine is never found under its new name without it; a
    // setup file the new name had of an earlier machine is not this machine's.
    const QString oldSetup = setupFileOf(loadedName);
    const QString newSetup = setupFileOf(profile.name);
    bool setupCopied = false;
    if (QFileInfo::exists(oldSetup)) {
        QFile file(oldSetup);
        QByteArray setup;
        if (file.open(QIODevice::ReadOnly))
            setup = file.readAll();
        if (!file.isOpen() || file.error() != QFileDevice::NoError)
            throw ControlError(ControlError::PathFileAccessError,
                               QStringLiteral("%1: its setup file %2 cannot be read: %3.")
                                   .arg(cannotSave(profile.name), oldSetup, file.errorString()));
        writeFile(newSetup, setup, cannotSaveSetup(profile.name));
        setupCopied = true;
    } else {
        removeFile(newSetup, [&](const QString &why) {
            return QStringLiteral("%1: the setup file %2 left of an earlier machine of that name cannot be removed: %3.")
                .arg(cannotSave(profile.name), newSetup, why);
        });
    }
    try {
        writeFile(fileOf(profile.name), bytes, cannotSave(profile.name));
    } catch (const ControlError &) {
        if (setupCopied)
            QFile::remove(newSetup);
        throw;
    }
    removeFile(fileOf(loadedName), [&](const QString &why) {
        return QStringLiteral("Machine \"%1\" was saved, but the file of its old name %2 cannot be removed: %3.")
            .arg(profile.name, fileOf(loadedName), why);
    });
    removeFile(oldSetup, [&](const QString &why) {
        return QStringLiteral("Machine \"%1\" was saved, but the setup file of its old name %2 cannot be removed: %3.")
            .arg(profile.name, oldSetup, why);
    });
}

void MachineFolder::remove(const QString &name) const
{
    if (checkMachineName(name))
        return;
    // The profile first: a machine is never left without its setup.
    removeFile(fileOf(name), [&](const QString &why) {
        return QStringLiteral("Machine \"%1\" cannot be removed: %2.").arg(name, why);
    });
    removeFile(setupFileOf(name), [&](const QString &why) {
        return QStringLiteral("Machine \"%1\" was removed, but its setup file %2 cannot be removed: %3.")
            .arg(name, setupFileOf(name), why);
    });
}

interp::MachineSetup MachineFolder::readSetup(const QString &name, QString &warning) const
{
    warning.clear();
    if (checkMachineName(name))
        return {};
    const QString path = setupFileOf(name);
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    const QString whose = QStringLiteral("The setup of machine %1 (%2)").arg(name, path);
    const QString defaultsUsed = QStringLiteral("; the defaults are used.");
    if (!info.isFile()) {
        warning = whose + QStringLiteral(" is not a file") + defaultsUsed;
        return {};
    }
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly) && file.size() <= kLargestSetup)
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        warning = whose + QStringLiteral(" cannot be read: ") + file.errorString() + defaultsUsed;
        return {};
    }
    if (file.size() > kLargestSetup) {
        warning = whose + QStringLiteral(" is damaged: at %1 bytes it is too large to be a setup").arg(file.size()) +
                  defaultsUsed;
        return {};
    }
    QString error;
    const std::optional<interp::MachineSetup> setup = interp::MachineSetup::decode(bytes, error);
    if (!setup) {
        warning = whose + QStringLiteral(" is damaged: ") + error + defaultsUsed;
        return {};
    }
    return *setup;
}

void MachineFolder::writeSetup(const QString &name, const interp::MachineSetup &setup) const
{
    if (const std::optional<QString> bad = checkMachineName(name))
        throw ControlError(BadFileName, *bad);
    if (!contains(name))
        throw ControlError(ControlError::FileNotFound, machineMissingText());
    if (const std::optional<QString> problem = setup.problem())
        throw ControlError(InvalidPropertyValue, QStringLiteral("%1: %2.").arg(cannotSaveSetup(name), *problem));
    writeFile(setupFileOf(name), setup.encode(), cannotSaveSetup(name));
}

} // namespace comm
