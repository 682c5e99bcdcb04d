// The guards that keep the workstation's own rights from forging a record:
// a revision changes only descriptive columns, a point or plan item joins
// only the open record of its run, a closing is written once, by its run or
// as the recovery of a dead one, with the verdict the stored plan and
// attempts give, and every chain position is the counter's and links to the
// stored hash before it. The same conditions serve both engines.
#include "records/sql_text.h"

namespace yukt::records::sql {
namespace {

const char* const kZeroHash = "0000000000000000000000000000000000000000000000000000000000000000";

const char* const kRevisionRefused = "редакция записи меняет только описательные поля";
const char* const kOpeningRefused = "новая запись начинается открытой, со своим номером";
const char* const kJoinRefused = "точка или пункт плана — только в открытую запись своего прогона";
const char* const kClosingRefused =
    "закрыть запись может только её прогон; другой — только как «прервано»";
const char* const kVerdictRefused = "итог записи не совпадает с итогом её плана и попыток";
const char* const kChainRefused = "место в цепочке записей назначает база данных";
const char* const kNumberRefused = "номер записи назначает счётчик базы данных";

// The stored hash at chain position `seq` (an expression), the start's
// zeros when there is none.
QString HashAt(const QString& seq) {
    return QStringLiteral(
               "coalesce((SELECT h FROM (SELECT chain_hash AS h FROM records WHERE chain_seq = %1"
               " UNION ALL SELECT close_hash FROM records WHERE close_seq = %1"
               " UNION ALL SELECT chain_hash FROM points WHERE chain_seq = %1"
               " UNION ALL SELECT chain_hash FROM plan_items WHERE chain_seq = %1"
               " UNION ALL SELECT chain_hash FROM lab_references WHERE chain_seq = %1"
               " UNION ALL SELECT chain_hash FROM record_means WHERE chain_seq = %1) AS e LIMIT 1),"
               " '%2')")
        .arg(seq, QLatin1String(kZeroHash));
}

QString Counter(const char* name) {
    return QStringLiteral("(SELECT value FROM counters WHERE name = '%1')").arg(name);
}

// The position is the counter's latest and the link is to what is stored before it.
QString ChainHere(const QString& seq, const QString& prev) {
    return QStringLiteral("%1 = %2 AND %3 = %4")
        .arg(seq, Counter("chain"), prev, HashAt("(" + seq + " - 1)"));
}

// Does `token` (an expression) open the record whose key is `key`?
QString TokenFits(Engine engine, const QString& token, const QString& key) {
    if (engine == Engine::Sqlite) return token + " = " + key;
    return QStringLiteral("encode(sha256(convert_to(%1, 'UTF8')), 'hex') = %2").arg(token, key);
}

QString Empty(const QString& column) { return "coalesce(" + column + ", '') = ''"; }

// The closing of a run that can no longer speak for itself.
QString Recovery() {
    return "NEW.state = 'interrupted' AND NEW.verdict = 'прервано' AND " +
           Empty("NEW.certificate") + " AND " + Empty("NEW.valid_until");
}

QString ClosingVerdict() {
    return "(" + Recovery() + ") OR (NEW.state = 'closed' AND NEW.verdict IN ('годен', 'не годен')" +
           " AND NEW.verdict = " + StoredVerdict("OLD.id") +
           " AND (NEW.verdict = 'годен' OR " + Empty("NEW.valid_until") + "))";
}

QString OpeningOnly() {
    QStringList terms = {"NEW.state = 'open'", "NEW.close_seq IS NULL", "NEW.close_hash IS NULL",
                         "coalesce(NEW.run_key, '') <> ''",
                         "NEW.id = " + QString(Counter("record"))};
    for (const char* c : {"finished_utc", "verdict", "reasons", "valid_until", "certificate"})
        terms << Empty(QStringLiteral("NEW.") + c);
    return terms.join(" AND ");
}

QString JoinsOpenRun(Engine engine, const QString& token) {
    return "EXISTS (SELECT 1 FROM records r WHERE r.id = NEW.record_id AND r.revision = 0"
           " AND r.state = 'open' AND " +
           TokenFits(engine, token, "r.run_key") + ")";
}

// SQLite: each condition refused with its own message.
QString Raise(const QString& condition, const char* message) {
    return QStringLiteral(" SELECT RAISE(ABORT, '%1') WHERE NOT coalesce((%2), 0);")
        .arg(QString::fromUtf8(message), condition);
}

QStringList SqliteGuards() {
    const QString chain = ChainHere("NEW.chain_seq", "NEW.chain_prev");
    QStringList out;
    out << "CREATE TRIGGER record_ids_numbered BEFORE INSERT ON record_ids BEGIN" +
               Raise("NEW.id = " + QString(Counter("record")), kNumberRefused) + " END";
    out << "CREATE TRIGGER records_opening_guard BEFORE INSERT ON records"
           " WHEN NEW.revision = 0 BEGIN" +
               Raise(OpeningOnly(), kOpeningRefused) + Raise(chain, kChainRefused) + " END";
    out << "CREATE TRIGGER records_revision_chained BEFORE INSERT ON records"
           " WHEN NEW.revision > 0 BEGIN" +
               Raise(chain, kChainRefused) + " END";
    for (const char* table : {"points", "plan_items"})
        out << QStringLiteral("CREATE TRIGGER %1_join_guard BEFORE INSERT ON %1 BEGIN").arg(table) +
                   Raise(JoinsOpenRun(Engine::Sqlite, "NEW.run_token"), kJoinRefused) +
                   Raise(chain, kChainRefused) + " END";
    out << "CREATE TRIGGER records_closing_guard BEFORE UPDATE ON records BEGIN" +
               Raise(TokenFits(Engine::Sqlite, "NEW.run_token", "OLD.run_key") + " OR (" +
                         Recovery() + ")",
                     kClosingRefused) +
               Raise(ClosingVerdict(), kVerdictRefused) +
               Raise(ChainHere("NEW.close_seq", "NEW.close_prev"), kChainRefused) + " END";
    // The database's own identity, which names its spool whatever address reaches it.
    out << "CREATE TABLE database_identity (uuid TEXT NOT NULL)"
        << "INSERT INTO database_identity (uuid) VALUES (lower(hex(randomblob(16))))"
        << "CREATE TRIGGER database_identity_kept BEFORE UPDATE ON database_identity BEGIN"
           " SELECT RAISE(ABORT, 'записи поверок только добавляются'); END"
        << "CREATE TRIGGER database_identity_kept_d BEFORE DELETE ON database_identity BEGIN"
           " SELECT RAISE(ABORT, 'записи поверок только добавляются'); END";
    return out;
}

QString PgRefuse(const QString& condition, const char* message) {
    return QStringLiteral(" IF NOT coalesce((%1), false) THEN RAISE EXCEPTION '%2'; END IF;")
        .arg(condition, QString::fromUtf8(message));
}

// Who wrote the row, as the server sees the session.
const char* const kWrittenHere =
    " NEW.%1_by := session_user; NEW.%1_from := coalesce(host(inet_client_addr()), 'local');"
    " NEW.%1_utc := to_char(clock_timestamp() AT TIME ZONE 'UTC',"
    " 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"');";

QString PgFunction(const QString& name, const QString& body) {
    return QStringLiteral(
               "CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$"
               " DECLARE token text := coalesce(NEW.run_token,"
               " current_setting('yukt.run_token', true)); BEGIN%2 RETURN NEW; END $$")
        .arg(name, body);
}

QStringList PostgresGuards() {
    const QString chain = ChainHere("NEW.chain_seq", "NEW.chain_prev");
    QStringList out;
    out << "CREATE FUNCTION record_ids_numbered() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN" +
               PgRefuse("NEW.id = " + QString(Counter("record")), kNumberRefused) +
               " RETURN NEW; END $$"
        << "CREATE TRIGGER record_ids_numbered BEFORE INSERT ON record_ids FOR EACH ROW"
           " EXECUTE FUNCTION record_ids_numbered()";
    // The token is never stored: the record keeps its hash, the rows nothing.
    const QString records =
        " NEW.run_token := NULL; IF TG_OP = 'INSERT' THEN" + QString(kWrittenHere).arg("written") +
        PgRefuse(chain, kChainRefused) + " IF NEW.revision = 0 THEN" +
        PgRefuse(OpeningOnly(), kOpeningRefused) +
        " NEW.run_key := encode(sha256(convert_to(NEW.run_key, 'UTF8')), 'hex');"
        " ELSE NEW.run_key := NULL; END IF; ELSE" +
        QString(kWrittenHere).arg("closed") +
        PgRefuse("(OLD.run_key IS NOT NULL AND " +
                     TokenFits(Engine::Postgres, "token", "OLD.run_key") + ") OR (" + Recovery() +
                     ")",
                 kClosingRefused) +
        PgRefuse(ClosingVerdict(), kVerdictRefused) +
        PgRefuse(ChainHere("NEW.close_seq", "NEW.close_prev"), kChainRefused) + " END IF;";
    out << PgFunction("records_guard", records)
        << "CREATE TRIGGER records_guard BEFORE INSERT OR UPDATE ON records FOR EACH ROW"
           " EXECUTE FUNCTION records_guard()";
    const QString joins = QString(kWrittenHere).arg("written") +
                          PgRefuse(JoinsOpenRun(Engine::Postgres, "token"), kJoinRefused) +
                          PgRefuse(chain, kChainRefused) + " NEW.run_token := NULL;";
    out << PgFunction("records_join_guard", joins);
    for (const char* table : {"points", "plan_items"})
        out << QStringLiteral(
                   "CREATE TRIGGER %1_join_guard BEFORE INSERT ON %1 FOR EACH ROW"
                   " EXECUTE FUNCTION records_join_guard()")
                   .arg(table);
    out << "CREATE TABLE database_identity (uuid TEXT NOT NULL)"
        << "INSERT INTO database_identity (uuid) VALUES (replace(gen_random_uuid()::text, '-', ''))"
        << "CREATE TRIGGER database_identity_kept BEFORE UPDATE OR DELETE ON database_identity"
           " FOR EACH ROW EXECUTE FUNCTION records_refuse()"
        << "CREATE TRIGGER database_identity_kept_t BEFORE TRUNCATE ON database_identity"
           " FOR EACH STATEMENT EXECUTE FUNCTION records_refuse()";
    return out;
}

}  // namespace

QString StoredVerdict(const QString& id) {
    // A software check passed without the identification it found proves
    // nothing; a measured attempt counts before one never measured, then the
    // latest: the run's own rule.
    const QString result = QStringLiteral(
        "(CASE WHEN p.result = 'pass' AND coalesce(trim(p.remark), '') = ''"
        " AND EXISTS (SELECT 1 FROM plan_items k WHERE k.record_id = p.record_id"
        " AND k.item = p.item AND k.kind = 'software') THEN 'not measured' ELSE p.result END)");
    const QString latest =
        QStringLiteral(
            "(SELECT %2 AS r FROM points p WHERE p.record_id = %1 AND p.item = i.item"
            " ORDER BY (CASE WHEN %2 IN ('pass', 'fail') THEN 1 ELSE 0 END) DESC,"
            " coalesce(p.attempt, 0) DESC, p.seq DESC LIMIT 1)")
            .arg(id, result);
    // As the run judges: without a plan every point counts, a point never
    // measured leaves it unfinished; with one the latest attempt per item
    // counts, a failure decides, and an empty plan proves nothing.
    return QStringLiteral(
               "(CASE WHEN NOT EXISTS (SELECT 1 FROM plan_items WHERE record_id = %1) THEN"
               " (CASE WHEN NOT EXISTS (SELECT 1 FROM points WHERE record_id = %1)"
               " OR EXISTS (SELECT 1 FROM points WHERE record_id = %1"
               " AND coalesce(result, '') NOT IN ('pass', 'fail')) THEN 'прервано'"
               " WHEN EXISTS (SELECT 1 FROM points WHERE record_id = %1 AND result = 'fail')"
               " THEN 'не годен' ELSE 'годен' END)"
               " WHEN EXISTS (SELECT 1 FROM plan_items i WHERE i.record_id = %1"
               " AND %2 = 'fail') THEN 'не годен'"
               " WHEN EXISTS (SELECT 1 FROM plan_items i WHERE i.record_id = %1"
               " AND coalesce(%2, '') <> 'pass') THEN 'прервано' ELSE 'годен' END)")
        .arg(id, latest);
}

QStringList ForgeryGuards(Engine engine) {
    return engine == Engine::Sqlite ? SqliteGuards() : PostgresGuards();
}

QStringList RevisionGuard(Engine engine, const QStringList& recordTableColumns) {
    // Old rows hold NULL where the program now writes '' or 0; any type.
    const char* same = engine == Engine::Sqlite
                           ? "(NEW.%1 IS o.%1 OR (o.%1 IS NULL AND"
                             " coalesce(CAST(NEW.%1 AS TEXT), '') IN ('', '0')))"
                           : "(NEW.%1 IS NOT DISTINCT FROM o.%1 OR (o.%1 IS NULL AND"
                             " coalesce(NEW.%1::text, '') IN ('', '0')))";
    QStringList terms = {"o.id = NEW.id", "o.revision = 0", "o.state <> 'open'"};
    for (const QString& c : recordTableColumns) {
        if (DescriptiveColumns().contains(c) || RevisionOwnColumns().contains(c) || c == "id")
            continue;
        terms << QString::fromLatin1(same).arg(c);
    }
    const QString condition =
        "EXISTS (SELECT 1 FROM records o WHERE " + terms.join(" AND ") +
        ") AND NEW.revision = (SELECT max(revision) + 1 FROM records WHERE id = NEW.id)"
        " AND NEW.close_seq IS NULL AND NEW.close_hash IS NULL";
    if (engine == Engine::Sqlite)
        return {"DROP TRIGGER IF EXISTS records_revision_guard",
                "CREATE TRIGGER records_revision_guard BEFORE INSERT ON records"
                " WHEN NEW.revision > 0 BEGIN" +
                    Raise(condition, kRevisionRefused) + " END"};
    return {"DROP TRIGGER IF EXISTS records_revision_guard ON records",
            "CREATE OR REPLACE FUNCTION records_revision_guard() RETURNS trigger LANGUAGE plpgsql"
            " AS $$ BEGIN" +
                PgRefuse(condition, kRevisionRefused) + " RETURN NEW; END $$",
            "CREATE TRIGGER records_revision_guard BEFORE INSERT ON records FOR EACH ROW"
            " WHEN (NEW.revision > 0) EXECUTE FUNCTION records_revision_guard()"};
}

}  // namespace yukt::records::sql
