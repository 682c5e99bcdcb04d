#include "records/program_ident.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include "common/program_version.h"

namespace yukt::records {

QString FileSha256(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return {};
    return QString::fromLatin1(hash.result().toHex());
}

ProgramIdent RunningProgram() {
    // /proc/self/exe is the file actually running, even if it was replaced
    // on disk since the start.
    static const ProgramIdent ident{
        QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName(),
        QString::fromUtf8(yukt::ProgramVersion()), FileSha256(QStringLiteral("/proc/self/exe"))};
    return ident;
}

}  // namespace yukt::records
