// The workstation's CPU during a whole-module run ("Поверка модуля"): the
// real main window, offscreen, verifies a 735x (frequency, interval and
// count points) and a 748t (16 channels in series) by the shipped
// methodologies, settling delays as shipped; the _d0 cases with every
// settling delay at 0, where only the run's own pacing spaces its work.
//
// The bench is yukt-bench on a pseudo-terminal, a process of its own, on the
// real clock: none of its work is counted as the workstation's, and the
// workstation talks to it through the serial port code it uses on a real
// line. The _9600 cases have the bench send its replies at the pace of a
// 9600-baud line (--wire); the others answer at once, which is the harder
// case for the workstation: nothing but its own pacing spaces its polls.
// The window is driven as the operator drives it (the rig of the window's
// tests) and waits in a plain event loop, as the program does.
//
// Counters, over the run alone (wall time is the benchmark's time):
//   cpu_share_of_core     user+sys of this process / wall time
//   gui_thread_share      the window's thread
//   other_threads_share   the rest of the process: the instrument's worker
//                         and its tick timer
//   bench_share           the yukt-bench process
//   commands_per_s        commands the window queued on the instrument
//   page_shows_per_s      replies the page displayed
//   repaints_per_s        windows drawn again (each a pass over what changed)
//   gui_wakeups_per_s     times the window's thread woke from a wait
//   wakeups_per_s         the same for all the process's threads
//   points                rows of the run window's table
// The label is the run's verdict. CPU time on a shared virtual machine
// varies with what else runs on its host: compare figures taken side by
// side, and repeat (--benchmark_repetitions=3) for a median.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <charconv>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>

#include "app/app_rig.h"
#include "app/auto_run.h"
#include "app/auto_run_window.h"
#include "app/verification_session.h"
#include "verify/procedure_library.h"

namespace {

using namespace yukt;
using namespace yukt::testing;

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; }

double ProcessCpu() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

double ThreadCpu() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// user+sys of another process from /proc/PID/stat (in clock ticks there).
double OtherProcessCpu(qint64 pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold spaces: the fields are counted after it.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long long ticks = 0;
    for (int n = 3; fields >> field && n <= 15; ++n) {
        long long v = 0;
        if (n >= 14) {
            std::from_chars(field.data(), field.data() + field.size(), v);
            ticks += v;
        }
    }
    return double(ticks) / double(::sysconf(_SC_CLK_TCK));
}

// Times a thread (or the process) went to sleep waiting: each is a
// wake-up, and on a virtual machine a wake-up finds the caches cold.
long Sleeps(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return u.ru_nvcsw;
}

struct Sample {
    double wall = 0, process = 0, gui = 0, bench = 0;
    long guiSleeps = 0, processSleeps = 0;
    std::uint64_t commands = 0;

    static Sample Take(qint64 benchPid, const TMainForm& form) {
        Sample s;
        s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                     .count();
        s.process = ProcessCpu();
        s.gui = ThreadCpu();
        s.guiSleeps = Sleeps(RUSAGE_THREAD);
        s.processSleeps = Sleeps(RUSAGE_SELF);
        s.bench = OtherProcessCpu(benchPid);
        s.commands = form.CommandsQueued();
        return s;
    }
};

// Runs the event loop until `done` or `ms` have passed.
template <typename Signal, typename Sender>
void RunEventsUntil(Sender* sender, Signal done, int ms) {
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(sender, done, &loop, &QEventLoop::quit);
    limit.start(ms);
    loop.exec();
}

// Counts the times a top-level window is drawn again.
class RepaintCounter : public QObject {
  public:
    int count = 0;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::UpdateRequest && o->isWidgetType() &&
            static_cast<QWidget*>(o)->isWindow())
            ++count;
        return false;
    }
};

void Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// yukt-bench on a pseudo-terminal behind COM3 with `model` under test,
// switched by appending to its control file.
class PtyBench {
  public:
    bool Start(const std::string& model, bool wire, std::string& why) {
        const QString program = QCoreApplication::applicationDirPath() + "/yukt-bench";
        m_link = m_dir.filePath("com3");
        m_control = m_dir.filePath("control");
        QFile(m_control).open(QIODevice::WriteOnly);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QStringList args{m_link, "--module", QString::fromStdString(model), "--control", m_control};
        if (wire) args << "--wire";
        m_process.start(program, args);
        if (!m_process.waitForStarted()) {
            why = "yukt-bench did not start: " + program.toStdString();
            return false;
        }
        if (!QTest::qWaitFor([this] { return QFileInfo(m_link).isSymLink(); }, 10000)) {
            why = "yukt-bench made no terminal";
            return false;
        }
        // COM1, 2 and 4 name nothing.
        for (int n = 1; n <= 4; ++n) {
            const QString path = n == kBenchCom ? m_link : m_dir.filePath("absent");
            qputenv(qPrintable("YUKT_COM" + QString::number(n)), path.toLocal8Bit());
        }
        return true;
    }

    // The mode switch to "Режим поверки", once the bench has taken it.
    bool SwitchToVerification() {
        QFile f(m_control);
        if (!f.open(QIODevice::Append)) return false;
        f.write("switch verify\n");
        f.close();
        return QTest::qWaitFor(
            [this] {
                m_output += m_process.readAll();
                return m_output.contains("> switch verify");
            },
            5000);
    }

    qint64 Pid() const { return m_process.processId(); }

    ~PtyBench() {
        for (int n = 1; n <= 4; ++n) qunsetenv(qPrintable("YUKT_COM" + QString::number(n)));
        m_process.terminate();
        m_process.waitForFinished(10000);
    }

  private:
    QTemporaryDir m_dir;
    QString m_link, m_control;
    QProcess m_process;
    QByteArray m_output;
};

// The shipped methodologies in the user's folder under `home`, each
// settling delay made 0.
bool MethodologiesWithoutDelays(const QString& home) {
    const QDir shipped(QString::fromStdString(verify::ShippedMethodologyDir()));
    const QString user = home + "/poverka/methodologies";
    if (!QDir().mkpath(user)) return false;
    static const QRegularExpression delay(QStringLiteral("^delay\\s*=\\s*[0-9.]+"),
                                          QRegularExpression::MultilineOption);
    for (const QString& name : shipped.entryList({"*.toml"}, QDir::Files)) {
        QFile in(shipped.filePath(name)), out(user + "/" + name);
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) return false;
        out.write(QString::fromUtf8(in.readAll()).replace(delay, "delay = 0.0").toUtf8());
    }
    return true;
}

// One whole-module run of `model` from "Поверка модуля" to its verdict.
void WorkstationRun(benchmark::State& state, const std::string& model, bool wire,
                    bool delaysAtZero = false) {
    // The shipped methodologies are copied into this folder.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    if (delaysAtZero && !MethodologiesWithoutDelays(home.path()))
        return state.SkipWithError("the methodologies were not copied");
    PtyBench bench;
    std::string why;
    if (!bench.Start(model, wire, why)) return state.SkipWithError(why.c_str());
    AppRig rig;
    SetComPortOpener(nullptr);  // the real serial port code, not the rig's bench
    rig.dialogs.recordInfo = [](records::RecordInfo&) { return true; };
    TMainForm& form = rig.launch();
    form.show();  // drawn as on the operator's screen
    if (!form.CalibratorFound) return state.SkipWithError("no calibrator on the terminal");
    rig.next();
    rig.next();
    if (!bench.SwitchToVerification()) return state.SkipWithError("the switch was not moved");
    rig.next();
    auto* button = form.findChild<QPushButton*>("AutoRunCurBtn");
    auto* run = form.findChild<TAutoRun*>("AutoRun");
    if (button == nullptr || run == nullptr || !button->isEnabled())
        return state.SkipWithError("the verification page did not open");
    // The run window opens from the page's run, as the operator opens it.
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::mouseClick(run->Window()->StopBtn, Qt::LeftButton);
    Pause(1000);

    TAutoRunWindow* window = run->Window();
    Sample before, after;
    int pageShows = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&form, &TMainForm::replyShown, &form, [&pageShows] { ++pageShows; });
    RepaintCounter repaints;
    qApp->installEventFilter(&repaints);
    for (auto _ : state) {
        pageShows = 0;
        repaints.count = 0;
        before = Sample::Take(bench.Pid(), form);
        QTest::mouseClick(window->ModuleBtn, Qt::LeftButton);
        if (run->Running())
            RunEventsUntil(&form.Session(), &TVerificationSession::runFinished, 120000);
        after = Sample::Take(bench.Pid(), form);
    }
    QObject::disconnect(counting);
    qApp->removeEventFilter(&repaints);
    if (run->Running()) return state.SkipWithError("the run did not end in 120 s");
    const double wall = after.wall - before.wall;
    state.counters["wall_s"] = wall;
    state.counters["cpu_share_of_core"] = (after.process - before.process) / wall;
    state.counters["gui_thread_share"] = (after.gui - before.gui) / wall;
    state.counters["other_threads_share"] =
        (after.process - before.process - (after.gui - before.gui)) / wall;
    state.counters["bench_share"] = (after.bench - before.bench) / wall;
    state.counters["commands_per_s"] = double(after.commands - before.commands) / wall;
    state.counters["page_shows_per_s"] = pageShows / wall;
    state.counters["repaints_per_s"] = repaints.count / wall;
    state.counters["gui_wakeups_per_s"] = double(after.guiSleeps - before.guiSleeps) / wall;
    state.counters["wakeups_per_s"] = double(after.processSleeps - before.processSleeps) / wall;
    state.counters["points"] = window->Points->rowCount();
    state.SetLabel(window->Banner->text().toStdString());
    // A run that did not pass says which rows did not.
    for (int row = 0; row < window->Points->rowCount(); ++row) {
        const QString result = window->Points->item(row, window->Points->columnCount() - 1)->text();
        if (result == QStringLiteral("годна")) continue;
        QStringList cells;
        for (int c = 0; c < window->Points->columnCount(); ++c)
            cells << window->Points->item(row, c)->text();
        std::fprintf(stderr, "%s\n", cells.join(" | ").toLocal8Bit().constData());
    }
}
void Cases(benchmark::internal::Benchmark* b) {
    b->Iterations(1)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kSecond);
}
BENCHMARK_CAPTURE(WorkstationRun, m735x, std::string("735x"), false)->Apply(Cases);
BENCHMARK_CAPTURE(WorkstationRun, m748t, std::string("748t"), false)->Apply(Cases);
BENCHMARK_CAPTURE(WorkstationRun, m735x_9600, std::string("735x"), true)->Apply(Cases);
BENCHMARK_CAPTURE(WorkstationRun, m748t_9600, std::string("748t"), true)->Apply(Cases);
BENCHMARK_CAPTURE(WorkstationRun, m735x_d0, std::string("735x"), false, true)->Apply(Cases);
BENCHMARK_CAPTURE(WorkstationRun, m748t_d0, std::string("748t"), false, true)->Apply(Cases);
BENCHMARK_CAPTURE(WorkstationRun, m735x_9600_d0, std::string("735x"), true, true)->Apply(Cases);
BENCHMARK_CAPTURE(WorkstationRun, m748t_9600_d0, std::string("748t"), true, true)->Apply(Cases);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
