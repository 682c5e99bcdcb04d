#pragma once
// A small window over the simulated calibrator bench for demonstrations:
// the operator's side of the bench (mode switch, the module on the exchange
// bus, the meter) and what the calibrator's generators put out right now.
// The bench itself serves the workstation on a pseudo-terminal from a thread
// of its own.

#include <QWidget>
#include <atomic>
#include <memory>
#include <thread>

#include "sim/bench.h"
#include "sim/pty_line.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QRadioButton;
class QSpinBox;
class QCheckBox;

namespace yukt {

class LedIndicator;

class BenchPanel : public QWidget {
    Q_OBJECT

  public:
    // Takes the bench and the line it is to be served on.
    BenchPanel(std::unique_ptr<sim::Bench> bench, std::unique_ptr<sim::PtyLine> line,
               QWidget* parent = nullptr);
    ~BenchPanel() override;

    sim::Bench& bench() { return *m_bench; }
    // Refreshes the displayed state from the bench (a timer calls it).
    void refresh();
    // Applies one bench command ("switch verify", "module 735t" ...); the
    // error text, empty on success, is also shown in the window.
    QString command(const QString& text);

  private:
    void plugModule();

    std::unique_ptr<sim::Bench> m_bench;
    std::unique_ptr<sim::PtyLine> m_line;
    std::atomic<bool> m_stop{false};
    std::thread m_server;

    QRadioButton* m_replace = nullptr;
    QRadioButton* m_verify = nullptr;
    QComboBox* m_model = nullptr;
    QSpinBox* m_address = nullptr;
    QCheckBox* m_meter = nullptr;
    LedIndicator* m_busLed = nullptr;
    QLabel* m_current = nullptr;
    QLabel* m_frequency = nullptr;
    QLabel* m_interval = nullptr;
    QLabel* m_message = nullptr;
    QPlainTextEdit* m_state = nullptr;
    std::uint64_t m_lastRequests = 0;
};

}  // namespace yukt
