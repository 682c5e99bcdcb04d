#pragma once
// The journal's way to a module's history and to the statistics: the buttons
// "История модуля…" and "Статистика…" and the table's right-click menu.

class QBoxLayout;
class QTableView;

namespace yukt {

class TJournalWindow;

void AddJournalAnalysis(TJournalWindow* journal, QTableView* table, QBoxLayout* buttons);
// The history of the selected record's module in a dialog of its own; the
// journal says why when there is none.
void ShowModuleHistory(TJournalWindow* journal);
void ShowStatistics(TJournalWindow* journal);

}  // namespace yukt
