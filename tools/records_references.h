// yukt-records commands of the laboratory's references: the register
// (list, add, renew, retire, due) and the records made with one reference
// (suspect), the list a laboratory sends to owners when a reference is found
// out of tolerance.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace yukt::records {

// The options these commands take beyond the common ones.
void AddReferenceOptions(QCommandLineParser& args);
// `words`: the positional arguments ("references", "add" ... or "suspect").
// 0 done, 1 a database error, 2 an argument or a value refused (named).
int ReferencesCommand(const QString& url, const QStringList& words,
                      const QCommandLineParser& args);

}  // namespace yukt::records
