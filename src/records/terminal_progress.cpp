#include "records/terminal_progress.h"

#include <unistd.h>

#include <cstdio>

namespace yukt::records {

namespace {
constexpr qint64 kRedrawMs = 200;  // often enough to look alive, cheap on a slow link
constexpr int kBarWidth = 30;
}  // namespace

QString DurationText(qint64 seconds) {
    if (seconds < 60) return QStringLiteral("%1 с").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar('0'))
        .arg(seconds % 60, 2, 10, QChar('0'));
}

TerminalProgress::TerminalProgress(const QString& caption)
    : m_caption(caption), m_tty(::isatty(STDERR_FILENO) == 1) {
    m_clock.start();
}

TerminalProgress::~TerminalProgress() { Done(); }

void TerminalProgress::Show(qint64 done, qint64 total) {
    if (!m_tty) return;
    const qint64 now = m_clock.elapsed();
    if (m_lastDraw >= 0 && now - m_lastDraw < kRedrawMs && done < total) return;
    m_lastDraw = now;
    QString line = m_caption + ": ";
    if (total > 0) {
        const double share = std::min(1.0, double(done) / double(total));
        const int filled = int(share * kBarWidth);
        line += '[' + QString(filled, QChar(0x2588)) + QString(kBarWidth - filled, QChar(0x2591)) +
                QStringLiteral("] %1 из %2").arg(done).arg(total);
        if (done > 0 && done < total) {
            const qint64 left = qint64(double(now) / double(done) * double(total - done) / 1000.0);
            line += QStringLiteral(", осталось ") + DurationText(left);
        }
    } else {
        line += QString::number(done);
    }
    std::fprintf(stderr, "\r\033[K%s", line.toLocal8Bit().constData());
    std::fflush(stderr);
    m_drawn = true;
}

void TerminalProgress::Step(const QString& what) {
    if (!m_tty) return;
    const QString line = m_caption + ": " + what + ", " + DurationText(m_clock.elapsed() / 1000);
    std::fprintf(stderr, "\r\033[K%s", line.toLocal8Bit().constData());
    std::fflush(stderr);
    m_drawn = true;
}

void TerminalProgress::Done() {
    if (!m_drawn) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    m_drawn = false;
}

}  // namespace yukt::records
