// Records handed to an export one at a time: the chosen ones, or every record
// a journal filter matches, read a page of numbers at a time, so that an
// export of a million records never holds more than one of them.
#pragma once

#include "records/fgis_export.h"
#include "records/journal_query.h"

namespace yukt::records {

class RecordStore;

RecordFeed FeedOfIds(RecordStore& store, const QList<qint64>& ids);
RecordFeed FeedOfFilter(RecordStore& store, const JournalFilter& filter);

}  // namespace yukt::records
