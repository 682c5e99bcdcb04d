#include "records/sql_analysis.h"

namespace yukt::records::sql {

const char* const kHistoryIds = "SELECT r.id FROM records r WHERE r.serial = ?";
const char* const kHistoryModel = " AND r.model = ?";
const char* const kHistoryOrder = " ORDER BY r.started_utc, r.id";

// The start's hour, UTC ("2026-12-08T07"): the local month is found from it
// in the program, exactly for every whole-hour offset.
const char* const kStatsVerdicts =
    "SELECT r.model, SUBSTR(r.started_utc, 1, 13), r.state, r.verdict, COUNT(*)"
    " FROM records r WHERE r.state <> 'open'";
const char* const kStatsVerdictsGroup =
    " GROUP BY r.model, SUBSTR(r.started_utc, 1, 13), r.state, r.verdict";
const char* const kStatsPeople =
    "SELECT r.model, r.operator_name, r.workstation, COUNT(*) FROM records r"
    " WHERE r.state <> 'open'";
const char* const kStatsPeopleGroup =
    " GROUP BY r.model, r.operator_name, r.workstation"
    " ORDER BY r.model, COUNT(*) DESC, r.operator_name, r.workstation";

// The latest attempt at each plan item counts (a point of a single
// procedure, item 0, counts as it is); manual operations have no limit.
// The limit is the one at the point: abs+rel adds its part proportional to
// the reference.
#define YUKT_LIMIT_AT                                                                  \
    "(p.limit_value + CASE WHEN p.error_kind = 'abs+rel' THEN COALESCE(p.limit2, 0) *" \
    " ABS(p.reference) ELSE 0 END)"
const char* const kStatsItems =
    "SELECT model, operation, channel_no, channel, nominal, unit, COUNT(*), SUM(ratio),"
    " MAX(ratio), SUM(CASE WHEN ratio > 0.8 THEN 1 ELSE 0 END),"
    " SUM(CASE WHEN result = 'fail' THEN 1 ELSE 0 END) FROM ("
    "SELECT r.model AS model, CASE WHEN COALESCE(p.operation, '') = '' THEN"
    " COALESCE(p.procedure_name, '') ELSE p.operation END AS operation,"
    " COALESCE(p.channel_no, 0) AS channel_no,"
    " CASE WHEN COALESCE(p.channel_no, 0) > 0 THEN '' ELSE COALESCE(p.channel, '') END"
    " AS channel, p.nominal AS nominal, COALESCE(p.unit, '') AS unit, p.result AS result,"
    " ABS(p.error) / " YUKT_LIMIT_AT
    " AS ratio"
    " FROM records r JOIN points p ON p.record_id = r.id WHERE r.state <> 'open'"
    " AND p.result <> 'not measured' AND " YUKT_LIMIT_AT
    " > 0"
    " AND (COALESCE(p.item, 0) = 0 OR NOT EXISTS (SELECT 1 FROM points q"
    " WHERE q.record_id = p.record_id AND q.item = p.item AND q.attempt > p.attempt))";
#undef YUKT_LIMIT_AT
const char* const kStatsItemsGroup =
    ") s GROUP BY model, operation, channel_no, channel, nominal, unit"
    " ORDER BY model, operation, channel_no, channel, nominal";
const char* const kStatsStation = " AND r.workstation = ?";

const char* const kModulesSelect =
    "SELECT r.model, r.serial, COUNT(*), MAX(r.started_utc) FROM records r WHERE 1 = 1";
const char* const kModulesGroup = " GROUP BY r.model, r.serial ORDER BY r.model, r.serial";

}  // namespace yukt::records::sql
