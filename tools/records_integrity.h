// yukt-records commands that keep the database whole: checking the chain and
// the file, bringing the schema up to date as the owner, and completing a
// record begun before the laboratory settings were filled.
#pragma once

#include <QCommandLineParser>
#include <QString>

namespace yukt::records {

// verify [--anchors FILE…]: 0 whole, 3 something changed, missing,
// contradictory or damaged (each named), 1 the database could not be read.
// verify --hash HEX: where that printed hash is; 3 when it is nowhere.
// Reads only, but for the time of a whole file's check (full_check.h),
// stored when its user may write the file.
int VerifyCommand(const QString& url, const QCommandLineParser& args);
// anchor [--to FILE]: the chain's head printed or appended to FILE; 0 done, 1 not.
int AnchorCommand(const QString& url, const QCommandLineParser& args);
// migrate [--grant ROLE]: 0 done, 1 not.
int MigrateCommand(const QString& url, const QString& grantRole);
// complete --id N --author NAME --reason TEXT [--owner TEXT] [--type-number TEXT]
// [--manufacture-year YYYY] [--modification TEXT] [--name TEXT] [--record-info FILE]:
// 0 done or nothing to do, 1 not, 2 arguments.
int CompleteCommand(const QString& url, const QCommandLineParser& args);

}  // namespace yukt::records
