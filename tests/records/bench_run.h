// The simulated bench of a 745t on a pseudo-terminal and yukt-verify runs on
// it, for the tests that record a whole run: the bench's generator can be
// read back while a run goes on or after it stopped.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>

namespace yukt::records::test {

class BenchRun {
  public:
    // Files go to `dir` (cfg/, com1, the bench's output and control file).
    explicit BenchRun(const QString& dir) : m_dir(dir) {}
    ~BenchRun();
    bool StartBench(const QStringList& extra = {});
    // The 745t's current procedure, each point settling after `delay` seconds.
    QString WriteProcedure(const char* delay);
    // Starts yukt-verify on the bench with the procedure, `--serial S-77`,
    // the fields a record needs and `extra` (--db ... at least).
    void StartVerify(QProcess& verify, const QString& procedure, const QStringList& extra);
    // The current the calibrator's generator puts out now, in mA, as the
    // bench describes itself; nothing when it does not within 5 s.
    std::optional<double> GeneratorCurrent();

  private:
    QString m_dir;
    QProcess m_bench;
};

}  // namespace yukt::records::test
