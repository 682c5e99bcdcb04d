// The journal window's filters and pages over a real SQLite records file.
#include "app/journal_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "records/record_store.h"

using namespace yukt;
using namespace yukt::records;

class JournalWindowTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir m_dir;
    QString m_url;

    void Add(RecordStore& store, const QString& model, const QString& serial,
             const QString& operatorName, double measured) {
        Record r;
        r.module.model = model;
        r.module.designation = "ЮКТ-7 " + model;
        r.info.serial = serial;
        r.info.operatorName = operatorName;
        QVERIFY(store.Begin(r));
        RecordPoint p;
        p.nominal = p.reference = 4;
        p.measured = measured;
        p.error = measured - 4;
        p.limit = 0.05;
        p.errorKind = "abs";
        p.result = measured < 0 ? "not measured" : qAbs(p.error) <= p.limit ? "pass" : "fail";
        QVERIFY(store.AddPoint(r.id, p));
        QVERIFY(store.Close(r.id));
    }

  private slots:
    void initTestCase() {
        m_url = m_dir.filePath("poverka.sqlite");
        RecordStore store;
        QVERIFY2(store.Open(m_url), qPrintable(store.LastError()));
        QVERIFY(store.SetSetting("interval.787x", "1"));  // due within 30 days
        Add(store, "745t", "A-100", "Иванов", 4.01);
        Add(store, "745t", "A-101", "Петров", 4.2);
        Add(store, "735x", "B-200", "Иванов", -1);
        Add(store, "787x", "C-300", "Сидорова", 4.0);
        Add(store, "787x", "C-301", "Сидорова", 4.0);
        RecordInfo fixed;
        fixed.serial = "C-399";
        fixed.operatorName = "Сидорова";
        QVERIFY(store.Correct(5, fixed, "Сидорова", "опечатка"));
    }

    void filters_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QString>("operatorName");
        QTest::addColumn<int>("fromDays");  // relative to today; 99: no bound
        QTest::addColumn<int>("toDays");
        QTest::addColumn<QList<qint64>>("ids");  // newest first
        QTest::newRow("all") << ""
                             << ""
                             << ""
                             << "" << 99 << 99 << QList<qint64>{5, 4, 3, 2, 1};
        QTest::newRow("model") << "745t"
                               << ""
                               << ""
                               << "" << 99 << 99 << QList<qint64>{2, 1};
        QTest::newRow("serial part") << ""
                                     << "C-3"
                                     << ""
                                     << "" << 99 << 99 << QList<qint64>{5, 4};
        QTest::newRow("corrected serial") << ""
                                          << "C-399"
                                          << ""
                                          << "" << 99 << 99 << QList<qint64>{5};
        QTest::newRow("old serial gone") << ""
                                         << "C-301"
                                         << ""
                                         << "" << 99 << 99 << QList<qint64>{};
        QTest::newRow("verdict fail") << ""
                                      << "" << kUnsuitable << "" << 99 << 99 << QList<qint64>{2};
        QTest::newRow("interrupted") << ""
                                     << "" << kInterrupted << "" << 99 << 99 << QList<qint64>{3};
        QTest::newRow("operator and verdict")
            << ""
            << "" << kSuitable << "Иван" << 99 << 99 << QList<qint64>{1};
        QTest::newRow("today") << ""
                               << ""
                               << ""
                               << "" << 0 << 0 << QList<qint64>{5, 4, 3, 2, 1};
        QTest::newRow("from tomorrow") << ""
                                       << ""
                                       << ""
                                       << "" << 1 << 99 << QList<qint64>{};
        QTest::newRow("until yesterday") << ""
                                         << ""
                                         << ""
                                         << "" << 99 << -1 << QList<qint64>{};
        QTest::newRow("validity ending") << ""
                                         << ""
                                         << "Срок поверки истекает"
                                         << "" << 99 << 99 << QList<qint64>{5, 4};
    }

    void filters() {
        QFETCH(QString, model);
        QFETCH(QString, serial);
        QFETCH(QString, verdict);
        QFETCH(QString, operatorName);
        QFETCH(int, fromDays);
        QFETCH(int, toDays);
        QFETCH(QList<qint64>, ids);
        auto store = std::make_unique<RecordStore>();
        QVERIFY(store->Open(m_url));
        TJournalWindow w(std::move(store), m_dir.path());
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        const QDate today = QDate::currentDate();
        w.findChild<QDateEdit*>("From")->setDate(today.addDays(fromDays == 99 ? 0 : fromDays));
        w.findChild<QDateEdit*>("To")->setDate(today.addDays(toDays == 99 ? 0 : toDays));
        w.findChild<QCheckBox*>("UseFrom")->setChecked(fromDays != 99);
        w.findChild<QCheckBox*>("UseTo")->setChecked(toDays != 99);
        w.findChild<QComboBox*>("ModelFilter")->setCurrentText(model);
        w.findChild<QLineEdit*>("SerialFilter")->setText(serial);
        w.findChild<QComboBox*>("VerdictFilter")->setCurrentText(verdict);
        w.findChild<QLineEdit*>("OperatorFilter")->setText(operatorName);
        QCOMPARE(w.MatchCount(), ids.size());
        QList<qint64> shown;
        for (int row = 0; row < ids.size(); ++row) shown << w.RecordAt(row);
        QCOMPARE(shown, ids);
    }

    void pages() {
        QTemporaryDir dir;
        auto store = std::make_unique<RecordStore>();
        QVERIFY(store->Open(dir.filePath("many.sqlite")));
        const int total = TJournalWindow::kPageSize * 2 + 7;
        for (int i = 0; i < total; ++i) {
            Record r;
            r.module.model = "745t";
            r.info.serial = QString::number(i);
            QVERIFY(store->Begin(r));
        }
        TJournalWindow w(std::move(store), dir.path());
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        QCOMPARE(w.PageCount(), 3);
        QCOMPARE(w.RecordAt(0), qint64(total));
        w.ShowPage(2);
        QCOMPARE(w.Page(), 2);
        QCOMPARE(w.RecordAt(0), qint64(7));
        QCOMPARE(w.RecordAt(6), qint64(1));
        QCOMPARE(w.RecordAt(7), qint64(0));  // past the last row of the page
        w.ShowPage(9);
        QCOMPARE(w.Page(), 2);
    }
};

QTEST_MAIN(JournalWindowTest)
#include "journal_window_test.moc"
