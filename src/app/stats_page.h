#pragma once
// "Статистика": the laboratory's statistics over the journal for a model and
// a date range — records by verdict per model and month (a table and a bar
// chart), each error item's measurements against its limit, and who made
// the records where. The figures are read by grouping in the database.

#include <QDialog>

#include "records/lab_stats.h"

class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QStandardItemModel;
class QTableView;

namespace yukt {

class TStatsPage : public QDialog {
    Q_OBJECT
  public:
    TStatsPage(const QSqlDatabase& db, QWidget* parent = nullptr);
    records::StatsFilter Filter() const;
    QStandardItemModel* VerdictsModel() const { return m_verdicts; }
    QStandardItemModel* ItemsModel() const { return m_items; }
    QStandardItemModel* PeopleModel() const { return m_people; }
    QChart* Chart() const;
    QComboBox* ModelFilter() const { return m_modelFilter; }

  public slots:
    void Refresh();

  private:
    void DrawChart(const records::LabStats& s);

    QSqlDatabase m_db;
    QComboBox* m_modelFilter = nullptr;
    QCheckBox *m_useFrom = nullptr, *m_useTo = nullptr;
    QDateEdit *m_from = nullptr, *m_to = nullptr;
    QLabel* m_status = nullptr;
    QStandardItemModel *m_verdicts = nullptr, *m_items = nullptr, *m_people = nullptr;
    QChartView* m_chart = nullptr;
};

}  // namespace yukt
