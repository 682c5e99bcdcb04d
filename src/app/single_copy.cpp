#include "app/single_copy.h"

namespace yukt {

const char* const kWorkDirLockName = "poverka.lock";

std::unique_ptr<QLockFile> LockWorkDir(const std::string& dir, QString& busyText) {
    const QString qdir = QString::fromStdString(dir);
    auto lock = std::make_unique<QLockFile>(qdir + QLatin1String(kWorkDirLockName));
    // A running copy keeps its lock however long it runs; only a lock whose
    // process is gone counts as stale.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) return lock;

    qint64 pid = 0;
    QString host, app;
    QString holder;
    if (lock->getLockInfo(&pid, &host, &app))
        holder = QStringLiteral(" (процесс ") + QString::number(pid) +
                 QStringLiteral(" на компьютере ") + host + QLatin1Char(')');
    busyText = QStringLiteral("Программа поверки уже запущена в папке ") + qdir + holder +
               QStringLiteral(".\n\rВторая копия программы будет закрыта.");
    return nullptr;
}

}  // namespace yukt
