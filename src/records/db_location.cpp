#include "records/db_location.h"

#include <QDir>
#include <QSettings>

namespace yukt::records {
namespace {
QString IniPath(const QString& programDir) { return QDir(programDir).filePath("poverka.ini"); }
const QString kKey = QStringLiteral("records/database");
}  // namespace

QString RecordsDbUrl(const QString& programDir, const QString& commandLineUrl) {
    if (!commandLineUrl.isEmpty()) return commandLineUrl;
    const QString saved =
        QSettings(IniPath(programDir), QSettings::IniFormat).value(kKey).toString();
    return saved.isEmpty() ? QDir(programDir).filePath("poverka.sqlite") : saved;
}

bool SaveRecordsDbUrl(const QString& programDir, const QString& url) {
    QSettings ini(IniPath(programDir), QSettings::IniFormat);
    ini.setValue(kKey, url);
    ini.sync();
    return ini.status() == QSettings::NoError;
}

}  // namespace yukt::records
