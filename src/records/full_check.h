// The full check of a SQLite records file on a schedule. Opening checks only
// what is cheap (open_check.h); the whole file is read by SQLite's
// integrity check when the last full check is older than the laboratory's
// setting (7 days unless set; 0: never on a schedule), on a connection and a
// thread of its own so that the workstation is not held up, and by
// `yukt-records verify` whenever it is run. Each check that found the file
// whole stores when it did, in the database's settings, for every program
// on that file; a damaged file is checked again at the next open.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace yukt::records {

class RecordStore;

inline const QString kFullCheckDaysKey = QStringLiteral("integrity_check_days");
inline const QString kFullCheckAtKey = QStringLiteral("integrity_checked_utc");
constexpr int kFullCheckDefaultDays = 7;

// Is the full check due at `now`: never made, made `days` or more ago, or
// stamped more than a day ahead of now (a clock set back)? Never with `days` <= 0.
bool FullCheckDue(const QDateTime& lastUtc, const QDateTime& nowUtc, int days);

// The schedule as the database's settings have it (a setting that is not a
// number counts as unset); always not due on PostgreSQL, whose server
// keeps its own pages.
struct FullCheckSchedule {
    int days = kFullCheckDefaultDays;
    QDateTime last;  // UTC; invalid: never
    bool due = false;
};
FullCheckSchedule ReadFullCheckSchedule(RecordStore& store, const QDateTime& nowUtc);

// SQLite's integrity check of the file at `url` on a connection of its own,
// read only; what is wrong in `problems`. False (with `error`) when the file
// could not be read at all.
bool RunFullCheck(const QString& url, QStringList* problems, QString* error);
// Stores that a full check read the whole file at `atUtc`, on a connection
// of its own (a program that opened the file to read only may still stamp
// it when its user may write it); false when it cannot.
bool StampFullCheck(const QString& url, const QDateTime& atUtc);

// When due, runs the full check of `store`'s file on a thread of its own,
// then stamps a whole file, or tells `damaged` (on the thread of `context`,
// while it lives) what is wrong. Nothing when not due.
void StartFullCheckIfDue(RecordStore& store, QObject* context,
                         std::function<void(const QStringList& problems)> damaged);

}  // namespace yukt::records
