// The journal window as the operator sees it: its rows and cells on SQLite
// and on PostgreSQL, the points of the selected record, filters and pages,
// and an export that runs beside the window until cancelled or closed.
#include "app/journal_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "records/journal_query.h"
#include "records/lab_references.h"
#include "records/pg_server.h"
#include "records/record_store.h"
#include "records/registry_state.h"

#include "closed_boxes.h"

using namespace yukt;
using namespace yukt::records;

namespace yukt::records::test {
Record SampleRecord();  // exportable as it is
RecordPoint SamplePoint(double nominal, double measured, double limit = 0.05);
}  // namespace yukt::records::test

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
        r.info.owner = QStringLiteral("АО \"Завод %1\"").arg(model);
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

    // Five records: passed, failed, not measured, two passed, the last corrected.
    void Fill(const QString& url) {
        RecordStore store;
        QVERIFY2(store.Open(url), qPrintable(store.LastError()));
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

    // The rows of a test run on both engines.
    static void BothEngines() {
        QTest::addColumn<bool>("postgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgresql") << true;
    }

  private slots:
    void initTestCase() {
        m_url = m_dir.filePath("poverka.sqlite");
        Fill(m_url);
    }
    void cleanupTestCase() { test::StopSharedPgServer(); }

    // A record of a plan: its operation in words, its error to the resolution.
    void planRecordShowsItsOperationsAndResolution() {
        QTemporaryDir dir;
        auto store = std::make_unique<RecordStore>();
        QVERIFY(store->Open(dir.filePath("poverka.sqlite")));
        Record r;
        r.module.model = "748t";
        r.plan = {{1, "7.1", "Внешний осмотр", "inspection", 0, 0, "", {}},
                  {2, "7.4", "Погрешность", "error", 3, 12, "мА", {}}};
        QVERIFY2(store->Begin(r), qPrintable(store->LastError()));
        RecordPoint look;
        look.operation = "7.1", look.procedure = "Внешний осмотр", look.item = 1;
        look.attempt = 1, look.manual = true, look.result = "pass";
        RecordPoint p = test::SamplePoint(12, 12.02, 0.2);
        p.channel = "3", p.channelNo = 3, p.operation = "7.4", p.item = 2, p.attempt = 1;
        p.errorKind = "reduced", p.error = 0.13, p.resolution = 0.01;
        p.spanLow = 4, p.spanHigh = 20;
        QVERIFY(store->AddPoint(r.id, look) && store->AddPoint(r.id, p));
        TJournalWindow w(std::move(store), dir.path());
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        w.findChild<QTableView*>("JournalTable")->selectRow(0);
        auto* points = w.findChild<QTableWidget*>("PointsTable");
        QStringList rows;
        for (int row = 0; row < points->rowCount(); ++row) {
            QStringList cells;
            for (int c = 0; c < points->columnCount(); ++c) cells << points->item(row, c)->text();
            rows << cells.join('|');
        }
        QCOMPARE(rows, QStringList({"1|—|—|—|—|—|—|7.1 Внешний осмотр: соответствует",
                                    "2|3|12,000|12,000|12,020|0,13|0,20|соответствует"}));
    }

    void viewShowsTheRecords_data() { BothEngines(); }

    void viewShowsTheRecords() {
        QFETCH(bool, postgres);
        QString url = m_url, why;
        if (postgres) {
            test::PgServer* server = test::SharedPgServer(&why);
            if (server == nullptr) QSKIP(qPrintable(why));
            url = server->NewDatabase(&why);
            QVERIFY2(!url.isEmpty(), qPrintable(why));
            Fill(url);
        }
        auto store = std::make_unique<RecordStore>();
        QVERIFY(store->Open(url));
        TJournalWindow w(std::move(store), m_dir.path());
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        auto* view = w.findChild<QTableView*>("JournalTable");
        const QAbstractItemModel* m = view->model();
        const QDate today = QDate::currentDate();
        const QString y = QString::number(today.year());
        // Validity: a month for the 787x (the settings), a year by default.
        const QString month = today.addMonths(1).addDays(-1).toString("dd.MM.yyyy");
        const QString year = today.addMonths(12).addDays(-1).toString("dd.MM.yyyy");
        const QStringList expected = {
            "№|Дата|Модель|Модуль|Зав. №|Результат|Действительно до|Владелец|Поверитель|"
            "Свидетельство|ФГИС",
            "5|787x|ЮКТ-7 787x|C-399|годен|" + month + "||Сидорова|" + y + "/3|не выгружена",
            "4|787x|ЮКТ-7 787x|C-300|годен|" + month + "|АО \"Завод 787x\"|Сидорова|" + y +
                "/2|не выгружена",
            "3|735x|ЮКТ-7 735x|B-200|прервано||АО \"Завод 735x\"|Иванов||",
            "2|745t|ЮКТ-7 745t|A-101|не годен||АО \"Завод 745t\"|Петров|И-" + y +
                "/1|не выгружена",
            "1|745t|ЮКТ-7 745t|A-100|годен|" + year + "|АО \"Завод 745t\"|Иванов|" + y +
                "/1|не выгружена"};
        QStringList shown;
        const QHeaderView* header = view->horizontalHeader();
        for (int r = -1; r < m->rowCount(); ++r) {
            QStringList cells;
            // In the order the operator sees the columns.
            for (int v = 0; v < m->columnCount(); ++v) {
                const int c = header->logicalIndex(v);
                if (view->isColumnHidden(c) || (r >= 0 && c == kJStarted)) continue;
                cells << (r < 0 ? m->headerData(c, Qt::Horizontal) : m->index(r, c).data())
                             .toString();
            }
            shown << cells.join('|');
        }
        QCOMPARE(shown, expected);

        // The selected record's points below, in the protocol's words.
        view->selectRow(3);
        QCOMPARE(w.SelectedRecord(), qint64(2));
        auto* points = w.findChild<QTableWidget*>("PointsTable");
        QStringList cells{QString::number(points->rowCount())};
        for (int c = 0; c < points->columnCount(); ++c) cells << points->item(0, c)->text();
        QCOMPARE(cells.join('|'),
                 QString("1|1||4,0000|4,0000|4,2000|0,2000|0,0500|не соответствует"));
        // A filter that keeps the record keeps it selected and shown.
        w.findChild<QLineEdit*>("OperatorFilter")->setText("Пет");
        QCOMPARE(w.SelectedRecord(), qint64(2));
        QCOMPARE(points->rowCount(), 1);
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

    // The registry column and its filter, as exports, refusals and matches set them.
    void registryStateColumnAndFilter() {
        QTemporaryDir dir;
        const QString url = dir.filePath("registry.sqlite");
        Fill(url);
        {
            RecordStore store;
            QVERIFY(store.Open(url));
            FgisExportReport exported;
            exported.placed = {{4, "out.xml"}, {2, "out.xml"}, {1, "out.xml"}};
            QString error;
            QVERIFY2(RecordExports(store, exported, &error), qPrintable(error));
            QVERIFY2(RecordRefusal(store, 2, "ошибка в типе", "Иванов", &error), qPrintable(error));
            QVERIFY(store.MarkInRegistry(1, {"1-555", "С-ЛАБ/1", QDateTime::currentDateTimeUtc()},
                                         "ФГИС «Аршин» (ответ.json)"));
        }
        auto store = std::make_unique<RecordStore>();
        QVERIFY(store->Open(url));
        TJournalWindow w(std::move(store), dir.path());
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        const QAbstractItemModel* m = w.findChild<QTableView*>("JournalTable")->model();
        const int column = m->columnCount() - 1;
        QCOMPARE(m->headerData(column, Qt::Horizontal).toString(), QString("ФГИС"));
        const QString today = QDate::currentDate().toString("dd.MM.yyyy");
        const QStringList states = {"не выгружена", "выгружена " + today, "",
                                    "отклонена " + today, "в реестре: 1-555"};
        for (int row = 0; row < 5; ++row)
            QCOMPARE(m->index(row, column).data().toString(), states[row]);
        auto* filter = w.findChild<QComboBox*>("RegistryFilter");
        const std::pair<QString, qint64> chosen[] = {
            {"не выгружена", 5}, {"выгружена", 4}, {"отклонена", 2}, {"в реестре", 1}};
        for (const auto& [caption, id] : chosen) {
            filter->setCurrentText(caption);
            QCOMPARE(w.MatchCount(), 1);
            QCOMPARE(w.RecordAt(0), id);
        }
        filter->setCurrentText("не найдена в реестре");
        QCOMPARE(w.MatchCount(), 0);  // exported today: not yet overdue
    }

    void referenceFilters_data() { BothEngines(); }

    // "Сделано эталоном …" lists what suspect lists; "Срок поверки
    // истекает" shows the references due as "references due" does.
    void referenceFilters() {
        QFETCH(bool, postgres);
        QTemporaryDir dir;
        QString url = dir.filePath("references.sqlite"), why;
        if (postgres) {
            test::PgServer* server = test::SharedPgServer(&why);
            if (server == nullptr) QSKIP(qPrintable(why));
            url = server->NewDatabase(&why);
            QVERIFY2(!url.isEmpty(), qPrintable(why));
        }
        const QDate today = QDate::currentDate();
        auto reference = [](const QString& number, const QString& name, const QDate& until) {
            LabReference r;
            r.kind = kMietaKind;
            r.number = number;
            r.name = name;
            r.serial = "S-" + number.right(1);
            r.certificate = "С-" + number.right(1);
            r.validUntil = until;
            r.quantities = {"current"};
            return r;
        };
        const LabReference a = reference("3.1.A.1", "Калибратор", today.addDays(10));
        const LabReference b = reference("3.1.B.2", "Мультиметр", today.addDays(200));
        const LabReference c = reference("3.1.C.3", "Магазин", today.addDays(kDueFilterDays));
        const LabReference d = reference("3.1.D.4", "Источник", today.addDays(kDueFilterDays + 1));
        const LabReference e = reference("3.1.E.5", "Частотомер", today.addDays(5));
        {
            RecordStore store;
            QVERIFY2(store.Open(url), qPrintable(store.LastError()));
            QString error;
            for (const LabReference& r : {a, b, c, d, e})
                QVERIFY2(AddReference(store, r, &error), qPrintable(error));
            QVERIFY2(RetireReference(store, e.number, "неисправен", &error), qPrintable(error));
            // Records 1 and 3 with the calibrator, 2 with the multimeter;
            // 3 corrected since.
            int made = 0;
            for (const LabReference& used : {a, b, a}) {
                Record r;
                r.module.model = "745t";
                r.info.serial = "M-" + QString::number(++made);
                r.means = CheckReferences({used}, {"current"}, today).used;
                QVERIFY2(store.Begin(r), qPrintable(store.LastError()));
                QVERIFY(store.Close(r.id));
            }
            RecordInfo fixed;
            fixed.serial = "M-33";
            QVERIFY(store.Correct(3, fixed, "Петров", "опечатка"));
        }
        auto store = std::make_unique<RecordStore>();
        QVERIFY(store->Open(url));
        RecordStore& opened = *store;
        TJournalWindow w(std::move(store), dir.path());
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        auto* filter = w.findChild<QComboBox*>("ReferenceFilter");
        QStringList offered;
        for (int i = 0; i < filter->count(); ++i) offered << filter->itemText(i);
        QCOMPARE(offered, QStringList({"Сделано эталоном …", "Сделано эталоном 3.1.A.1",
                                       "Сделано эталоном 3.1.B.2", "Сделано эталоном 3.1.C.3",
                                       "Сделано эталоном 3.1.D.4", "Сделано эталоном 3.1.E.5"}));
        const QAbstractItemModel* m = w.findChild<QTableView*>("JournalTable")->model();
        auto shown = [&] {
            QStringList rows;
            for (int row = 0; row < m->rowCount(); ++row)
                rows << m->index(row, kJId).data().toString() + "|" +
                            m->index(row, kJSerial).data().toString();
            return rows;
        };
        auto suspect = [&](const QString& number) {
            QStringList rows;
            QSqlQuery q = SuspectRecords(opened.Database(), number, {}, {});
            while (q.next()) rows.prepend(q.value(kSId).toString() + "|" + q.value(kSSerial).toString());
            return rows;
        };
        const std::pair<QString, QStringList> cases[] = {
            {"3.1.A.1", {"3|M-33", "1|M-1"}}, {"3.1.B.2", {"2|M-2"}}, {"3.1.C.3", {}}};
        for (const auto& [number, rows] : cases) {
            filter->setCurrentText("Сделано эталоном " + number);
            QCOMPARE(shown(), rows);
            QCOMPARE(shown(), suspect(number));
        }
        filter->setCurrentIndex(0);
        QCOMPARE(shown().size(), 3);

        auto* box = w.findChild<QWidget*>("DueReferencesBox");
        QVERIFY(box->isHidden());
        w.findChild<QComboBox*>("VerdictFilter")->setCurrentText(kDueFilterCaption);
        QVERIFY(!box->isHidden());
        const QAbstractItemModel* due = w.findChild<QTableWidget*>("DueReferences")->model();
        QStringList dueRows;
        for (int row = 0; row < due->rowCount(); ++row) {
            QStringList cells;
            for (int col = 0; col < due->columnCount(); ++col)
                cells << due->index(row, col).data().toString();
            dueRows << cells.join('|');
        }
        // Soonest first, the last day of the period in, the day after out,
        // a retired one never.
        QCOMPARE(dueRows, QStringList({"3.1.A.1|Калибратор|S-1|С-1|" + today.addDays(10).toString("dd.MM.yyyy"),
                                       "3.1.C.3|Магазин|S-3|С-3|" +
                                           today.addDays(kDueFilterDays).toString("dd.MM.yyyy")}));
        w.findChild<QComboBox*>("VerdictFilter")->setCurrentIndex(0);
        QVERIFY(box->isHidden());
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
        // Counted only a little beyond the page shown, then further on the way.
        auto* label = w.findChild<QLabel*>("PageLabel");
        w.SetCountAhead(250);
        QCOMPARE(w.Page(), 0);
        QCOMPARE(label->text(), QString("Страница 1 из более чем 1, записей: более 250"));
        QCOMPARE(w.RecordAt(0), qint64(total));
        QVERIFY(w.findChild<QPushButton*>("NextPage")->isEnabled());
        w.ShowPage(1);
        QCOMPARE(label->text(), QString("Страница 2 из 3, записей: %1").arg(total));
        QCOMPARE(w.RecordAt(0), qint64(total - TJournalWindow::kPageSize));
    }

    // Long enough, protocols attached, to be stopped half-way: cancelled from
    // its dialog, then by the window closing.
    void exportRunsBesideTheWindow() {
        constexpr int kRecords = 400;
        const QString url = m_dir.filePath("exportable.sqlite");
        RecordStore filled;
        QVERIFY(filled.Open(url));
        for (int i = 0; i < kRecords; ++i) {
            Record r = test::SampleRecord();
            RecordPoint p = test::SamplePoint(4, 4.01);
            QVERIFY(filled.Begin(r) && filled.AddPoint(r.id, p) && filled.Close(r.id));
        }
        yukt::testing::ClosedBoxes boxes;
        QTemporaryDir out;
        auto store = std::make_unique<RecordStore>();
        QVERIFY(store->Open(url));
        TJournalWindow w(std::move(store), m_dir.path());
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        w.show();
        for (const bool closeWindow : {false, true}) {
            w.StartFgisExport({out.filePath("out.xml"), 20, true, {}});
            w.StartCsvExport(out.filePath("second.csv"));  // refused while one runs
            QPointer<QProgressDialog> progress = w.findChild<QProgressDialog*>("ExportProgress");
            QVERIFY(progress && progress->isVisible());
            QTRY_VERIFY(progress->value() > 0);
            const int first = progress->value();
            QVERIFY(QRegularExpression("^Выгрузка для ФГИС: записей [0-9]+ из 400$")
                        .match(progress->findChild<QLabel*>()->text())
                        .hasMatch());
            // The window answers while the records are written.
            w.ShowPage(0);
            QCOMPARE(w.RecordAt(0), qint64(kRecords));
            QTRY_VERIFY(progress->value() > first);
            if (closeWindow)
                w.close();
            else
                QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
            QTRY_VERIFY(!w.ExportRunning() && progress.isNull());
        }
        QCOMPARE(boxes.told, QStringList{"Выгрузка отменена: файл не записан"});
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_MAIN(JournalWindowTest)
#include "journal_window_test.moc"
