#include "records/open_check.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace yukt::records {
namespace {

bool Pragma(const QSqlDatabase& db, const QString& text, QStringList* problems) {
    QSqlQuery q(db);
    if (!q.exec(text)) {
        *problems << q.lastError().text();
        return false;
    }
    while (q.next())
        if (q.value(0).toString() != QLatin1String("ok")) *problems << q.value(0).toString();
    return problems->isEmpty();
}

// The 100-byte header: the magic text, a page size SQLite can have, and a
// page count that matches the file (a file cut short or padded shows here).
bool HeaderWhole(const QString& path, QStringList* problems) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *problems << f.errorString();
        return false;
    }
    const QByteArray h = f.read(100);
    if (h.size() < 100 || !h.startsWith(QByteArray("SQLite format 3\0", 16))) {
        *problems << QStringLiteral("заголовок файла не SQLite");
        return false;
    }
    auto be = [&](int at, int bytes) {
        quint64 v = 0;
        for (int i = 0; i < bytes; ++i) v = (v << 8) | quint8(h[at + i]);
        return v;
    };
    quint64 pageSize = be(16, 2);
    if (pageSize == 1) pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) {
        *problems << QStringLiteral("размер страницы %1 в заголовке").arg(pageSize);
        return false;
    }
    // The page count is valid when the version-valid-for number matches
    // the change counter; the file may be longer (WAL-mode files grow ahead).
    const quint64 pages = be(28, 4);
    if (be(24, 4) == be(92, 4) && pages > 0 && quint64(f.size()) < pages * pageSize) {
        *problems << QStringLiteral("файл короче своих %1 страниц").arg(pages);
        return false;
    }
    return true;
}

}  // namespace

bool OpenCheck(const QSqlDatabase& db, const QString& path, QStringList* problems,
               qint64 quickCheckUpTo) {
    problems->clear();
    const QFileInfo file(path);
    if (!file.exists() || file.size() <= quickCheckUpTo)
        return Pragma(db, QStringLiteral("PRAGMA quick_check"), problems);
    if (!HeaderWhole(path, problems)) return false;
    // Reading the schema parses every table's definition; the small tables
    // (settings, counters, the schema's version) are checked whole.
    QSqlQuery tables(db);
    if (!tables.exec(QStringLiteral("SELECT name FROM sqlite_schema WHERE type = 'table'"))) {
        *problems << tables.lastError().text();
        return false;
    }
    QStringList names;
    while (tables.next()) names << tables.value(0).toString();
    for (const char* table : {"settings", "counters", "schema_version"})
        if (names.contains(QLatin1String(table)) &&
            !Pragma(db, QStringLiteral("PRAGMA quick_check(%1)").arg(QLatin1String(table)),
                    problems))
            return false;
    return true;
}

}  // namespace yukt::records
