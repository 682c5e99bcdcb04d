#include "records/sql_text.h"

namespace yukt::records::sql {

// Column types common to SQLite and PostgreSQL; timestamps are ISO 8601 UTC
// texts, which sort and compare the same in both.
const QList<QStringList>& Migrations() {
    static const QList<QStringList> migrations = {
        // 1: the first schema.
        {
            "CREATE TABLE settings (key TEXT PRIMARY KEY, value TEXT NOT NULL)",
            "CREATE TABLE counters (name TEXT PRIMARY KEY, value BIGINT NOT NULL)",
            "CREATE TABLE record_ids (id BIGINT PRIMARY KEY, created_utc TEXT NOT NULL)",
            "CREATE TABLE records ("
            " id BIGINT NOT NULL REFERENCES record_ids(id), revision INTEGER NOT NULL,"
            " revised_by TEXT, revised_utc TEXT, revision_reason TEXT,"
            " workstation TEXT NOT NULL, pid BIGINT NOT NULL, state TEXT NOT NULL,"
            " started_utc TEXT NOT NULL, finished_utc TEXT, verdict TEXT, reasons TEXT,"
            " valid_until TEXT, certificate TEXT,"
            " model TEXT, designation TEXT, ident_text TEXT, flash_address INTEGER,"
            " flash_before TEXT, flash_after TEXT,"
            " serial TEXT, manufacture_year TEXT, modification TEXT, owner TEXT,"
            " type_number TEXT, instrument_name TEXT, kind INTEGER, methodology TEXT,"
            " operator_name TEXT,"
            " temperature DOUBLE PRECISION, pressure DOUBLE PRECISION, pressure_unit TEXT,"
            " humidity DOUBLE PRECISION,"
            " organisation TEXT, sign_cipher TEXT, calibrator TEXT, uve_numbers TEXT,"
            " mieta_numbers TEXT, mis_type TEXT, mis_serial TEXT,"
            " program_name TEXT, program_version TEXT, program_checksum TEXT,"
            " PRIMARY KEY (id, revision))",
            "CREATE TABLE points ("
            " record_id BIGINT NOT NULL REFERENCES record_ids(id), seq INTEGER NOT NULL,"
            " procedure_name TEXT, channel TEXT, nominal DOUBLE PRECISION,"
            " reference DOUBLE PRECISION, readings TEXT, measured DOUBLE PRECISION,"
            " error_kind TEXT, error DOUBLE PRECISION, limit_value DOUBLE PRECISION,"
            " result TEXT NOT NULL, reason TEXT, manual INTEGER NOT NULL,"
            " measured_utc TEXT NOT NULL, PRIMARY KEY (record_id, seq))",
        },
        // 2: the unit of each point, and indexes for the journal's filters.
        {
            "ALTER TABLE points ADD COLUMN unit TEXT",
            "CREATE INDEX records_started ON records (started_utc)",
            "CREATE INDEX records_serial ON records (serial)",
            "CREATE INDEX records_state ON records (state, workstation)",
        },
    };
    return migrations;
}

const QStringList& RecordColumns() {
    static const QStringList columns = {"id",
                                        "revision",
                                        "revised_by",
                                        "revised_utc",
                                        "revision_reason",
                                        "workstation",
                                        "pid",
                                        "state",
                                        "started_utc",
                                        "finished_utc",
                                        "verdict",
                                        "reasons",
                                        "valid_until",
                                        "certificate",
                                        "model",
                                        "designation",
                                        "ident_text",
                                        "flash_address",
                                        "flash_before",
                                        "flash_after",
                                        "serial",
                                        "manufacture_year",
                                        "modification",
                                        "owner",
                                        "type_number",
                                        "instrument_name",
                                        "kind",
                                        "methodology",
                                        "operator_name",
                                        "temperature",
                                        "pressure",
                                        "pressure_unit",
                                        "humidity",
                                        "organisation",
                                        "sign_cipher",
                                        "calibrator",
                                        "uve_numbers",
                                        "mieta_numbers",
                                        "mis_type",
                                        "mis_serial",
                                        "program_name",
                                        "program_version",
                                        "program_checksum"};
    return columns;
}

const char* const kCreateVersionTable =
    "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)";
const char* const kReadVersion = "SELECT version FROM schema_version";
const char* const kInsertVersion = "INSERT INTO schema_version (version) VALUES (0)";
const char* const kWriteVersion = "UPDATE schema_version SET version = ?";

const char* const kEnsureCounter =
    "INSERT INTO counters (name, value) VALUES (?, 0) ON CONFLICT (name) DO NOTHING";
// The row lock taken by this update orders concurrent writers, so two
// workstations never read the same number.
const char* const kBumpCounter = "UPDATE counters SET value = value + 1 WHERE name = ?";
const char* const kReadCounter = "SELECT value FROM counters WHERE name = ?";

const char* const kInsertRecordId = "INSERT INTO record_ids (id, created_utc) VALUES (?, ?)";

QString InsertRecord() {
    const QStringList& c = RecordColumns();
    QStringList marks;
    for (int i = 0; i < c.size(); ++i) marks << "?";
    return "INSERT INTO records (" + c.join(", ") + ") VALUES (" + marks.join(", ") + ")";
}

const char* const kInsertPoint =
    "INSERT INTO points (record_id, seq, procedure_name, channel, nominal, reference,"
    " readings, measured, error_kind, error, limit_value, result, reason, manual,"
    " measured_utc, unit) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
// Only an open record is ever completed; a closed one stays as it was.
const char* const kCloseRecord =
    "UPDATE records SET state = ?, finished_utc = ?, verdict = ?, reasons = ?,"
    " valid_until = ?, certificate = ? WHERE id = ? AND revision = 0 AND state = 'open'";
// What the module keeps after the verification is known only at its end.
const char* const kSetFlashAfter =
    "UPDATE records SET flash_after = ? WHERE id = ? AND revision = 0 AND state = 'open'";
const char* const kOpenRecordsOf =
    "SELECT id, pid FROM records WHERE state = 'open' AND workstation = ?";
const char* const kMarkInterrupted =
    "UPDATE records SET state = 'interrupted', verdict = ?, finished_utc = ?"
    " WHERE id = ? AND state = 'open'";

QString SelectRecord() {
    return "SELECT " + RecordColumns().join(", ") +
           " FROM records WHERE id = ? ORDER BY revision DESC LIMIT 1";
}
QString SelectRevision() {
    return "SELECT " + RecordColumns().join(", ") + " FROM records WHERE id = ? AND revision = ?";
}
const char* const kSelectPoints =
    "SELECT seq, procedure_name, channel, nominal, reference, readings, measured, error_kind,"
    " error, limit_value, result, reason, manual, measured_utc, unit"
    " FROM points WHERE record_id = ? ORDER BY seq";

const char* const kReadSetting = "SELECT value FROM settings WHERE key = ?";
// One statement, so that workstations writing one key at once never collide
// (SQLite 3.24 and PostgreSQL 9.5 know it).
const char* const kWriteSetting =
    "INSERT INTO settings (key, value) VALUES (?, ?)"
    " ON CONFLICT (key) DO UPDATE SET value = excluded.value";

const char* const kJournalSelect =
    "SELECT r.id, r.revision, r.started_utc, r.model, r.designation, r.serial, r.verdict,"
    " r.operator_name, r.certificate, r.state FROM records r WHERE 1 = 1";
const char* const kJournalCount = "SELECT COUNT(*) FROM records r WHERE 1 = 1";
const char* const kJournalLatestOnly =
    " AND NOT EXISTS (SELECT 1 FROM records n WHERE n.id = r.id AND n.revision > r.revision)";
const char* const kFilterFrom = " AND r.started_utc >= ?";
const char* const kFilterTo = " AND r.started_utc < ?";
const char* const kFilterModel = " AND r.model = ?";
const char* const kFilterSerial = " AND r.serial LIKE ?";
const char* const kFilterVerdict = " AND r.verdict = ?";
const char* const kFilterOperator = " AND r.operator_name LIKE ?";
const char* const kJournalOrderPage = " ORDER BY r.started_utc DESC, r.id DESC LIMIT ? OFFSET ?";
const char* const kJournalOrderAll = " ORDER BY r.started_utc DESC, r.id DESC";

}  // namespace yukt::records::sql
