#include "records/sql_references.h"

#include "records/point_fields.h"

namespace yukt::records::sql {
namespace {
using T = ColumnType;
const char* const kMarker = "CREATE TABLE lab_references";
const char* const kRefusal = "реестр эталонов и средства поверки записей только дополняются";
const QStringList kChain = {"chain_seq", "chain_prev", "chain_hash"};

QString Insert(const char* table, const QList<Column>& columns) {
    const QStringList names = Names(columns) + kChain;
    QStringList marks;
    for (int i = 0; i < names.size(); ++i) marks << "?";
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(QLatin1String(table), names.join(", "), marks.join(", "));
}
}  // namespace

int ReferencesVersion() {
    const QList<QStringList>& all = Migrations();
    for (int i = 0; i < all.size(); ++i)
        for (const QString& s : all[i])
            if (s.startsWith(QLatin1String(kMarker))) return i + 1;
    return -1;
}

QStringList ReferenceGuards(Engine engine) {
    QStringList out;
    for (const char* table : {"lab_references", "record_means"}) {
        if (engine == Engine::Sqlite) {
            const QString raise =
                QStringLiteral(" BEGIN SELECT RAISE(ABORT, '%1'); END").arg(kRefusal);
            out << QStringLiteral("CREATE TRIGGER %1_no_delete BEFORE DELETE ON %1").arg(table) +
                       raise
                << QStringLiteral("CREATE TRIGGER %1_no_update BEFORE UPDATE ON %1").arg(table) +
                       raise;
            continue;
        }
        // records_refuse() came with the records' own guards.
        const QString refuse = QStringLiteral(" EXECUTE FUNCTION records_refuse()");
        for (const char* op : {"DELETE", "UPDATE"})
            out << QStringLiteral("CREATE TRIGGER %1_no_%2 BEFORE %3 ON %1 FOR EACH ROW")
                           .arg(QLatin1String(table), QString(QLatin1String(op)).toLower(),
                                QLatin1String(op)) +
                       refuse;
        out << QStringLiteral("CREATE TRIGGER %1_no_truncate BEFORE TRUNCATE ON %1"
                              " FOR EACH STATEMENT")
                       .arg(table) +
                   refuse;
    }
    return out;
}

const QList<Column>& ReferenceColumns() {
    static const QList<Column> columns = {
        {"number", T::Text},      {"revision", T::Int},     {"kind", T::Text},
        {"type_number", T::Text}, {"name", T::Text},        {"serial", T::Text},
        {"certificate", T::Text}, {"valid_from", T::Text},  {"valid_until", T::Text},
        {"quantities", T::Text},  {"state", T::Text},       {"note", T::Text},
        {"workstation", T::Text}, {"changed_utc", T::Text},
    };
    return columns;
}

const QList<Column>& MeansColumns() {
    static const QList<Column> columns = {
        {"record_id", T::Int},   {"quantity", T::Text},    {"number", T::Text},
        {"kind", T::Text},       {"type_number", T::Text}, {"name", T::Text},
        {"serial", T::Text},     {"certificate", T::Text}, {"valid_until", T::Text},
    };
    return columns;
}

const QList<Column>& PointMarginColumns() {
    static const QList<Column> columns = PointFieldColumns(PointField::Margin);
    return columns;
}

QString InsertPointWithMargins() {
    // As InsertPoint: the run's token and who wrote it follow the chain.
    const QStringList names = Names(PointColumns() + PointMarginColumns()) + kChain +
                              QStringList{"run_token", "written_by", "written_from", "written_utc"};
    QStringList marks;
    for (int i = 0; i < names.size(); ++i) marks << "?";
    return QStringLiteral("INSERT INTO points (%1) VALUES (%2)").arg(names.join(", "), marks.join(", "));
}

QString SelectPointMargins() {
    return "SELECT seq, " + Names(PointMarginColumns()).join(", ") +
           " FROM points WHERE record_id = ? AND u IS NOT NULL ORDER BY seq";
}

QString InsertReference() { return Insert("lab_references", ReferenceColumns()); }
QString InsertMeans() { return Insert("record_means", MeansColumns()); }

QString SelectReferences() {
    return "SELECT " + Names(ReferenceColumns()).join(", ") +
           " FROM lab_references ORDER BY number, revision";
}
QString SelectMeansOf() {
    return "SELECT " + Names(MeansColumns()).join(", ") +
           " FROM record_means WHERE record_id = ? ORDER BY quantity, number";
}

// The index on record_means (number, record_id) finds the few records of a
// reference among millions; each one's latest revision by the primary key.
const char* const kFilterReference =
    " AND r.id IN (SELECT m.record_id FROM record_means m WHERE m.number = ?)";
const char* const kSuspectSelect =
    "SELECT r.id, r.started_utc, r.model, r.designation, r.serial, r.owner, r.verdict,"
    " r.certificate, r.valid_until, r.state FROM records r WHERE 1 = 1";
const char* const kSuspectOrder = " ORDER BY r.started_utc, r.id";

}  // namespace yukt::records::sql
