#include "records/db_location.h"

#include <QDir>
#include <QSettings>

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

bool SaveRecordsDbUrl(const QString& programDir, const QString& url) {
    QSettings ini(IniPath(programDir), QSettings::IniFormat);
    ini.setValue(kKey, UrlWithoutPassword(url));
    ini.sync();
    return ini.status() == QSettings::NoError;
}

}  // namespace yukt::records
