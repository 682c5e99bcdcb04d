// Figures kept for the laboratory's statistics: for each model, UTC day,
// workstation and error item, the number of measurements, the sum and the
// largest of |error| / limit, how many came above 0.8 of the limit and how
// many failed. The database itself adds a record's figures when the record
// closes (a trigger, in the closing's own statement), so they never disagree
// with the records; a year of a large laboratory is then read from a few
// thousand rows instead of a million points. They are derived data, outside
// the chain: `yukt-records verify` computes them again from the points and
// compares.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

#include "records/lab_stats.h"
#include "records/sql_text.h"

namespace yukt::records {

namespace sql {
// The migration's marker: the table, its back-fill from the records already
// closed, and the trigger that keeps it (StatFiguresMigration).
extern const char* const kStatFigures;
QStringList StatFiguresMigration(Engine engine);
// The schema version that keeps the figures (0: none does).
int StatFiguresVersion();
}  // namespace sql

// The statistics' items of `filter`: whole UTC days from the kept figures,
// the parts of a day at either end of the local dates from the points.
// The text's columns are those of the items of ReadLabStats.
QString StatItemsQuery(const StatsFilter& filter, QVariantList* binds);

// Appends to `problems` each day, model, workstation and item whose kept
// figures differ from those computed again from the points. False, with
// `error` set, when the database fails.
bool CheckStatFigures(const QSqlDatabase& db, QStringList* problems, QString* error);

}  // namespace yukt::records
