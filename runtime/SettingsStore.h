#pragma once
// The per-user settings store: string values addressed by application, section and key, kept
// across runs in one INI file per application and shared between programs (TamoZP, TamoUnZP,
// tamo-clock). Every operation locks the file, reads it whole from disk and, for a change,
// writes it whole through a temporary file and an atomic rename, so two programs always see
// each other's last write and a failed write loses nothing. There is no in-process cache.
// Depends on Qt Core only.
//
// File: <config home>/vb-program-settings/<application>.ini, "/" in the application name written "%2F" and "%" as "%25".
// Missing folders are created 0700; the file is written 0600 (a symbolic link at its place is
// written through). The lock is an exclusive flock on "<file>.lock" beside it, waited for up
// to 2 seconds. A read that may not create or open the lock file (a read-only folder) reads
// without it: writers replace the file by an atomic rename, so it still sees one whole
// version. Reads and deletes never create the folder.
//
// File format (UTF-8, lines end with LF):
//   - blank lines (spaces and tabs only) and comment lines (first non-blank character ";" or
//     "#") are kept byte for byte on every rewrite, and so is every line the change does not
//     touch: other sections, other keys, a leading UTF-8 byte-order mark, CR LF line ends,
//     a missing final LF;
//   - "[Section]": the name is everything between the first "[" and the last "]", as it
//     stands (blanks outside the brackets are ignored);
//   - "key=value": blanks (space, tab) around the first "=" and at the end of the line belong
//     to neither key nor value; keys before the first section are kept but cannot be
//     addressed;
//   - values escape "\\" (backslash), "\s" (space; only leading and trailing spaces), "\t",
//     "\n", "\r", and "\uXXXX" (four hex digits, one UTF-16 unit) for other control
//     characters (U+0000-U+001F, U+007F-U+009F), U+2028, U+2029, U+FEFF, U+FFFE, U+FFFF and
//     lone surrogates; everything else is raw UTF-8. Readers accept hex in either case.
//   - a new key goes after the last key of its section; a new section goes at the end, after
//     a blank line.
//   A file does not parse when it holds invalid UTF-8 (overlong forms and encoded surrogates
//   included), a raw ASCII control character other than tab (NUL and DEL included; CR only
//   as the last byte of a line), a line that is none of the kinds above ("[" without "]" at
//   its end, text without "=", an empty key), an unknown or incomplete escape in any value,
//   the same section header twice, or the same key twice in one section. Names compare
//   exactly (case-sensitive).
//
// Errors (vb::Error; the description is the runtime's text, a space and the file's path,
// plus ":<line>" for a line that does not parse, or the lock file's path for the lock):
//   5  DeleteSetting of a key that is not there; a name that cannot be written (below);
//   75 a file that does not parse, for every operation, reads included, checked before any
//      lookup, and the file is never rewritten; the lock not obtained within 2 seconds; any
//      I/O failure not listed below (a folder where the file should be, a path under a
//      regular file);
//   70 permission denied (EACCES, EPERM, EROFS);
//   61 disk full (ENOSPC, EDQUOT).
// Names are written as they are, never escaped. None may be empty or hold a character that
// values escape (control characters, U+2028, U+2029, U+FEFF, U+FFFE, U+FFFF, lone
// surrogates); a key also must not hold "=", start with "[", ";" or "#", or start or end
// with a space or tab. Such a name raises 5 before the disk is touched.

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

// Failure injection, for tests. Counting starts at this call: the store's `nth` fallible
// system call from now on (1-based, across operations: mkdir, open, flock, fstat, read, the
// temporary file's creation, fchmod, write, fsync, the rename, the folder's open and fsync)
// fails with `errnoValue` instead of running, exactly as if the system had returned it. A
// fault fires once. injectSettingsFault(0, 0) disarms and resets the count. Use errno values
// such as EIO, EACCES, ENOSPC; ENOENT on the file's open means "no file" and is not a fault.
// Thread-safe, process-wide.
void injectSettingsFault(int nth, int errnoValue);
// The number of fallible calls the store has made since the last injectSettingsFault.
int settingsFallibleCalls();
// Whether the fault armed by the last injectSettingsFault has fired.
bool settingsFaultFired();

} // namespace vb
