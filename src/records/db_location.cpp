#include "records/db_location.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <cstdio>

#include "records/db_credentials.h"

namespace yukt::records {
namespace {
QString IniPath(const QString& programDir) { return QDir(programDir).filePath("poverka.ini"); }
const QString kKey = QStringLiteral("records/database");
}  // namespace

QString RecordsDbUrl(const QString& programDir, const QString& commandLineUrl) {
    if (!commandLineUrl.isEmpty()) return commandLineUrl;
    const QString saved =
        QSettings(IniPath(programDir), QSettings::IniFormat).value(kKey).toString();
    if (saved.isEmpty()) return QDir(programDir).filePath("poverka.sqlite");
    const QString password = PasswordInUrl(saved);
    if (!password.isEmpty() && SavePgPassword(saved, password, nullptr))
        SaveRecordsDbUrl(programDir, saved);
    return saved;
}

// Written whole or not at all: a copy beside it takes the new value, is
// checked, synced and made the user's own (0600), then renamed over it; a
// full disk leaves the old file, never an empty one.
bool SaveRecordsDbUrl(const QString& programDir, const QString& url) {
    const QString path = IniPath(programDir);
    const QString temp = path + QStringLiteral(".new");
    QFile::remove(temp);
    if (QFile::exists(path) && !QFile::copy(path, temp)) return false;
    bool ok = false;
    {
        QSettings ini(temp, QSettings::IniFormat);
        ini.setValue(kKey, UrlWithoutPassword(url));
        ini.sync();
        ok = ini.status() == QSettings::NoError;
    }
    QFile file(temp);
    ok = ok && file.size() > 0 && file.open(QIODevice::ReadWrite) && ::fsync(file.handle()) == 0 &&
         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.close();
    ok = ok && ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) QFile::remove(temp);
    return ok;
}

}  // namespace yukt::records
