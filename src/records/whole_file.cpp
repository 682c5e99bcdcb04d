#include "records/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/system_error.h"

namespace yukt::records {
namespace {

QString ErrnoText() { return QString::fromStdString(SystemErrorText(errno)); }

// Qt's own text for a failed file call is English; the system's error number,
// still set by the call that failed, gives the operator's Russian one.
QString FailureOf(const QFileDevice& file) {
    return errno != 0 ? ErrnoText() : file.errorString();
}

// A rename is durable only once the folder that holds the name is synced.
bool SyncFolder(const QString& path) {
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

QString WriteFailure(const QString& path, const QString& reason) {
    return QStringLiteral("Не удалось записать %1: %2").arg(QDir::toNativeSeparators(path), reason);
}

WholeFile::WholeFile(const QString& path) : m_path(path) {}

WholeFile::~WholeFile() = default;  // QTemporaryFile removes what was not renamed

bool WholeFile::Fail(const QString& path, const QString& reason, QString* error) {
    if (error) *error = WriteFailure(path, reason);
    if (m_temp) m_temp->close();
    m_temp.reset();  // removes the temporary file
    if (isOpen()) close();
    return false;
}

bool WholeFile::Begin(QString* error) {
    const QFileInfo target(m_path);
    if (target.fileName().isEmpty())
        return Fail(m_path, QStringLiteral("не задано имя файла"), error);
    if (target.isDir()) return Fail(m_path, QStringLiteral("это папка"), error);
    m_temp = std::make_unique<QTemporaryFile>(target.absolutePath() + "/." + target.fileName() +
                                              ".XXXXXX");
    errno = 0;
    if (!m_temp->open()) return Fail(m_path, FailureOf(*m_temp), error);
    m_writeFailure.clear();
    m_finished = false;
    return QIODevice::open(QIODevice::WriteOnly);
}

qint64 WholeFile::writeData(const char* data, qint64 size) {
    if (!m_writeFailure.isEmpty() || !m_temp) return -1;
    errno = 0;
    const qint64 written = m_temp->write(data, size);
    if (written != size) {
        m_writeFailure = FailureOf(*m_temp);
        return -1;
    }
    return written;
}

bool WholeFile::Finish(QString* error) {
    if (!m_temp) return Fail(m_path, QStringLiteral("файл не открыт"), error);
    if (m_finished) return true;
    errno = 0;
    if (m_writeFailure.isEmpty() && !m_temp->flush()) m_writeFailure = FailureOf(*m_temp);
    if (!m_writeFailure.isEmpty()) return Fail(m_path, m_writeFailure, error);
    if (::fsync(m_temp->handle()) != 0) return Fail(m_path, ErrnoText(), error);
    // Written as the user's other files are, not with a temporary's 0600;
    // a secret keeps the 0600.
    if (!m_ownerOnly)
        m_temp->setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                               QFile::ReadOther);
    m_temp->close();
    close();
    m_finished = true;
    return true;
}

bool WholeFile::CommitAs(const QString& path, QString* error) {
    const QString target = path.isEmpty() ? m_path : path;
    if (!m_finished) return Fail(target, QStringLiteral("файл не дописан"), error);
    if (::rename(QFile::encodeName(m_temp->fileName()).constData(),
                 QFile::encodeName(target).constData()) != 0)
        return Fail(target, ErrnoText(), error);
    m_temp->setAutoRemove(false);
    m_temp.reset();
    if (!SyncFolder(target)) {
        if (error) *error = WriteFailure(target, ErrnoText());
        return false;
    }
    return true;
}

}  // namespace yukt::records
