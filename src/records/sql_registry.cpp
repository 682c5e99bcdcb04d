#include "records/sql_registry.h"

#include "records/sql_text.h"

namespace yukt::records::sql {

const char* const kInsertRegistryEvent =
    "INSERT INTO registry_events (record_id, event, at_utc, file, format, reason, author,"
    " workstation) VALUES (?, ?, ?, ?, ?, ?, ?, ?)";

const char* const kRegistryCandidates =
    "SELECT r.id FROM records r WHERE r.type_number = ? AND r.serial = ? AND r.state = 'closed'"
    " AND NOT EXISTS (SELECT 1 FROM records n WHERE n.id = r.id AND n.revision > r.revision)"
    " ORDER BY r.id";

const char* const kRecordOfVri =
    "SELECT r.id FROM records r WHERE r.registry_vri_id = ?"
    " AND NOT EXISTS (SELECT 1 FROM records n WHERE n.id = r.id AND n.revision > r.revision)";

const char* const kRegistryEventsOf =
    "SELECT event, at_utc, file, format, reason, author FROM registry_events"
    " WHERE record_id = ? ORDER BY at_utc, event";

// Of two events of one moment the refusal counts ("refused" > "exported").
#define LATEST_EVENT                                                                     \
    "(SELECT e.event || ' ' || e.at_utc FROM registry_events e WHERE e.record_id = r.id" \
    " ORDER BY e.at_utc DESC, e.event DESC LIMIT 1)"
#define NOT_IN_REGISTRY " AND COALESCE(r.registry_vri_id, '') = ''"

#define REGISTRY_COLUMN                                                                                 \
    "CASE WHEN COALESCE(r.registry_vri_id, '') <> '' THEN 'registry ' || r.registry_vri_id"             \
    " WHEN r.state <> 'closed' OR r.verdict NOT IN ('годен', 'не годен') THEN 'unfinished'" \
    " ELSE COALESCE(" LATEST_EVENT ", '') END"
const char* const kRegistryStateColumn = REGISTRY_COLUMN;

const char* const kFilterInRegistry = " AND COALESCE(r.registry_vri_id, '') <> ''";
const char* const kFilterNotExported = NOT_IN_REGISTRY
    " AND r.state = 'closed' AND r.verdict IN ('годен', 'не годен')"
    " AND NOT EXISTS (SELECT 1 FROM registry_events e WHERE e.record_id = r.id)";
const char* const kFilterRefused = NOT_IN_REGISTRY " AND " LATEST_EVENT " LIKE 'refused %'";
const char* const kFilterExportedSince =
    NOT_IN_REGISTRY " AND " LATEST_EVENT " LIKE 'exported %' AND " LATEST_EVENT " >= ?";
const char* const kFilterExportedBefore =
    NOT_IN_REGISTRY " AND " LATEST_EVENT " LIKE 'exported %' AND " LATEST_EVENT " < ?";
const char* const kPendingSelect =
    "SELECT r.id, r.model, r.serial, r.type_number, r.finished_utc, " REGISTRY_COLUMN
    " FROM records r WHERE 1 = 1";
const char* const kPendingOrder = " ORDER BY r.id";
const char* const kFilterExportedNotFound = NOT_IN_REGISTRY
    " AND EXISTS (SELECT 1 FROM registry_events e WHERE e.record_id = r.id"
    " AND e.event = 'exported')";
const char* const kFilterFinishedFrom = " AND r.finished_utc >= ?";
const char* const kFilterFinishedTo = " AND r.finished_utc < ?";
const char* const kFilterFinished =
    " AND r.state = 'closed' AND r.verdict IN ('годен', 'не годен')";

QString JournalSelectWithRegistry() {
    // Spliced before the FROM, so the journal's own columns keep their places.
    static const QString text = [] {
        QString select = kJournalSelect;
        const qsizetype from = select.indexOf(QLatin1String(" FROM records r"));
        return select.insert(from,
                             QStringLiteral(", %1 AS registry_state").arg(kRegistryStateColumn));
    }();
    return text;
}

#undef LATEST_EVENT
#undef NOT_IN_REGISTRY
#undef REGISTRY_COLUMN

}  // namespace yukt::records::sql
