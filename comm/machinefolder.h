#pragma once

#include "commerror.h"
#include "machineprofile.h"
#include "machinesetup.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class SettingsStore;

// The machine profiles of the program folder's "m" subfolder, one file "<name>.qen" each, and beside
// a profile its machine's setup, "<name>.setup", when it has one of its own. Files are
// written whole to a temporary file and renamed into place, so a failure never leaves a half-written
// or lost profile. Failures throw ControlError; where the Manage Machines window has a message for
// one, the description is exactly that message.
namespace comm {

// The window's own messages for the folder's refusals.
QString machineMissingText();   // "Machine does not exist."
QString nameTakenText();        // "Sorry you already have a machine with that name." (title "ERROR")
QString renameTakenText();      // "Sorry, that name is already in use. Machine will not be saved."

// Why a name cannot be a machine's (and so a file's) name, or nothing when it can: it is empty,
// holds "/" or the NUL character, starts with ".", holds a character past Latin-1, or is too long
// for a file name.
std::optional<QString> checkMachineName(const QString &name);

// The machine last chosen in the send or receive window: key LASTUSED of section MACHINE, "" at first.
QString lastUsedMachine(const SettingsStore &settings);
void rememberMachine(SettingsStore &settings, const QString &name);

class MachineFolder
{
public:
    explicit MachineFolder(QString path);
    // The "m" subfolder of the program folder.
    static MachineFolder standard();

    const QString &path() const { return m_path; }
    QString fileOf(const QString &name) const;
    QString setupFileOf(const QString &name) const;

    // The machine list: the names of the "*.qen" files, without ".qen", sorted ignoring case.
    QStringList names() const;
    bool contains(const QString &name) const;

    // The profile of a machine. A missing file throws FileNotFound with machineMissingText(); a
    // damaged one InputPastEndOfFile naming the file. The record's own name is replaced by the
    // file's, which is what the machine is called everywhere.
    MachineProfile read(const QString &name) const;
    // Writes a profile to the file of its name, creating the folder when needed.
    void write(const MachineProfile &profile) const;
    // Add New: writes a new profile named `name`, whose setup is the defaults (a setup file left of an
    // earlier machine of that name is removed). A name that has a file throws FileAlreadyExists
    // with nameTakenText(); a bad name BadFileName with checkMachineName()'s text.
    MachineProfile create(const QString &name) const;
    // Update Changes for the machine loaded as `loadedName`: rewritten in its own file when the name
    // is unchanged; otherwise renamed, refused with renameTakenText() when the new name has a file.
    // A rename writes the new files before it removes the old ones, and takes the setup along: the
    // machine under its new name has exactly the setup it had.
    void update(const QString &loadedName, const MachineProfile &profile) const;
    // Remove: deletes the machine's profile, then its setup; a missing file is no failure.
    void remove(const QString &name) const;

    // The setup of a machine. With no setup file, the defaults and no warning; with one that cannot
    // be read or is damaged, the defaults and a warning that names the file and what is wrong.
    interp::MachineSetup readSetup(const QString &name, QString &warning) const;
    // Writes a machine's setup to its setup file, whole and safely; the profile is not touched. A bad
    // name throws BadFileName; a setup with a problem() InvalidPropertyValue with that problem; a
    // file that cannot be written PathFileAccessError or DeviceIoError, the old file as it was.
    void writeSetup(const QString &name, const interp::MachineSetup &setup) const;

private:
    void writeFile(const QString &path, const QByteArray &bytes, const QString &what) const;
    // Removes a file when it is there; one that stays throws with failure(the system's reason).
    void removeFile(const QString &path, const std::function<QString(const QString &)> &failure) const;

    QString m_path;
};

} // namespace comm
