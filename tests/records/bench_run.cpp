#include "records/bench_run.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include "records/machine_number.h"

namespace yukt::records::test {

BenchRun::~BenchRun() {
    if (m_bench.state() != QProcess::NotRunning) {
        m_bench.terminate();
        m_bench.waitForFinished(10000);
    }
}

bool BenchRun::StartBench(const QStringList& extra) {
    QDir(m_dir).mkdir("cfg");
    const QList<std::pair<QString, QByteArray>> files = {
        {"tp6606.cfg", ";\n"},
        {"tpCom.cfg", " 1    9600\n"},
        {"tp787x.cfg", "787x 1 1 23 1  4  6\n"},
        {"tp788t.cfg", "788t 1 1 23 2 7374.6075308 100 20 2\n"},
        {"tp745t.cfg", "745t 1 1 23 4 99.87 100.02 1 2500.0\n745t 2 1 23 6 100 100 1 2500.0\n"}};
    for (const auto& [name, text] : files) {
        QFile f(m_dir + "/cfg/" + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size()) return false;
    }
    QFile(m_dir + "/control").open(QIODevice::WriteOnly);
    m_bench.setStandardOutputFile(m_dir + "/bench.out");
    m_bench.start(YUKT_BIN_DIR "/yukt-bench",
                  QStringList{m_dir + "/com1", "--module", "745t", "--address", "6", "--switch",
                              "verify", "--control", m_dir + "/control"} +
                      extra);
    for (int i = 0; i < 500 && !QFileInfo(m_dir + "/com1").isSymLink(); ++i) QThread::msleep(20);
    return QFileInfo(m_dir + "/com1").isSymLink();
}

QString BenchRun::WriteProcedure(const char* delay) {
    QFile procedure(m_dir + "/p.toml");
    if (!procedure.open(QIODevice::WriteOnly)) return {};
    procedure.write(
        QByteArray("title = \"745t\"\ndoc = \"МП 001-2026\"\nkinds = [1]\nchannel = 0\n"
                   "quantity = \"current\"\npoints = [4, 12, 20]\n"
                   "[error]\nkind = \"reduced\"\nlimit = 0.2\nrange = 20\n"
                   "[settling]\ndelay = ") +
        delay + "\nagree = 2\nband = 0.005\ntimeout = 20\nreadings = 2\n");
    return procedure.fileName();
}

void BenchRun::StartVerify(QProcess& verify, const QString& procedure, const QStringList& extra) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("YUKT_COM1", m_dir + "/com1");
    verify.setProcessEnvironment(env);
    verify.start(YUKT_BIN_DIR "/yukt-verify",
                 QStringList{"--cfg", m_dir + "/cfg", "--procedure", procedure, "--serial", "S-77",
                             "--operator", "Иванов И. И.", "--owner", "ООО «Завод»",
                             "--type-number", "12345-67"} +
                     extra);
}

std::optional<double> BenchRun::GeneratorCurrent() {
    QFile out(m_dir + "/bench.out");
    const qint64 before = QFileInfo(out).size();
    {
        QFile control(m_dir + "/control");
        if (!control.open(QIODevice::Append)) return std::nullopt;
        control.write("meter on\n");
    }
    static const QRegularExpression described(R"(current (\S+) mA, error)");
    for (int i = 0; i < 250; ++i) {
        QThread::msleep(20);
        if (!out.open(QIODevice::ReadOnly)) continue;
        out.seek(before);
        const QString text = QString::fromUtf8(out.readAll());
        out.close();
        QRegularExpressionMatchIterator it = described.globalMatch(text);
        QString last;
        while (it.hasNext()) last = it.next().captured(1);
        if (!last.isEmpty()) return MachineNumberOf(last);
    }
    return std::nullopt;
}

}  // namespace yukt::records::test
