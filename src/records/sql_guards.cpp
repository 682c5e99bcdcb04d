// The append-only guards of the records tables and the workstation role's
// rights: the SQL that keeps a stored verification as it was written.
#include "records/sql_text.h"

namespace yukt::records::sql {
namespace {

const char* const kRefusal = "записи поверок только добавляются";

// The closing of an open record: state and finishing columns from their
// opening values, the closure's chain link from NULL, every other column
// as it was.
QString ClosureOnly(Engine engine, int version) {
    const char* same =
        engine == Engine::Sqlite ? "NEW.%1 IS OLD.%1" : "NEW.%1 IS NOT DISTINCT FROM OLD.%1";
    QStringList terms = {"OLD.revision = 0", "OLD.state = 'open'", "NEW.state <> 'open'",
                         "OLD.close_hash IS NULL", "NEW.close_hash IS NOT NULL"};
    for (const QString& c :
         Names(OpeningColumns()) + QStringList{"chain_seq", "chain_prev", "chain_hash"})
        if (VersionAdding("records", c.toLatin1().constData()) <= version)
            terms << QString::fromLatin1(same).arg(c);
    return terms.join(" AND ");
}

QString SqliteRecordsGuard(int version) {
    return "CREATE TRIGGER records_no_update BEFORE UPDATE ON records WHEN NOT (" +
           ClosureOnly(Engine::Sqlite, version) + ")" +
           QStringLiteral(" BEGIN SELECT RAISE(ABORT, '%1'); END").arg(kRefusal);
}

QString PostgresRecordsGuard(int version) {
    return "CREATE TRIGGER records_no_update BEFORE UPDATE ON records FOR EACH ROW WHEN (NOT (" +
           ClosureOnly(Engine::Postgres, version) + ")) EXECUTE FUNCTION records_refuse()";
}

QStringList SqliteGuards(int version) {
    const QString raise = QStringLiteral(" BEGIN SELECT RAISE(ABORT, '%1'); END").arg(kRefusal);
    QStringList out;
    for (const char* table : {"records", "points", "plan_items", "record_ids"})
        out << QStringLiteral("CREATE TRIGGER %1_no_delete BEFORE DELETE ON %1").arg(table) + raise;
    for (const char* table : {"points", "plan_items", "record_ids"})
        out << QStringLiteral("CREATE TRIGGER %1_no_update BEFORE UPDATE ON %1").arg(table) + raise;
    out << SqliteRecordsGuard(version);
    // A counter only goes up: numbers and the chain's length are never given back.
    out << "CREATE TRIGGER counters_no_delete BEFORE DELETE ON counters" + raise;
    out << "CREATE TRIGGER counters_only_up BEFORE UPDATE ON counters"
           " WHEN NOT (NEW.name = OLD.name AND NEW.value > OLD.value)" +
               raise;
    return out;
}

QStringList PostgresGuards(int version) {
    QStringList out = {
        QStringLiteral("CREATE FUNCTION records_refuse() RETURNS trigger LANGUAGE plpgsql AS"
                       " $$ BEGIN RAISE EXCEPTION '%1 (% %)', TG_OP, TG_TABLE_NAME; END $$")
            .arg(kRefusal)};
    const QString refuse = QStringLiteral(" EXECUTE FUNCTION records_refuse()");
    for (const char* table : {"records", "points", "plan_items", "record_ids", "counters"}) {
        out << QStringLiteral("CREATE TRIGGER %1_no_delete BEFORE DELETE ON %1 FOR EACH ROW")
                       .arg(table) +
                   refuse;
        out << QStringLiteral(
                   "CREATE TRIGGER %1_no_truncate BEFORE TRUNCATE ON %1"
                   " FOR EACH STATEMENT")
                       .arg(table) +
                   refuse;
    }
    for (const char* table : {"points", "plan_items", "record_ids"})
        out << QStringLiteral("CREATE TRIGGER %1_no_update BEFORE UPDATE ON %1 FOR EACH ROW")
                       .arg(table) +
                   refuse;
    out << PostgresRecordsGuard(version);
    out << "CREATE TRIGGER counters_only_up BEFORE UPDATE ON counters FOR EACH ROW"
           " WHEN (NOT (NEW.name = OLD.name AND NEW.value > OLD.value))" +
               refuse;
    return out;
}

}  // namespace

QStringList AppendOnlyGuards(Engine engine, int version) {
    return engine == Engine::Sqlite ? SqliteGuards(version) : PostgresGuards(version);
}

QStringList RecordsGuardAgain(Engine engine, int version) {
    if (engine == Engine::Sqlite)
        return {"DROP TRIGGER IF EXISTS records_no_update", SqliteRecordsGuard(version)};
    return {"DROP TRIGGER IF EXISTS records_no_update ON records", PostgresRecordsGuard(version)};
}

QStringList WorkstationGrants(const QString& role) {
    QStringList closing;
    for (const QString& c :
         Names(ClosureColumns()).mid(1) + QStringList{"close_seq", "close_prev", "close_hash"})
        closing << c;
    return {
        "GRANT USAGE ON SCHEMA public TO " + role,
        "GRANT SELECT ON ALL TABLES IN SCHEMA public TO " + role,
        "GRANT INSERT ON record_ids, records, points, plan_items, counters, registry_events TO " +
            role,
        "GRANT INSERT ON lab_references, record_means TO " + role,
        // The row lock of this update is what orders numbers and the chain.
        "GRANT UPDATE (value) ON counters TO " + role,
        "GRANT UPDATE (" + closing.join(", ") + ") ON records TO " + role,
        "GRANT SELECT, INSERT, UPDATE, DELETE ON settings TO " + role,
        // Tables a later version adds are readable and appendable at once.
        "ALTER DEFAULT PRIVILEGES GRANT SELECT, INSERT ON TABLES TO " + role,
    };
}

}  // namespace yukt::records::sql
