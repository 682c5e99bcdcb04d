// Every SQL text of the records store, in one place. The same texts serve
// SQLite and PostgreSQL; values are always bound, never spliced in.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace yukt::records::sql {

// Schema migrations, numbered from 1; migration n brings version n-1 to n.
const QList<QStringList>& Migrations();
inline int LatestVersion() { return static_cast<int>(Migrations().size()); }

// The columns of a record row, in the order kInsertRecord binds them.
const QStringList& RecordColumns();

extern const char* const kCreateVersionTable;
extern const char* const kReadVersion;
extern const char* const kInsertVersion;
extern const char* const kWriteVersion;

extern const char* const kEnsureCounter;
extern const char* const kBumpCounter;
extern const char* const kReadCounter;

extern const char* const kInsertRecordId;
QString InsertRecord();  // binds RecordColumns() in order
extern const char* const kInsertPoint;
extern const char* const kCloseRecord;
extern const char* const kSetFlashAfter;
extern const char* const kOpenRecordsOf;
extern const char* const kMarkInterrupted;
QString SelectRecord();    // the latest revision of one record (bind id)
QString SelectRevision();  // one revision (bind id, revision)
extern const char* const kSelectPoints;

extern const char* const kReadSetting;
extern const char* const kWriteSetting;

// The journal: the latest revision of every record, filtered and paged. The
// filter fragments are appended for the filters in use, each binding one value.
extern const char* const kJournalSelect;
extern const char* const kJournalCount;
extern const char* const kJournalLatestOnly;
extern const char* const kFilterFrom;
extern const char* const kFilterTo;
extern const char* const kFilterModel;
extern const char* const kFilterSerial;
extern const char* const kFilterVerdict;
extern const char* const kFilterOperator;
extern const char* const kJournalOrderPage;  // binds limit, offset
extern const char* const kJournalOrderAll;

}  // namespace yukt::records::sql
