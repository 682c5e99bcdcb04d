#include "records/sql_text.h"

#include "records/point_fields.h"
#include "records/sql_references.h"
#include "records/stat_figures.h"

namespace yukt::records::sql {

// Column types common to SQLite and PostgreSQL; timestamps are ISO 8601 UTC
// texts, which sort and compare the same in both.
namespace {
// The registry's match of a record, revisable like the operator's fields;
// a revision that has them is hashed with them (RegistryRevisionColumns).
QStringList RegistryColumnNames() {
    return {"registry_vri_id TEXT", "registry_docnum TEXT", "registry_seen_utc TEXT"};
}
QStringList AddColumns(const char* table, const QStringList& columns) {
    QStringList out;
    for (const QString& c : columns)
        out << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2").arg(QLatin1String(table), c);
    return out;
}
}  // namespace

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
        // 3: records made by a methodology's plan, and the chain that makes a
        // change, a removal or a reordering visible. The guards follow the
        // sealing of the rows already there.
        AddColumns("records",
                   {"methodology_id TEXT", "methodology_revision INTEGER",
                    "methodology_sha256 TEXT", "software_found TEXT", "chain_seq BIGINT",
                    "chain_prev TEXT", "chain_hash TEXT", "close_seq BIGINT", "close_prev TEXT",
                    "close_hash TEXT"}) +
            AddColumns("points",
                       {"operation TEXT", "channel_no INTEGER", "item INTEGER", "attempt INTEGER",
                        "resolution DOUBLE PRECISION", "limit2 DOUBLE PRECISION",
                        "span_low DOUBLE PRECISION", "span_high DOUBLE PRECISION",
                        "ref_ratio DOUBLE PRECISION", "remark TEXT", "chain_seq BIGINT",
                        "chain_prev TEXT", "chain_hash TEXT"}) +
            QStringList{
                "CREATE TABLE plan_items ("
                " record_id BIGINT NOT NULL REFERENCES record_ids(id), item INTEGER NOT NULL,"
                " operation TEXT, title TEXT, kind TEXT, channel INTEGER,"
                " nominal DOUBLE PRECISION, unit TEXT,"
                " chain_seq BIGINT, chain_prev TEXT, chain_hash TEXT,"
                " PRIMARY KEY (record_id, item))",
                "CREATE UNIQUE INDEX records_chain ON records (chain_seq)",
                "CREATE UNIQUE INDEX records_close_chain ON records (close_seq)",
                "CREATE UNIQUE INDEX points_chain ON points (chain_seq)",
                "CREATE UNIQUE INDEX plan_items_chain ON plan_items (chain_seq)",
            },
        // Adds records.interval_months, the verification interval of the
        // methodology a record was made by (null: the settings' per model),
        // and plan_items.accepted_versions, the software versions a
        // software item accepts.
        AddColumns("records", {"interval_months INTEGER"}) +
            AddColumns("plan_items", {"accepted_versions TEXT"}),
        // Indexes for a laboratory's million records: the latest attempt per
        // plan item (history, statistics, protocols), a model's records by
        // date (statistics, journal filter), a workstation's by date, and
        // the recall list by validity.
        {
            "CREATE INDEX points_item ON points (record_id, item, attempt)",
            "CREATE INDEX records_model_started ON records (model, started_utc)",
            "CREATE INDEX records_station_started ON records (workstation, started_utc)",
            "CREATE INDEX records_valid_until ON records (valid_until)",
            "CREATE INDEX records_serial_model ON records (serial, model, id)",
        },
        // The registry's answer: a revision of a record carries the registry's
        // id and document number and when they were seen; the exports and the
        // operator's refusals are events of their own.
        AddColumns("records", RegistryColumnNames()) +
            QStringList{
                "CREATE TABLE registry_events ("
                " record_id BIGINT NOT NULL REFERENCES record_ids(id), event TEXT NOT NULL,"
                " at_utc TEXT NOT NULL, file TEXT, format TEXT, reason TEXT, author TEXT,"
                " workstation TEXT)",
                "CREATE INDEX registry_events_record ON registry_events (record_id, at_utc)",
                "CREATE INDEX records_registry ON records (type_number, serial)",
            },
        // The laboratory's register of references (every change a revision,
        // in the chain) and the references each record was made with; its
        // guards and the moving of the settings' free-text means follow
        // (RecordStore::Migrate, sql::ReferencesVersion).
        {
            "CREATE TABLE lab_references (number TEXT NOT NULL, revision INTEGER NOT NULL,"
            " kind TEXT NOT NULL, type_number TEXT, name TEXT, serial TEXT, certificate TEXT,"
            " valid_from TEXT, valid_until TEXT, quantities TEXT NOT NULL, state TEXT NOT NULL,"
            " note TEXT, workstation TEXT, changed_utc TEXT NOT NULL,"
            " chain_seq BIGINT, chain_prev TEXT, chain_hash TEXT, PRIMARY KEY (number, revision))",
            "CREATE UNIQUE INDEX lab_references_chain ON lab_references (chain_seq)",
            "CREATE TABLE record_means (record_id BIGINT NOT NULL REFERENCES record_ids(id),"
            " quantity TEXT NOT NULL, number TEXT NOT NULL, kind TEXT, type_number TEXT,"
            " name TEXT, serial TEXT, certificate TEXT, valid_until TEXT,"
            " chain_seq BIGINT, chain_prev TEXT, chain_hash TEXT,"
            " PRIMARY KEY (record_id, quantity, number))",
            "CREATE UNIQUE INDEX record_means_chain ON record_means (chain_seq)",
            "CREATE INDEX record_means_number ON record_means (number, record_id)",
            "ALTER TABLE points ADD COLUMN ref_error DOUBLE PRECISION",
            "ALTER TABLE points ADD COLUMN u DOUBLE PRECISION",
            "ALTER TABLE points ADD COLUMN marginal INTEGER",
        },
        // Forgery guards: who wrote each row, the run token that ties points
        // and the closing to the run that opened the record, and the triggers
        // that refuse forged revisions, closings, joins and chain positions.
        AddColumns("records", {"run_key TEXT", "run_token TEXT", "written_by TEXT",
                               "written_from TEXT", "written_utc TEXT", "closed_by TEXT",
                               "closed_from TEXT", "closed_utc TEXT"}) +
            AddColumns("points",
                       {"run_token TEXT", "written_by TEXT", "written_from TEXT", "written_utc TEXT"}) +
            AddColumns("plan_items",
                       {"run_token TEXT", "written_by TEXT", "written_from TEXT", "written_utc TEXT"}) +
            QStringList{kForgeryGuards, kRevisionGuard},
        // Figures kept for the statistics at each closing (stat_figures.h),
        // a covering index for its verdicts and people, and indexes for the
        // journal's filters by result.
        {
            kStatFigures,
            "CREATE INDEX records_stats ON records (model, started_utc, state, verdict,"
            " workstation, operator_name, id, revision)",
            "CREATE INDEX records_model_verdict ON records (model, verdict, started_utc, id,"
            " revision)",
            "CREATE INDEX records_verdict_started ON records (verdict, started_utc, id, revision)",
        },
    };
    return migrations;
}

namespace {
using T = ColumnType;

// Every column of a record row, in the order InsertRecord binds them.
const QList<Column>& RecordTypedColumns() {
    static const QList<Column> columns = {
        {"id", T::Int},
        {"revision", T::Int},
        {"revised_by", T::Text},
        {"revised_utc", T::Text},
        {"revision_reason", T::Text},
        {"workstation", T::Text},
        {"pid", T::Int},
        {"state", T::Text},
        {"started_utc", T::Text},
        {"finished_utc", T::Text},
        {"verdict", T::Text},
        {"reasons", T::Text},
        {"valid_until", T::Text},
        {"certificate", T::Text},
        {"model", T::Text},
        {"designation", T::Text},
        {"ident_text", T::Text},
        {"flash_address", T::Int},
        {"flash_before", T::Text},
        {"flash_after", T::Text},
        {"serial", T::Text},
        {"manufacture_year", T::Text},
        {"modification", T::Text},
        {"owner", T::Text},
        {"type_number", T::Text},
        {"instrument_name", T::Text},
        {"kind", T::Int},
        {"methodology", T::Text},
        {"operator_name", T::Text},
        {"temperature", T::Real},
        {"pressure", T::Real},
        {"pressure_unit", T::Text},
        {"humidity", T::Real},
        {"organisation", T::Text},
        {"sign_cipher", T::Text},
        {"calibrator", T::Text},
        {"uve_numbers", T::Text},
        {"mieta_numbers", T::Text},
        {"mis_type", T::Text},
        {"mis_serial", T::Text},
        {"program_name", T::Text},
        {"program_version", T::Text},
        {"program_checksum", T::Text},
        {"methodology_id", T::Text},
        {"methodology_revision", T::Int},
        {"methodology_sha256", T::Text},
        {"software_found", T::Text},
        {"interval_months", T::Int, true},
    };
    return columns;
}

// What the closing of an open record sets, once.
const QStringList kClosureNames = {"state",       "finished_utc", "verdict",    "reasons",
                                   "valid_until", "certificate",  "flash_after"};

}  // namespace

// The one list of what a correction may change; every other column of a
// record must stay as revision 0 has it. A column added here becomes
// revisable once a later migration rebuilds the guard (kRevisionGuard).
const QStringList& DescriptiveColumns() {
    static const QStringList names = {
        // The module's owner and registry description, and a mistyped serial.
        "owner", "type_number", "manufacture_year", "modification", "instrument_name", "serial",
        // The conditions of the verification.
        "temperature", "pressure", "pressure_unit", "humidity",
        // The laboratory's snapshot, which a correction may complete.
        "organisation", "sign_cipher", "calibrator", "uve_numbers", "mieta_numbers", "mis_type",
        "mis_serial",
        // The registry's answer found for the record.
        "registry_vri_id", "registry_docnum", "registry_seen_utc"};
    return names;
}

// What names a revision or its writing rather than the record.
const QStringList& RevisionOwnColumns() {
    static const QStringList names = {"revision",   "revised_by", "revised_utc", "revision_reason",
                                      "pid",        "chain_seq",  "chain_prev",  "chain_hash",
                                      "close_seq",  "close_prev", "close_hash",  "run_key",
                                      "run_token",  "written_by", "written_from", "written_utc",
                                      "closed_by",  "closed_from", "closed_utc"};
    return names;
}

const char* const kForgeryGuards = "@forgery-guards";
const char* const kRevisionGuard = "@revision-guard";

QStringList Names(const QList<Column>& columns) {
    QStringList out;
    for (const Column& c : columns) out << QString::fromLatin1(c.name);
    return out;
}

const QList<Column>& RegistryColumns() {
    static const QList<Column> columns = {
        {"registry_vri_id", T::Text}, {"registry_docnum", T::Text}, {"registry_seen_utc", T::Text}};
    return columns;
}

const QStringList& RecordColumns() {
    static const QStringList names = Names(RecordTypedColumns()) + Names(RegistryColumns());
    return names;
}

const QList<Column>& OpeningColumns() {
    static const QList<Column> columns = [] {
        QList<Column> out;
        for (const Column& c : RecordTypedColumns())
            if (!kClosureNames.contains(QString::fromLatin1(c.name))) out << c;
        return out;
    }();
    return columns;
}

const QList<Column>& ClosureColumns() {
    static const QList<Column> columns = [] {
        QList<Column> out = {{"id", T::Int}};
        for (const Column& c : RecordTypedColumns())
            if (kClosureNames.contains(QString::fromLatin1(c.name))) out << c;
        return out;
    }();
    return columns;
}

const QList<Column>& RevisionColumns() {
    static const QList<Column> columns = OpeningColumns() + ClosureColumns().mid(1);
    return columns;
}

const QList<Column>& RegistryRevisionColumns() {
    static const QList<Column> columns = RevisionColumns() + RegistryColumns();
    return columns;
}

const QList<Column>& PointColumns() {
    static const QList<Column> columns = PointFieldColumns(PointField::Base);
    return columns;
}

const QList<Column>& PlanColumns() {
    static const QList<Column> columns = {
        {"record_id", T::Int}, {"item", T::Int},    {"operation", T::Text}, {"title", T::Text},
        {"kind", T::Text},     {"channel", T::Int}, {"nominal", T::Real},   {"unit", T::Text},
        {"accepted_versions", T::Text, true},
    };
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
const char* const kBumpCounter =
    "UPDATE counters SET value = value + ? WHERE name = ? RETURNING value";

const char* const kInsertRecordId = "INSERT INTO record_ids (id, created_utc) VALUES (?, ?)";

namespace {
const QStringList kChainNames = {"chain_seq", "chain_prev", "chain_hash"};
const QStringList kWrittenNames = {"written_by", "written_from", "written_utc"};

QString Insert(const char* table, const QStringList& columns) {
    QStringList marks;
    for (int i = 0; i < columns.size(); ++i) marks << "?";
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(QLatin1String(table), columns.join(", "), marks.join(", "));
}
}  // namespace

QString InsertRecord() {
    return Insert("records", RecordColumns() + kChainNames + QStringList{"run_key"} + kWrittenNames);
}
QString InsertPoint() {
    return Insert("points",
                  Names(PointColumns()) + kChainNames + QStringList{"run_token"} + kWrittenNames);
}
QString InsertPlanItem() {
    return Insert("plan_items",
                  Names(PlanColumns()) + kChainNames + QStringList{"run_token"} + kWrittenNames);
}
// Only an open record is ever completed, once, and the guards let nothing
// else through; a closed one stays as it was. PostgreSQL takes the run token
// from the transaction's setting and names the writer itself (the
// workstation role may update only the closing's columns).
QString CloseRecord(Engine engine) {
    QString text =
        "UPDATE records SET state = ?, finished_utc = ?, verdict = ?, reasons = ?,"
        " valid_until = ?, certificate = ?, flash_after = ?, close_seq = ?, close_prev = ?,"
        " close_hash = ?";
    if (engine == Engine::Sqlite)
        text += ", run_token = ?, closed_by = ?, closed_from = ?, closed_utc = ?";
    return text + " WHERE id = ? AND revision = 0 AND state = 'open'";
}
const char* const kSetRunToken = "SELECT set_config('yukt.run_token', ?, true)";
const char* const kOpenRecordsOf =
    "SELECT id, pid, started_utc, flash_after FROM records"
    " WHERE state = 'open' AND workstation = ? AND revision = 0";

QString SelectRecord() {
    return "SELECT " + RecordColumns().join(", ") +
           " FROM records WHERE id = ? ORDER BY revision DESC LIMIT 1";
}
QString SelectRevision() {
    return "SELECT " + RecordColumns().join(", ") + " FROM records WHERE id = ? AND revision = ?";
}
QString SelectPoints() {
    return "SELECT " + Names(PointColumns()).join(", ") +
           " FROM points WHERE record_id = ? ORDER BY seq";
}
const char* const kSelectPlan =
    "SELECT item, operation, title, kind, channel, nominal, unit, accepted_versions FROM plan_items"
    " WHERE record_id = ? ORDER BY item";

const char* const kReadSetting = "SELECT value FROM settings WHERE key = ?";
const char* const kReadAllSettings = "SELECT key, value FROM settings";
// One statement, so that workstations writing one key at once never collide
// (SQLite 3.24 and PostgreSQL 9.5 know it).
const char* const kWriteSetting =
    "INSERT INTO settings (key, value) VALUES (?, ?)"
    " ON CONFLICT (key) DO UPDATE SET value = excluded.value";

const char* const kJournalSelect =
    "SELECT r.id, r.revision, r.started_utc, r.model, r.designation, r.serial, r.verdict,"
    " r.operator_name, r.certificate, r.state, r.valid_until, r.owner FROM records r WHERE 1 = 1";
const char* const kJournalCount = "SELECT COUNT(*) FROM records r WHERE 1 = 1";
const char* const kJournalLatestOnly =
    " AND NOT EXISTS (SELECT 1 FROM records n WHERE n.id = r.id AND n.revision > r.revision)";
const char* const kFilterFrom = " AND r.started_utc >= ?";
const char* const kFilterTo = " AND r.started_utc < ?";
const char* const kFilterModel = " AND r.model = ?";
const char* const kFilterSerial = " AND r.serial LIKE ?";
const char* const kFilterVerdict = " AND r.verdict = ?";
const char* const kFilterOperator = " AND r.operator_name LIKE ?";
const char* const kFilterDue =
    " AND r.state = 'closed' AND r.verdict = ? AND r.valid_until >= ? AND r.valid_until <= ?"
    " AND NOT EXISTS (SELECT 1 FROM records m WHERE m.serial = r.serial AND m.model = r.model"
    " AND m.id > r.id AND m.state = 'closed')";
const char* const kFilterIdAfter = " AND r.id > ?";
const char* const kJournalOrderById = " ORDER BY r.id LIMIT ?";
const char* const kDueSelect =
    "SELECT r.id, r.valid_until, r.model, r.designation, r.serial, r.owner, r.certificate"
    " FROM records r WHERE 1 = 1";
const char* const kDueOrder = " ORDER BY r.valid_until, r.id";
const char* const kJournalOrderPage = " ORDER BY r.started_utc DESC, r.id DESC LIMIT ? OFFSET ?";
const char* const kJournalOrderAll = " ORDER BY r.started_utc DESC, r.id DESC";

const char* const kChainCounter = "chain";
const char* const kHashAt =
    "SELECT chain_hash FROM records WHERE chain_seq = ?"
    " UNION ALL SELECT close_hash FROM records WHERE close_seq = ?"
    " UNION ALL SELECT chain_hash FROM points WHERE chain_seq = ?"
    " UNION ALL SELECT chain_hash FROM plan_items WHERE chain_seq = ?"
    " UNION ALL SELECT chain_hash FROM lab_references WHERE chain_seq = ?"
    " UNION ALL SELECT chain_hash FROM record_means WHERE chain_seq = ?";
const char* const kFindHash =
    "SELECT chain_seq FROM records WHERE chain_hash = ?"
    " UNION ALL SELECT close_seq FROM records WHERE close_hash = ?"
    " UNION ALL SELECT chain_seq FROM points WHERE chain_hash = ?"
    " UNION ALL SELECT chain_seq FROM plan_items WHERE chain_hash = ?"
    " UNION ALL SELECT chain_seq FROM lab_references WHERE chain_hash = ?"
    " UNION ALL SELECT chain_seq FROM record_means WHERE chain_hash = ?";
const char* const kChainHead = "SELECT value FROM counters WHERE name = 'chain'";
const char* const kSetChainCounter = "UPDATE counters SET value = ? WHERE name = ?";
const char* const kRecordChainHash =
    "SELECT s, h FROM (SELECT chain_seq AS s, chain_hash AS h FROM records WHERE id = ?"
    " UNION ALL SELECT close_seq, close_hash FROM records WHERE id = ? AND close_seq IS NOT NULL"
    " UNION ALL SELECT chain_seq, chain_hash FROM points WHERE record_id = ?"
    " UNION ALL SELECT chain_seq, chain_hash FROM plan_items WHERE record_id = ?) e"
    " WHERE s IS NOT NULL ORDER BY s DESC LIMIT 1";

QString SelectChainWindow(const QString& entry) {
    const QString range = " >= ? AND %1 < ? ORDER BY %1";
    const QString chain = kChainNames.join(", ") + ", ";
    if (entry == "revision")
        return "SELECT " + chain + RecordColumns().join(", ") + " FROM records WHERE chain_seq" +
               range.arg("chain_seq");
    if (entry == "closure")
        return "SELECT close_seq, close_prev, close_hash, " + Names(ClosureColumns()).join(", ") +
               " FROM records WHERE revision = 0 AND close_seq" + range.arg("close_seq");
    if (entry == "point")
        return "SELECT " + chain + Names(PointColumns() + PointMarginColumns()).join(", ") +
               " FROM points WHERE chain_seq" + range.arg("chain_seq");
    if (entry == "reference")
        return "SELECT " + chain + Names(ReferenceColumns()).join(", ") +
               " FROM lab_references WHERE chain_seq" + range.arg("chain_seq");
    if (entry == "means")
        return "SELECT " + chain + Names(MeansColumns()).join(", ") +
               " FROM record_means WHERE chain_seq" + range.arg("chain_seq");
    return "SELECT " + chain + Names(PlanColumns()).join(", ") +
           " FROM plan_items WHERE chain_seq" + range.arg("chain_seq");
}

QString SelectUnchained(const QString& entry) {
    if (entry == "revision") return "SELECT id, revision FROM records WHERE chain_seq IS NULL";
    if (entry == "closure")
        return "SELECT id, 0 FROM records WHERE revision = 0 AND state <> 'open'"
               " AND close_seq IS NULL";
    if (entry == "point") return "SELECT record_id, seq FROM points WHERE chain_seq IS NULL";
    if (entry == "reference")
        return "SELECT number, revision FROM lab_references WHERE chain_seq IS NULL";
    if (entry == "means")
        return "SELECT record_id, number FROM record_means WHERE chain_seq IS NULL";
    return "SELECT record_id, item FROM plan_items WHERE chain_seq IS NULL";
}

const char* const kSealRecordIds = "SELECT DISTINCT id FROM records WHERE id > ? ORDER BY id LIMIT ?";
QStringList RecordColumnsAtChain() {
    QStringList out;
    for (const QString& c : RecordColumns())
        if (VersionAdding("records", c.toLatin1().constData()) <= kChainVersion) out << c;
    return out;
}

QString SealRevisions() {
    return "SELECT " + RecordColumnsAtChain().join(", ") +
           " FROM records WHERE id = ? ORDER BY revision";
}

int VersionAdding(const char* table, const char* column) {
    const QString prefix = QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 ")
                               .arg(QLatin1String(table), QLatin1String(column));
    const QList<QStringList>& migrations = Migrations();
    for (int v = 0; v < migrations.size(); ++v)
        for (const QString& statement : migrations[v])
            if (statement.startsWith(prefix)) return v + 1;
    return 0;
}
const char* const kSealRevision =
    "UPDATE records SET chain_seq = ?, chain_prev = ?, chain_hash = ? WHERE id = ? AND revision = ?";
const char* const kSealClosure =
    "UPDATE records SET close_seq = ?, close_prev = ?, close_hash = ? WHERE id = ? AND revision = 0";
const char* const kSealPoint =
    "UPDATE points SET chain_seq = ?, chain_prev = ?, chain_hash = ? WHERE record_id = ? AND seq = ?";

}  // namespace yukt::records::sql
