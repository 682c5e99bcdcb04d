// SQL of the analyses read from the journal: a module's history, the
// laboratory's statistics and the report. Kept beside sql_text.cpp, whose
// conventions it follows (values always bound, latest revisions only).
#pragma once

namespace yukt::records::sql {

// The record numbers of one serial, oldest first; a model may be added.
extern const char* const kHistoryIds;
extern const char* const kHistoryModel;
extern const char* const kHistoryOrder;

// Statistics. Each takes the filter's fragments after "WHERE 1 = 1" and
// groups what it reads; a month is taken from the start's UTC hour, which
// the caller turns into the local month.
extern const char* const kStatsVerdicts;
extern const char* const kStatsVerdictsGroup;
extern const char* const kStatsPeople;
extern const char* const kStatsPeopleGroup;
extern const char* const kStatsItems;
extern const char* const kStatsItemsGroup;
extern const char* const kStatsStation;

// The serials and models of the records in a range, for the report's pages.
extern const char* const kModulesSelect;
extern const char* const kModulesGroup;

}  // namespace yukt::records::sql
