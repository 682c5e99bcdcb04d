#pragma once
// The journal's way to a module's history and to the statistics: the buttons
// "История модуля…" and "Статистика…" and the table's right-click menu.

#include <string>

class QBoxLayout;
class QTableView;

namespace yukt::records {
struct ModuleHistory;
}

namespace yukt {

class TJournalWindow;

void AddJournalAnalysis(TJournalWindow* journal, QTableView* table, QBoxLayout* buttons);
// The history of the selected record's module in a dialog of its own; the
// journal says why when there is none.
void ShowModuleHistory(TJournalWindow* journal);
void ShowStatistics(TJournalWindow* journal);
// The marginal share of the methodology the module's latest record was made
// by (its id and revision), as the methodologies of `dir` have it; 0 when it
// has none or its file is no longer there.
double HistoryMarginal(const records::ModuleHistory& h, const std::string& dir);

}  // namespace yukt
