#pragma once
// "История модуля": every verification of the selected record's module,
// oldest first, as a table (one column per record: date, verdict,
// methodology, certificate, then each point's error / limit (|error|/limit)
// and the answers of manual operations) and a chart of |error| / limit
// against the date, one line per channel and point, the limit at 1 and the
// marginal line when there is one. The chart is drawn from the table's model.

#include <QAbstractTableModel>
#include <QDialog>

#include "records/module_history.h"

class QChart;
class QChartView;
class QTableView;

namespace yukt {

// Rows: the record rows (kHeaderRows), then one per history row; column 0
// captions, then one column per record.
class TModuleHistoryModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kHeaderRows = 4;  // date, verdict, methodology, certificate
    // |error| / limit of an error cell (invalid when none) and, in the
    // header, the record's start (UTC) of a column.
    static constexpr int kRatioRole = Qt::UserRole + 1;
    static constexpr int kStartRole = Qt::UserRole + 2;
    // True on a row's caption when the row is an error item.
    static constexpr int kErrorRowRole = Qt::UserRole + 3;

    explicit TModuleHistoryModel(records::ModuleHistory history, QObject* parent = nullptr);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    const records::ModuleHistory& History() const { return m_h; }

  private:
    records::ModuleHistory m_h;
};

class TModuleHistoryDialog : public QDialog {
    Q_OBJECT
  public:
    // `marginal` > 0 draws the methodology's marginal line.
    TModuleHistoryDialog(records::ModuleHistory history, double marginal = 0,
                         QWidget* parent = nullptr);
    TModuleHistoryModel* Model() const { return m_model; }
    QChart* Chart() const;

  private:
    void Draw(double marginal);

    TModuleHistoryModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QChartView* m_chart = nullptr;
};

}  // namespace yukt
