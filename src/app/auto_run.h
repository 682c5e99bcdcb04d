#pragma once
// "Автоповерка" on the verification pages: runs the procedure that fits the
// module kind and the current channel, through the window's command queue,
// and shows it in its own window — progress gauge, the table of points
// (задано, эталон, измерено, погрешность, допуск, результат; failed points
// in red), "Стоп" and at the end the banner "ГОДЕН" / "НЕ ГОДЕН" /
// "ПРЕРВАНО". While it runs the page's manual controls are locked and the
// page's own poll is off; afterwards both are as they were.

#include <QDialog>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

#include "verify/verification_run.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace yukt {

class PercentGauge;
class TMainForm;

namespace records {
class RunRecorder;
}

class TAutoRunWindow : public QDialog {
    Q_OBJECT
  public:
    explicit TAutoRunWindow(QWidget* parent);
    void Begin(const verify::Procedure& p);
    void AddPoint(const verify::PointResult& p, verify::Quantity q);
    void SetProgress(int percent);
    void End(verify::RunVerdict v);

    QTableWidget* Points = nullptr;
    PercentGauge* Gauge = nullptr;
    QLabel* Title = nullptr;
    QLabel* Banner = nullptr;
    QPushButton* StopBtn = nullptr;
};

class TAutoRun : public QObject, public verify::ProgressSink {
    Q_OBJECT
  public:
    explicit TAutoRun(TMainForm& form);
    ~TAutoRun() override;

    // The "Автоповерка" button of either page.
    void AutoBtnClick();
    // Runs one procedure (the choice already made).
    void Start(const verify::Procedure& p);
    void StopClick();
    bool Running() const { return m_run != nullptr && !m_run->Finished(); }
    TAutoRunWindow* Window() const { return m_window; }

    void PointStarted(int index, int count, double nominal) override;
    void PointFinished(const verify::PointResult& point) override;
    void RunFinished(const verify::RunResult& run) override;

  private:
    void Line(const QString& line);
    void Apply(const verify::Actions& a);
    double Now() const;
    void Lock(bool locked);
    int Channel() const;
    void LostStore(const records::RunRecorder& recorder);

    TMainForm& m_form;
    std::unique_ptr<verify::VerificationRun> m_run;
    // Commits the run's points into the open verification record, if any.
    std::unique_ptr<records::RunRecorder> m_recorder;
    TAutoRunWindow* m_window;
    QTimer m_wake;
    QElapsedTimer m_clock;
    bool m_pollingBefore = false;
};

}  // namespace yukt
