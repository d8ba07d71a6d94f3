#pragma once
// The per-user settings store: string values addressed by application, section and key, kept
// across runs in one INI file per application and shared between programs (TamoZP, TamoUnZP,
// tamo-clock). Every operation locks the file, reads it whole from disk and, for a change,
// writes it whole through a temporary file and an atomic rename, so two programs always see
// each other's last write and a failed write loses nothing. There is no in-process cache.
// Depends on Qt Core only.
//
// File: <config home>/vb-program-settings/<application>.ini ("/" in the application name written
// "%2F", "%" as "%25"), its text as IniDocument.h describes. Missing folders are created 0700.
// A change is written 0600 to "<file>.tamo-new-XXXXXX" and renamed over the file (through a
// symbolic link at its place, to the file it names); a writer removes such files that a killed
// writer left. The lock is an exclusive flock on "<file>.lock", tried until 2 seconds have
// passed. A read that may not create or open the lock file (a read-only folder, a full disk)
// reads without it: it still sees one whole version. Reads and deletes never create the folder.
//
// Errors (vb::Error; the description is the runtime's text, a space and the file's path, plus
// ":<line>" for a line that does not parse, or the lock file's path for the lock):
//   5  DeleteSetting of a key that is not there; a name that cannot be written
//      (isWritableIniName, isWritableIniKey), raised before the disk is touched;
//   75 a file that does not parse, for every operation, reads included, checked before any
//      lookup, and the file is never rewritten; the lock not obtained within 2 seconds; any
//      I/O failure not listed below (a folder where the file should be, a path under a file);
//   70 permission denied (EACCES, EPERM, EROFS), a read-only file included;
//   61 disk full (ENOSPC, EDQUOT).

#include <QString>

namespace vb {

// The store under one configuration folder. Programs build one from the environment in main
// and hand it to whatever reads or writes settings; tests build one on a temporary folder.
class SettingsStore {
public:
    // $XDG_CONFIG_HOME when it is absolute, else $HOME/.config (the password entry's home when
    // HOME is not absolute), read once, here.
    static SettingsStore fromEnvironment();
    explicit SettingsStore(QString configHome);

    QString configHome() const { return configHome_; }
    // The settings file of an application; touches nothing.
    QString filePath(const QString& app) const;

    // Stores one value (creating the folder, file, section and key as needed).
    void SaveSetting(const QString& app, const QString& section, const QString& key,
                     const QString& value) const;

    // Stores `value` only while the stored value is `expected` (the compare and the write under
    // one lock, so no other program's write can fall between them). True when it stored.
    bool SaveSettingIf(const QString& app, const QString& section, const QString& key,
                       const QString& expected, const QString& value) const;

    // The stored value, or `defaultValue` when the file, section or key is absent. A file that
    // does not parse raises 75 even when the key is absent.
    QString GetSetting(const QString& app, const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;

    // Removes exactly one key; its section and the other keys stay. Raises 5 when it is absent.
    void DeleteSetting(const QString& app, const QString& section, const QString& key) const;

private:
    QString configHome_;
};

} // namespace vb
