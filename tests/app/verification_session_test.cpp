// The verification session without a display: what "В протокол" stores from
// the page's reading, and what it refuses, saying why.

#include "app/verification_session.h"

#include <QTemporaryDir>
#include <QTest>

#include "records/lab_references.h"
#include "records/record_store.h"

using namespace yukt;
using verify::Quantity;

class VerificationSessionTest : public QObject {
    Q_OBJECT

  private slots:
    void storesOnlyAReadingOfTheCurrentOutput_data();
    void storesOnlyAReadingOfTheCurrentOutput();
    void droppedSessionInterruptsItsRecord();
};

namespace {

struct Step {
    enum { Set, Read, Idle } what;
    double value;
};

PageReading readingAt(double reference, double measured) {
    PageReading r;
    r.quantity = Quantity::Current;
    r.nominal = r.reference = reference;
    r.measured = measured;
    r.shownRange = 20;
    return r;
}

bool openRecord(TVerificationSession& s, const QTemporaryDir& dir) {
    QString error;
    records::RecordInfo info;
    info.serial = "S-1";
    if (!s.OpenStore(dir.filePath("r.sqlite"), error)) return false;
    // The register has a reference valid today for whatever the plan measures.
    records::LabReference reference;
    reference.kind = records::kMietaKind;
    reference.number = "3.1.A.1";
    reference.name = "Калибратор";
    reference.serial = "1";
    reference.certificate = "С-1";
    reference.validUntil = QDate::currentDate().addYears(1);
    reference.quantities = {"current", "generator_current", "frequency", "period", "interval",
                            "count", "divider", "translator"};
    records::AddReference(*s.Store(), reference, &error);
    return s.BeginRecord(info, error);
}

}  // namespace

void VerificationSessionTest::storesOnlyAReadingOfTheCurrentOutput_data() {
    QTest::addColumn<QList<int>>("kinds");
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QString>("why");  // empty: stored
    using L = QList<int>;
    using V = QList<double>;
    QTest::newRow("no reading") << L{Step::Set} << V{12} << "Нет измеренного значения.";
    QTest::newRow("never set") << L{Step::Read} << V{12} << "генератор не выдает";
    QTest::newRow("set since") << L{Step::Set, Step::Read, Step::Set} << V{12, 12.0123456, 0}
                               << "при эталоне 12 мА, а генератор выдает 0 мА";
    QTest::newRow("left idle") << L{Step::Set, Step::Read, Step::Idle} << V{12, 12, 0}
                               << "генератор не выдает";
    QTest::newRow("stored") << L{Step::Set, Step::Read} << V{12, 12.0123456} << "";
}

void VerificationSessionTest::storesOnlyAReadingOfTheCurrentOutput() {
    QFETCH(QList<int>, kinds);
    QFETCH(QList<double>, values);
    QFETCH(QString, why);
    QTemporaryDir dir;
    TVerificationSession session(SessionHooks{});
    QVERIFY(openRecord(session, dir));
    double reference = 0;
    for (int i = 0; i < kinds.size(); ++i) {
        if (kinds[i] == Step::Read)
            session.SetReading(readingAt(reference, values[i]));
        else
            session.SetGenerator(Quantity::Current, reference = values[i], kinds[i] == Step::Set);
    }
    QString refused;
    records::RecordPoint point;
    const bool stored = session.StoreReading(refused, &point);
    QCOMPARE(stored, why.isEmpty());
    QVERIFY2(refused.contains(why), qPrintable(refused));
    if (!stored) return;
    // The value the page computed, not the three decimals its field shows.
    QCOMPARE(point.measured, 12.0123456);
    QCOMPARE(point.reference, 12.0);
    QCOMPARE(point.seq, 1);
}

void VerificationSessionTest::droppedSessionInterruptsItsRecord() {
    QTemporaryDir dir;
    qint64 id = 0;
    {
        TVerificationSession session(SessionHooks{});
        QVERIFY(openRecord(session, dir));
        id = session.RecordId();
    }
    records::RecordStore store;
    QVERIFY(store.Open(dir.filePath("r.sqlite")));
    QCOMPARE(store.Load(id)->verdict, records::kInterrupted);
}

QTEST_GUILESS_MAIN(VerificationSessionTest)
#include "verification_session_test.moc"
