// Where the records database is: the only setting that cannot live in the
// database itself, so it is kept in poverka.ini beside the program.
#pragma once

#include <QString>

namespace yukt::records {

// The URL given on the command line, else the one saved in poverka.ini in
// `programDir`, else the SQLite file poverka.sqlite there. A password an
// older poverka.ini still holds is moved into the pgpass file on the way.
QString RecordsDbUrl(const QString& programDir, const QString& commandLineUrl = {});
// Saves the URL without its password: poverka.ini never holds one.
bool SaveRecordsDbUrl(const QString& programDir, const QString& url);

}  // namespace yukt::records
