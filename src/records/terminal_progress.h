// A progress bar on a terminal for long commands: the count, the share and
// the time left, redrawn at most a few times a second on stderr. Quiet when
// stderr is not a terminal, so logs and pipes get no control characters.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <algorithm>

namespace yukt::records {

class TerminalProgress {
  public:
    explicit TerminalProgress(const QString& caption);
    ~TerminalProgress();
    void Show(qint64 done, qint64 total);
    // A step that has no count ("проверка файла"), with the time it has taken so far.
    void Step(const QString& what);
    // Clears the bar's line.
    void Done();
    bool Active() const { return m_tty; }

  private:
    QString m_caption;
    bool m_tty = false;
    bool m_drawn = false;
    QElapsedTimer m_clock;
    qint64 m_lastDraw = -1;
};

// "1:05" or "12 с".
QString DurationText(qint64 seconds);

}  // namespace yukt::records
