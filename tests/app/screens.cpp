// Draws every window of the workstation offscreen on the simulated bench and
// saves the pictures into a folder (docs/img for the README): the start page,
// the pages with values, the run window mid-run and finished (and with
// points close to their limit), the journal with records (and with the
// references due), and the record, settings and correction dialogs.
//
//   QT_QPA_PLATFORM=offscreen poverka-screens DIR

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QComboBox>
#include <QFile>
#include <cstdio>

#include "app/auto_run.h"
#include "app/auto_run_window.h"
#include "app/journal_window.h"
#include "app/qt_translation.h"
#include "app/record_info_dialog.h"
#include "app/records_access.h"
#include "app/settings_dialog.h"
#include "app/verification_session.h"
#include "own_methodology.h"
#include "page_rig.h"
#include "records/journal_query.h"
#include "records/lab_references.h"
#include "records/lab_settings.h"
#include "records/record_store.h"
#include "widgets/color_button.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

QString g_dir;
int g_failures = 0;

void save(QWidget* w, const QString& name) {
    w->show();
    QTest::qWaitForWindowExposed(w);
    QCoreApplication::processEvents();
    const QString path = g_dir + "/" + name;
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "poverka-screens: %s not written\n", qPrintable(path));
        ++g_failures;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void setCurrent(TMainForm& f, const QString& mA) {
    f.le787xCur->setText(mA);
    QTest::mouseClick(f.Start787xBtn, Qt::LeftButton);
}

void startPage() {
    PageRig rig;
    save(&rig.create(), "start.png");
    rig.waitForStartup();
}

void currentPages() {
    {
        PageRig rig;
        TMainForm& f = rig.openPage("745t");
        PageRig::enter(f.e745CurParMin, "4");
        setCurrent(f, "12");
        {
            auto lk = rig.bench.lock();
            rig.bench.physics().currentErrorMa = 0.012;
        }
        f.cbErrorCur->setCurrentIndex(2);
        rig.poll();
        save(&f, "page_cur.png");
    }
    PageRig rig;
    TMainForm& f = rig.openPage("787x");
    PageRig::enter(f.le787xCur, "12");
    QTest::mouseClick(f.Start787xBtn, Qt::LeftButton);
    rig.poll();
    save(&f, "page_787x.png");
}

void frequencyPage() {
    PageRig rig;
    TMainForm& f = rig.openPage("735x");
    f.e788Freq->setText("1000");
    QTest::mouseClick(f.Freq788Btn, Qt::LeftButton);
    rig.poll();
    rig.advance(1.0);
    rig.poll();
    save(&f, "page_735.png");
}

// Clicks "Автоповерка" of the current channel; the run's window at its
// usual size (beside the main window the offscreen screen has less room),
// or null, counted as a failure, when the run did not start.
TAutoRun* startChannelRun(PageRig& rig, TMainForm& f) {
    auto* run = f.findChild<TAutoRun*>("AutoRun");
    QTest::mouseClick(f.findChild<QPushButton*>("AutoRunCurBtn"), Qt::LeftButton);
    if (!run->Running()) {
        std::fprintf(stderr, "poverka-screens: the run did not start: %s\n",
                     qPrintable(rig.lastMessage()));
        ++g_failures;
        return nullptr;
    }
    run->Window()->resize(1040, 700);
    return run;
}

void saveAtTheEnd(TAutoRun* run, const QString& name) {
    QTest::qWaitFor([run] { return !run->Running(); }, 60000);
    save(run->Window(), name);
}

// "Автоповерка" on the 745t page: the current channel's items of the module's
// plan by the shipped methodology, so the plan view shows their states.
void runWindow() {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    PageRig rig;
    TAutoRun* run = startChannelRun(rig, rig.openPage("745t"));
    if (!run) return;
    QTest::qWaitFor([run] { return run->Window()->Points->rowCount() >= 2; }, 20000);
    save(run->Window(), "run_midway.png");
    saveAtTheEnd(run, "run_finished.png");
}

// The 745t's channel 1 by a methodology that marks a pass above 0,7 of the
// limit, on a bench 0,03 mA off (0,15 % of the 0,2 %).
void marginalRunWindow() {
    QTemporaryDir home;
    if (!WriteOwnMethodology(home.path(), "745t",
                             {{"interval_months = 24", "interval_months = 24\nmarginal = 0.7"}})) {
        ++g_failures;
        return;
    }
    PageRig rig;
    {
        auto lk = rig.bench.lock();
        rig.bench.physics().currentErrorMa = 0.03;
    }
    if (TAutoRun* run = startChannelRun(rig, rig.openPage("745t"))) saveAtTheEnd(run, "run_marginal.png");
}

// The module under test unplugged once the first point is taken: the run
// stops, names the lost line and judges nothing after it.
void lineLostRunWindow() {
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    PageRig rig;
    TMainForm& f = rig.openPage("745t");
    QObject::connect(&f.Session(), &TVerificationSession::pointFinished, &f, [&rig] {
        if (rig.bench.underTest()) rig.bench.unplugUnderTest();
    });
    if (TAutoRun* run = startChannelRun(rig, f)) saveAtTheEnd(run, "run_line_lost.png");
}

// A records file with a few verifications of the day.
void fillRecords(const QString& dir) {
    records::RecordStore store;
    if (!store.Open(dir + "/poverka.sqlite")) return;
    records::LabSettings lab;
    lab.organisation = "ООО \"Метрология\"";
    lab.signCipher = "ЛАБ";
    lab.uveNumbers = QStringList{"3.1.ZZZ.0001.2026"};
    lab.Save(store);
    records::LabReference calibrator;
    calibrator.kind = records::kMietaKind;
    calibrator.number = "3.1.ZZZ.0002.2026";
    calibrator.name = "Калибратор ЮКТ-788t";
    calibrator.serial = "788-0042";
    calibrator.certificate = "С-ГМ/12-2026";
    calibrator.validUntil = QDate::currentDate().addDays(20);
    calibrator.quantities = {"current", "frequency"};
    QString error;
    records::AddReference(store, calibrator, &error);
    const QList<records::ReferenceUse> used =
        records::CheckReferences({calibrator}, {"current"}, QDate::currentDate()).used;
    const struct {
        const char* model;
        const char* serial;
        double error;
    } modules[] = {{"745t", "А-1024", 0.01}, {"787x", "Б-2048", 0.2}, {"735x", "В-4096", 0.0}};
    for (const auto& m : modules) {
        records::Record r;
        r.module.model = m.model;
        r.module.designation = QStringLiteral("ЮКТ-%1").arg(m.model);
        r.info.serial = m.serial;
        r.info.operatorName = "Иванов И. И.";
        r.info.owner = "АО \"Приборный завод\"";
        r.lab = lab.Snapshot();
        r.means = used;
        store.Begin(r);
        for (double nominal : {4.0, 12.0, 20.0}) {
            records::RecordPoint p;
            p.channel = "1";
            p.nominal = p.reference = nominal;
            p.measured = nominal + m.error;
            p.error = m.error;
            p.limit = 0.05;
            p.errorKind = "abs";
            p.unit = "мА";
            p.result = m.error <= p.limit ? "pass" : "fail";
            store.AddPoint(r.id, p);
        }
        store.Close(r.id);
    }
}

// The right-click menu over the current page, drawn where it opens.
void rightClickMenu(TMainForm& form) {
    form.NBMain->setCurrentIndex(1);
    form.NBWork->setCurrentIndex(1);
    form.show();
    QTest::qWaitForWindowExposed(&form);
    QWidget* target = form.GrBoxGenCur;
    const QPoint at = target->mapTo(&form, QPoint(40, 60));
    QTimer::singleShot(0, [&form, at] {
        QWidget* menu = QApplication::activePopupWidget();
        if (menu == nullptr) return;
        QImage picture = form.grab().toImage();
        QPainter(&picture).drawPixmap(at, menu->grab());
        const QString path = g_dir + "/page_menu.png";
        if (picture.save(path))
            std::printf("%s\n", qPrintable(path));
        else
            ++g_failures;
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(40, 60), form.mapToGlobal(at));
    QApplication::sendEvent(target, &event);
    form.NBMain->setCurrentIndex(0);
}

void recordWindows() {
    AppRig rig;
    TMainForm& form = rig.create({"Idle", "0", "0", "0", "0", "0"});
    const QString dir = QString::fromStdString(rig.dir());
    {
        // Before any setting is filled: the record dialog names what is missing.
        records::RecordStore empty;
        empty.Open(dir + "/empty.sqlite");
        records::RecordInfo offered;
        offered.operatorName = "Иванов И. И.";
        offered.conditions.temperature = 21.5;
        TRecordInfoDialog dialog(offered);
        dialog.CheckLabSettings(empty, dir);
        save(&dialog, "record_dialog.png");
    }
    fillRecords(dir);
    rightClickMenu(form);
    auto& access = *form.findChild<TRecordsAccess*>();
    access.OpenJournal();
    TJournalWindow* journal = access.Journal();
    if (journal == nullptr) {
        ++g_failures;
        return;
    }
    journal->findChild<QTableView*>("JournalTable")->selectRow(1);
    save(journal, "journal.png");
    journal->findChild<QComboBox*>("VerdictFilter")->setCurrentText(records::kDueFilterCaption);
    save(journal, "journal_due.png");
    journal->findChild<QComboBox*>("VerdictFilter")->setCurrentIndex(0);
    TSettingsDialog settings(journal->Store(), dir);
    save(&settings, "settings_dialog.png");
    const std::optional<records::Record> r = journal->Store().Load(journal->SelectedRecord());
    TRecordInfoDialog correction(r ? r->info : records::RecordInfo{});
    correction.setWindowTitle(QStringLiteral("Исправление записи № %1").arg(r ? r->id : 0));
    save(&correction, "correction_dialog.png");
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    LoadQtRussian(app);  // the standard buttons as the operator sees them
    g_dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/img");
    if (!QDir().mkpath(g_dir)) {
        std::fprintf(stderr, "poverka-screens: cannot create %s\n", qPrintable(g_dir));
        return 1;
    }
    startPage();
    currentPages();
    frequencyPage();
    runWindow();
    marginalRunWindow();
    lineLostRunWindow();
    recordWindows();
    return g_failures == 0 ? 0 : 1;
}
