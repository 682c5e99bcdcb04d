#include "records/full_disk.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>

namespace yukt::records::test {
namespace {
const QString kFiller = QStringLiteral("filler");

void LimitFileSize() {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit none{0, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &none);
}
}  // namespace

FullDisk::FullDisk() {
    const QByteArray dir = QFile::encodeName(m_dir.path());
    m_mounted = ::mount("tmpfs", dir.constData(), "tmpfs", 0, "size=256k") == 0;
    if (!m_mounted) return;
    QFile filler(QDir(m_dir.path()).filePath(kFiller));
    filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size()) {
    }
}

FullDisk::~FullDisk() {
    if (m_mounted) ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

QStringList FullDisk::Entries() const {
    QStringList entries =
        QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    entries.removeAll(kFiller);
    return entries;
}

FullDisk::Hold::Hold(bool limit) : m_limit(limit) {
    if (!m_limit) return;
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    m_saved[0] = saved.rlim_cur;
    m_saved[1] = saved.rlim_max;
    LimitFileSize();
}

FullDisk::Hold::~Hold() {
    if (!m_limit) return;
    rlimit saved{m_saved[0], m_saved[1]};
    ::setrlimit(RLIMIT_FSIZE, &saved);
}

void FullDisk::FullForChild(QProcess& process) const {
    if (!m_mounted) process.setChildProcessModifier(LimitFileSize);
}

}  // namespace yukt::records::test
