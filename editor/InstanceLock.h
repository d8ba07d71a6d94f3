#pragma once
// One TamoZP per user: the first instance holds an exclusive flock on a file in the user's
// runtime folder for as long as it runs; a later one fails to take it and knows it is not
// alone. The kernel drops the lock when the holder ends, however it ends, so a crash never
// leaves a stale lock behind, and two instances started together cannot both win.
// Depends on Qt Core and POSIX only.

#include "runtime/FileDescriptor.h"

#include <QString>

namespace zp {

class InstanceLock {
public:
    explicit InstanceLock(QString path);
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when another process holds the lock. Otherwise this process takes it and keeps it
    // until the object goes away. No path, or a lock file that cannot be opened, counts as
    // "alone": not knowing must never keep the user from the settings.
    bool anotherInstanceRunning();

    QString path() const { return path_; }
    bool held() const { return fd_.valid(); }

private:
    QString path_;
    vb::FileDescriptor fd_;
};

} // namespace zp
