#pragma once
// The window of an automatic run: title, progress gauge, the module's plan
// with the state of every operation and channel, the table of what the run
// did (канал, задано, эталон, измерено, погрешность, допуск, результат; every
// point, and every manual operation with its answer and remark; failed rows
// in red, the reason and remark in the result cell and the row's tooltip),
// one error chart per error operation (a tab each), "Поверка модуля" (the
// whole plan), "Стоп" and at the end the banner: for the whole plan
// "ГОДЕН" / "НЕ ГОДЕН" / "ПРЕРВАНО", for some channels what they gave and
// where the module stands ("канал 11: годен; модуль: поверка не завершена").
// It is a window of its own, placed beside the main window, never over it.
// It can be resized and every cell keeps its whole text. Closing it while
// the run goes on is a "Стоп": the window stays to show the verdict.

#include <QDialog>
#include <QMap>
#include <optional>

#include "verify/plan.h"
#include "verify/point_result.h"
#include "verify/point_table.h"

class QLabel;
class QPushButton;
class QTabWidget;
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
    // `item`: the plan item of the point, whose tolerance gives the decimals
    // and the unit; `span`: what the points of p's operation span, to frame
    // its chart.
    void AddPoint(const verify::PointResult& p, verify::Quantity q,
                  const verify::PlanItem* item = nullptr,
                  const std::optional<verify::ErrorSpan>& span = std::nullopt);
    // An attempt at an operation on the module (inspection, functional
    // check, software).
    void AddAttempt(const verify::PlanItem& item, const verify::Attempt& attempt);
    // A line of the run's own in red across the result column: why it did
    // not begin, a safe value the generator did not confirm.
    void AddNote(const QString& text);
    void SetProgress(int percent);
    // The banner's text; `fit` draws it green, otherwise red. `whole`: the
    // run was of the whole plan, and its banner is the big one.
    void End(const QString& banner, bool fit, bool whole, const QString& moduleVerdict);
    bool Ended() const { return m_ended; }
    // Puts the window beside `main` where the screen has room, the largest
    // free part of the screen otherwise; the operator's own placing stays.
    void PlaceBeside(const QWidget* main);
    // The chart of an operation ("7.4"), null when it has none yet.
    TErrorChart* ChartOf(const QString& operation) const { return m_charts.value(operation); }

    QTableWidget* Points = nullptr;
    PercentGauge* Gauge = nullptr;
    QLabel* Title = nullptr;
    QLabel* Banner = nullptr;
    QPushButton* StopBtn = nullptr;
    QPushButton* ModuleBtn = nullptr;  // "Поверка модуля"
    QLabel* ModuleVerdict = nullptr;
    TPlanView* Plan = nullptr;
    QTabWidget* Charts = nullptr;
    TErrorChart* Chart = nullptr;  // of the operation measured last

  signals:
    void stopRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void AddRow(const QStringList& cells, bool failed, const QString& tip);
    void LayOutRowsLater();

    bool m_ended = true;
    bool m_placed = false;
    bool m_layoutPending = false;
    bool m_scrollWanted = false;  // new rows: the table shows the last
    int m_rowsMeasured = 0;
    QMap<QString, TErrorChart*> m_charts;
};

// The texts of a point's row as the table shows them: values to the step
// the tolerance resolves, error and limit to its resolution and in the unit
// of the error.
QStringList PointCells(const verify::PointResult& p, verify::Quantity q,
                       const verify::PlanItem* item = nullptr);

}  // namespace yukt
