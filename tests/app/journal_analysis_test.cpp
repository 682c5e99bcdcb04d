// "История модуля" and "Статистика" from the journal, read as the operator
// sees them: the history table's cells through its model, the chart's series
// against that model, the statistics' tables and bars, on the twenty records
// of tests/records/analysis_fixture.cpp.
#include <QBarSet>
#include <QChart>
#include <QComboBox>
#include <QLineSeries>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include "app/journal_window.h"
#include "app/module_history_dialog.h"
#include "app/stats_page.h"
#include "records/analysis_fixture.h"
#include "records/record_store.h"
#include "verify/procedure_library.h"

using namespace yukt;
using namespace yukt::records;

class JournalAnalysisTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir m_dir;
    TJournalWindow* m_journal = nullptr;

    template <class T>
    T* Shown(const char* name) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == name && w->isVisible()) return qobject_cast<T*>(w);
        return nullptr;
    }

  private slots:
    void initTestCase() {
        // The methodologies the history looks up: this test's own folder.
        qputenv("XDG_DATA_HOME", m_dir.filePath("data").toUtf8());
        auto store = std::make_unique<RecordStore>();
        QVERIFY(store->Open(m_dir.filePath("poverka.sqlite")));
        QString error;
        QVERIFY2(test::FillAnalysisFixture(*store, &error), qPrintable(error));
        m_journal = new TJournalWindow(std::move(store), m_dir.path());
        m_journal->show();
    }
    void cleanupTestCase() { delete m_journal; }

    void historyOfTheSelectedModule() {
        m_journal->SelectRecord(9);  // 745t S-1 of 2026-02-15
        QVERIFY(m_journal->SelectedRecord() == 9);
        m_journal->findChild<QPushButton*>("HistoryButton")->click();
        auto* dialog = Shown<TModuleHistoryDialog>("ModuleHistoryDialog");
        QVERIFY(dialog);
        TModuleHistoryModel* model = dialog->Model();
        QCOMPARE(model->columnCount(), 1 + 4);
        QCOMPARE(model->rowCount(), TModuleHistoryModel::kHeaderRows + 4);
        const QStringList dates = {"15.01.2025", "15.06.2025", "15.01.2026", "15.02.2026"};
        const QStringList verdicts = {kSuitable, kSuitable, kUnsuitable, kSuitable};
        for (int c = 1; c <= 4; ++c) {
            QCOMPARE(model->index(0, c).data().toString(), dates[c - 1]);
            QCOMPARE(model->index(1, c).data().toString(), verdicts[c - 1]);
            QCOMPARE(model->index(2, c).data().toString(), QStringLiteral("МП 745-2025 ред. 2"));
        }
        const int row20 = TModuleHistoryModel::kHeaderRows + 3;
        QCOMPARE(model->index(row20, 0).data().toString(), QStringLiteral("5.4, Канал 11, 20 мА"));
        QCOMPARE(model->index(row20, 3).data().toString(), QStringLiteral("0,06 / 0,05 (1,20)"));
        QCOMPARE(model->index(TModuleHistoryModel::kHeaderRows + 1, 1).data().toString(),
                 QStringLiteral("ПО: 745t v01; соответствует"));

        // One line per error row, drawn from the model's cells, and the limit.
        QStringList names;
        for (QAbstractSeries* s : dialog->Chart()->series()) names << s->name();
        QCOMPARE(names, QStringList({"5.4, Канал 11, 4 мА", "5.4, Канал 11, 20 мА", "Предел"}));
        const QList<double> ratios[] = {{0.2, 0.4, 0.9, 0.2}, {0.4, 0.6, 1.2, 0.2}};
        for (int s = 0; s < 2; ++s) {
            auto* line = qobject_cast<QLineSeries*>(dialog->Chart()->series()[s]);
            QCOMPARE(line->count(), 4);
            for (int i = 0; i < 4; ++i) {
                const int row = TModuleHistoryModel::kHeaderRows + 2 + s;
                QCOMPARE(line->at(i).y(),
                         model->index(row, i + 1).data(TModuleHistoryModel::kRatioRole).toDouble());
                QVERIFY(qAbs(line->at(i).y() - ratios[s][i]) < 1e-9);
                QCOMPARE(qint64(line->at(i).x()),
                         model->headerData(i + 1, Qt::Horizontal, TModuleHistoryModel::kStartRole)
                             .toDateTime()
                             .toMSecsSinceEpoch());
            }
        }
        auto* limit = qobject_cast<QLineSeries*>(dialog->Chart()->series()[2]);
        QCOMPARE(limit->at(0).y(), 1.0);
        QCOMPARE(limit->at(1).y(), 1.0);
        dialog->close();
    }

    // The methodology of the module's records, found by id and revision in
    // the laboratory's folder, draws its marginal line; another revision draws none.
    void historyDrawsTheMethodologysMarginal() {
        QFile shipped(QString::fromStdString(verify::ShippedMethodologyDir()) + "/745t.toml");
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(shipped.readAll());
        const QString dir = QString::fromStdString(verify::UserMethodologyDir());
        QVERIFY(QDir().mkpath(dir));
        for (const auto& [revision, marginal] : {std::pair{2, 0.8}, std::pair{3, 0.0}}) {
            QString mine = text;
            mine.replace(QRegularExpression("^id = \"МП .*$", QRegularExpression::MultilineOption),
                         "id = \"МП 745-2025\"");
            mine.replace(QRegularExpression("^revision = .*$", QRegularExpression::MultilineOption),
                         QStringLiteral("revision = %1\nmarginal = 0.8").arg(revision));
            QFile file(dir + "/mine.toml");
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(mine.toUtf8());
            file.close();
            m_journal->SelectRecord(9);
            m_journal->findChild<QPushButton*>("HistoryButton")->click();
            auto* dialog = Shown<TModuleHistoryDialog>("ModuleHistoryDialog");
            QVERIFY(dialog);
            QLineSeries* line = nullptr;
            for (QAbstractSeries* s : dialog->Chart()->series())
                if (s->name() == QStringLiteral("Граница внимания"))
                    line = qobject_cast<QLineSeries*>(s);
            QCOMPARE(line != nullptr, marginal > 0);
            if (line) {
                QCOMPARE(line->count(), 2);
                QCOMPARE(line->at(0).y(), marginal);
                QCOMPARE(line->at(1).y(), marginal);
            }
            dialog->close();
        }
        QFile::remove(dir + "/mine.toml");
    }

    void statisticsPerModelAndMonth() {
        m_journal->findChild<QPushButton*>("StatsButton")->click();
        auto* page = Shown<TStatsPage>("StatsPage");
        QVERIFY(page);
        QCOMPARE(page->VerdictsModel()->rowCount(), 8);
        page->ModelFilter()->setCurrentText("748t");
        QCOMPARE(page->VerdictsModel()->rowCount(), 3);
        const QStringList months = {"2025-01", "2025-03", "2025-04"};
        const QList<qreal> bars[] = {{1, 2, 3}, {0, 1, 1}, {0, 0, 1}};
        for (int r = 0; r < 3; ++r) QCOMPARE(page->VerdictsModel()->item(r, 1)->text(), months[r]);
        QCOMPARE(page->VerdictsModel()->item(2, 2)->text(), QStringLiteral("3"));
        auto* series = qobject_cast<QStackedBarSeries*>(page->Chart()->series().value(0));
        QVERIFY(series);
        QCOMPARE(series->count(), 3);
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(series->barSets()[k]->label(),
                     (QStringList{kSuitable, kUnsuitable, kInterrupted}[k]));
            for (int m = 0; m < 3; ++m) QCOMPARE(series->barSets()[k]->at(m), bars[k][m]);
        }
        QCOMPARE(page->ItemsModel()->rowCount(), 2);
        QCOMPARE(page->ItemsModel()->item(1, 3)->text(), QStringLiteral("12 мА"));
        QCOMPARE(page->ItemsModel()->item(1, 5)->text(), QStringLiteral("0,406"));
        QCOMPARE(page->PeopleModel()->item(0, 1)->text(), QStringLiteral("Иванов И. И."));
        QCOMPARE(page->PeopleModel()->item(0, 3)->text(), QStringLiteral("7"));
        page->close();
    }
};

QTEST_MAIN(JournalAnalysisTest)
#include "journal_analysis_test.moc"
