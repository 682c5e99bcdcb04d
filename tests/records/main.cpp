// The records test program: a GUI application object for the PDF writer's
// fonts, and a child mode that records points until it is killed.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

#include "records/pg_server.h"
#include "records/records_fixture.h"

namespace {

// Begins a record, commits two points, reports the record number and waits
// to be killed, as a workstation losing power between two points.
int RecordUntilKilled(const QString& url) {
    using namespace yukt::records;
    RecordStore store;
    if (!store.Open(url)) return 2;
    Record r = test::SampleRecord();
    if (!store.Begin(r)) return 3;
    for (double nominal : {4.0, 12.0}) {
        RecordPoint p = test::SamplePoint(nominal, nominal + 0.01);
        if (!store.AddPoint(r.id, p)) return 4;
    }
    std::printf("%lld\n", static_cast<long long>(r.id));
    std::fflush(stdout);
    for (;;) QThread::sleep(60);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The anchors every closing leaves go to a folder of the test's own, not
    // the user's configuration.
    QTemporaryDir config;
    if (qEnvironmentVariableIsEmpty("RECORDS_CHILD_URL")) qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QGuiApplication app(argc, argv);
    const QByteArray child = qgetenv("RECORDS_CHILD_URL");
    if (!child.isEmpty()) return RecordUntilKilled(QString::fromUtf8(child));
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    yukt::records::test::StopSharedPgServer();
    return rc;
}
