// What the analysis commands share: their options, dates and the database.
#pragma once

#include <QCommandLineParser>
#include <QDate>

#include "records/record_store.h"
#include "records_analysis.h"

namespace yukt::records::analysis {

int Complain(const QString& text, int status);
void Print(const QByteArray& bytes);
// -1 when the arguments are good, else the exit status (the error said).
// A password given in --db is wiped from the program's argument text.
int Parse(QCommandLineParser& args, int argc, char* argv[],
          const QList<QCommandLineOption>& options);
// -1 when --from and --to are dates in order, else 2 (said).
int ParseRange(const QCommandLineParser& args, QDate* from, QDate* to);
// False, with the exit status in `status` (said), when it does not open.
bool Open(RecordStore& store, const QCommandLineParser& args, int* status);

}  // namespace yukt::records::analysis
