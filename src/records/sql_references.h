// The SQL of the register of references and of the references each record
// was made with. Both are links of the records' chain and only grow.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "records/sql_text.h"

namespace yukt::records::sql {

// The migration that adds the register (its position in Migrations(), from
// 1): the free-text means of the settings are moved into it then, once.
int ReferencesVersion();
QStringList ReferenceGuards(Engine engine);

// What a revision of a reference and a record's reference hash, in order.
const QList<Column>& ReferenceColumns();
const QList<Column>& MeansColumns();

// Points measured with a reference also keep what they owe to it; a point
// with them hashes them after PointColumns(), one without as before.
const QList<Column>& PointMarginColumns();
QString InsertPointWithMargins();
QString SelectPointMargins();  // seq and PointMarginColumns() of a record's points that have them

QString InsertReference();  // ReferenceColumns(), then chain_seq, chain_prev, chain_hash
QString InsertMeans();      // MeansColumns(), then the chain's three
// Every revision, by number and revision: the latest of each is the reference.
QString SelectReferences();
QString SelectMeansOf();  // binds the record's id
// The records made with a reference (binds its number), a fragment of a
// journal query's WHERE: suspect and the journal's filter read the same
// index.
extern const char* const kFilterReference;
// The columns of suspect's list; the latest revision of each record, made
// with a reference, from and to a start time are appended as the journal's
// fragments (kJournalLatestOnly, kFilterReference, kFilterFrom, kFilterTo).
extern const char* const kSuspectSelect;
extern const char* const kSuspectOrder;

}  // namespace yukt::records::sql
