#pragma once
// The window of an automatic run: title, progress gauge, the module's plan
// with the state of every operation and channel, the table of points
// (канал, задано, эталон, измерено, погрешность, допуск, результат; failed points
// in red, the reason a point was not measured in full in its tooltip), the
// error chart, "Поверка модуля" (the whole plan), "Стоп" and at the end the
// banner "ГОДЕН" / "НЕ ГОДЕН" / "ПРЕРВАНО" of the run's items with the
// module's verdict below it. It can be resized and every cell keeps its
// whole text. Closing it while the run goes on is a "Стоп": the window stays
// to show the verdict.

#include <QDialog>
#include <optional>

#include "verify/plan.h"
#include "verify/point_result.h"
#include "verify/point_table.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace yukt {

class PercentGauge;
class TErrorChart;
class TPlanView;

class TAutoRunWindow : public QDialog {
    Q_OBJECT
  public:
    explicit TAutoRunWindow(QWidget* parent);
    void Begin(const QString& title);
    // `span`: what the points of p's operation span, to frame the chart.
    void AddPoint(const verify::PointResult& p, verify::Quantity q,
                  const std::optional<verify::ErrorSpan>& span = std::nullopt);
    void SetProgress(int percent);
    void End(verify::RunVerdict v, const QString& moduleVerdict);
    bool Ended() const { return m_ended; }

    QTableWidget* Points = nullptr;
    PercentGauge* Gauge = nullptr;
    QLabel* Title = nullptr;
    QLabel* Banner = nullptr;
    QPushButton* StopBtn = nullptr;
    QPushButton* ModuleBtn = nullptr;  // "Поверка модуля"
    QLabel* ModuleVerdict = nullptr;
    TPlanView* Plan = nullptr;
    TErrorChart* Chart = nullptr;

  signals:
    void stopRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void LayOutRowsLater();

    bool m_ended = true;
    bool m_layoutPending = false;
    bool m_scrollWanted = false;  // new rows: the table shows the last
    int m_rowsMeasured = 0;
};

// The texts of a point's row as the table shows them.
QStringList PointCells(const verify::PointResult& p, verify::Quantity q);

}  // namespace yukt
