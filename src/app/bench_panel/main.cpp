// yukt-bench-panel: the simulated calibrator bench on a pseudo-terminal, with
// a window to work its switch and exchange bus by hand.
//
//   yukt-bench-panel LINK [--module MODEL] [--address N] [--no-meter]
//
// LINK becomes a symlink to the pseudo-terminal; point YUKT_COMn at it.

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <iostream>

#include "app/bench_panel/bench_panel.h"
#include "common/program_version.h"
#include "sim/bench_control.h"

int main(int argc, char* argv[]) {
    if (yukt::PrintVersionIfAsked(argc, argv, "yukt-bench-panel")) return 0;
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    QString link;
    QString model = QStringLiteral("745t");
    int address = yukt::sim::kDefaultUnderTestAddress;
    bool meter = true;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--module") && i + 1 < args.size())
            model = args[++i];
        else if (a == QLatin1String("--address") && i + 1 < args.size())
            address = args[++i].toInt();
        else if (a == QLatin1String("--no-meter"))
            meter = false;
        else if (!a.startsWith(QLatin1String("--")) && link.isEmpty())
            link = a;
        else {
            std::cerr
                << "usage: yukt-bench-panel LINK [--module MODEL] [--address N] [--no-meter]\n";
            return 2;
        }
    }
    if (link.isEmpty()) {
        std::cerr << "usage: yukt-bench-panel LINK [--module MODEL] [--address N] [--no-meter]\n";
        return 2;
    }

    auto bench = std::make_unique<yukt::sim::Bench>();
    bench->clock().setMode(yukt::sim::BenchClock::Mode::Real);
    bench->installCalibrator(meter);
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"module", model.toStdString()},
          std::vector<std::string>{"address", std::to_string(address)}}) {
        const std::string err = yukt::sim::applyBenchCommand(*bench, words);
        if (!err.empty()) {
            std::cerr << "yukt-bench-panel: " << words[0] << ": " << err << '\n';
            return 2;
        }
    }
    std::string error;
    auto line = yukt::sim::PtyLine::open(link.toStdString(), error);
    if (!line) {
        std::cerr << "yukt-bench-panel: " << error << '\n';
        return 1;
    }
    std::cout << "yukt-bench-panel: " << link.toStdString() << " -> " << line->ptyName()
              << std::endl;
    // A terminal's Ctrl-C or the demo script's kill ends the panel cleanly,
    // so that the symlink goes with it; the handler only raises a flag.
    static std::atomic<bool> stopAsked{false};
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, [](int) { stopAsked = true; });
    QTimer stopWatch;
    QObject::connect(&stopWatch, &QTimer::timeout, [] {
        if (stopAsked) QCoreApplication::quit();
    });
    stopWatch.start(100);

    yukt::BenchPanel panel(std::move(bench), std::move(line));
    panel.show();
    return app.exec();
}
