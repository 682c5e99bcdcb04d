#include "app/journal_analysis.h"

#include <QBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>

#include "app/journal_window.h"
#include "app/module_history_dialog.h"
#include "app/stats_page.h"
#include "records/history_marginal.h"
#include "verify/procedure_library.h"

namespace yukt {

void ShowModuleHistory(TJournalWindow* journal) {
    const qint64 id = journal->SelectedRecord();
    if (id == 0) {
        QMessageBox::information(journal, QStringLiteral("История модуля"),
                                 QStringLiteral("Выберите запись о модуле"));
        return;
    }
    const std::optional<records::Record> r = journal->Store().Load(id);
    QString error = journal->Store().LastError();
    std::optional<records::ModuleHistory> h;
    if (r)
        h = records::LoadModuleHistory(journal->Store(), r->info.serial, r->module.model, &error);
    if (!h) {
        QMessageBox::warning(journal, QStringLiteral("История модуля"), error);
        return;
    }
    const double marginal = records::HistoryMarginal(*h, verify::UserMethodologyDir());
    auto* dialog = new TModuleHistoryDialog(std::move(*h), marginal, journal);
    dialog->setObjectName("ModuleHistoryDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void ShowStatistics(TJournalWindow* journal) {
    auto* page = new TStatsPage(journal->Store().Database(), journal);
    page->setObjectName("StatsPage");
    page->setAttribute(Qt::WA_DeleteOnClose);
    page->show();
}

void AddJournalAnalysis(TJournalWindow* journal, QTableView* table, QBoxLayout* buttons) {
    auto* history = new QPushButton(QStringLiteral("История модуля…"), journal);
    history->setObjectName("HistoryButton");
    auto* stats = new QPushButton(QStringLiteral("Статистика…"), journal);
    stats->setObjectName("StatsButton");
    QObject::connect(history, &QPushButton::clicked, journal,
                     [journal] { ShowModuleHistory(journal); });
    QObject::connect(stats, &QPushButton::clicked, journal, [journal] { ShowStatistics(journal); });
    buttons->insertWidget(buttons->count() - 2, history);
    buttons->insertWidget(buttons->count() - 2, stats);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(table, &QTableView::customContextMenuRequested, journal,
                     [journal, table](const QPoint& at) {
                         QMenu menu(table);
                         menu.addAction(QStringLiteral("История модуля"),
                                        [journal] { ShowModuleHistory(journal); });
                         menu.exec(table->viewport()->mapToGlobal(at));
                     });
}

}  // namespace yukt
