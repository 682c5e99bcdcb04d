// The check of a SQLite file at every open, cheap whatever its size: a small
// file gets SQLite's quick check (a few tenths of a second at most); a large
// one its header, its schema and its small tables, so that opening a
// laboratory's million records stays well under a second. The whole file is
// checked by `yukt-records verify` (and the scheduled check that runs it).
#pragma once

#include <QSqlDatabase>
#include <QStringList>

namespace yukt::records {

// Files up to this size get the whole quick check at open.
constexpr qint64 kQuickCheckAtOpenBytes = 64ll << 20;

// False, with what is wrong in `problems`, for a damaged file. Files larger
// than `quickCheckUpTo` bytes get the cheap checks only.
bool OpenCheck(const QSqlDatabase& db, const QString& path, QStringList* problems,
               qint64 quickCheckUpTo = kQuickCheckAtOpenBytes);

}  // namespace yukt::records
