// What the operator reaches by keys and the mouse: the journal and the
// laboratory settings by Ctrl+J and the right-click menu from every page,
// during the start-up search and over its message box; the clipboard keys
// in number fields.

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>

#include "app/journal_window.h"
#include "app/page_fields.h"
#include "app/records_access.h"
#include "app_rig.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

TRecordsAccess& accessOf(TMainForm& form) { return *form.findChild<TRecordsAccess*>(); }

bool journalShown(TMainForm& form) {
    TJournalWindow* j = accessOf(form).Journal();
    return j != nullptr && j->isVisible() && j->parentWidget() == nullptr;
}

void pressCtrlJ(QWidget* target) {
    target->window()->show();
    target->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(target->window()));
    QTest::keyClick(target, Qt::Key_J, Qt::ControlModifier);
}

// Right-clicks `target`; the menu that opens is handed to `use`, then closed.
void rightClick(QWidget* target, const std::function<void(QMenu&)>& use) {
    QTimer::singleShot(0, [use] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        use(*menu);
        menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(target, &event);
}

QAction* entry(QMenu& menu, const QString& text) {
    for (QAction* a : menu.actions())
        if (a->text() == text || a->objectName() == text) return a;
    return nullptr;
}

// Records windows that Qt blocks behind a modal one.
struct BlockWatch : QObject {
    bool blocked = false;
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() == QEvent::WindowBlocked && qobject_cast<TJournalWindow*>(o)) blocked = true;
        return false;
    }
};

}  // namespace

class OperatorKeysTest : public QObject {
    Q_OBJECT

  private slots:
    void journalFromEveryPage_data() {
        QTest::addColumn<int>("mainPage");
        QTest::addColumn<int>("workPage");
        QTest::addColumn<QString>("target");
        QTest::newRow("start page") << 0 << 0 << "InitLabel";
        QTest::newRow("detection") << 1 << 0 << "LProc";
        QTest::newRow("current page") << 1 << 1 << "GrBoxGenCur";
        QTest::newRow("current page result field") << 1 << 1 << "le787xOut";
        QTest::newRow("current page number field") << 1 << 1 << "e787xIMin";
        QTest::newRow("frequency page") << 1 << 2 << "GrBox735Freq";
    }

    void journalFromEveryPage() {
        QFETCH(int, mainPage);
        QFETCH(int, workPage);
        QFETCH(QString, target);
        AppRig rig;
        TMainForm& form = rig.create({"Idle", "0", "0", "0", "0", "0"});
        form.NBMain->setCurrentIndex(mainPage);
        form.NBWork->setCurrentIndex(workPage);
        auto* widget = form.findChild<QWidget*>(target);
        pressCtrlJ(widget);
        QVERIFY(journalShown(form));
        accessOf(form).Journal()->close();
        QVERIFY(QTest::qWaitFor([&] { return accessOf(form).Journal() == nullptr; }));

        auto* edit = qobject_cast<QLineEdit*>(widget);
        QGuiApplication::clipboard()->setText("3.5 мА");
        rightClick(widget, [&](QMenu& menu) {
            QVERIFY(entry(menu, "Настройки лаборатории"));
            // An edit field keeps its own entries; pasting goes by its filter.
            if (edit != nullptr && !edit->isReadOnly()) {
                edit->clear();
                entry(menu, "edit-paste")->trigger();
                QCOMPARE(edit->text(), QString("3,5"));
            }
            entry(menu, "Журнал поверок")->trigger();
        });
        QVERIFY(journalShown(form));
        QCOMPARE(form.size(), QSize(398, 273));
    }

    void journalDuringTheSearch_data() {
        QTest::addColumn<bool>("calibrator");
        QTest::newRow("calibrator on COM3") << true;
        QTest::newRow("nothing answers on COM3") << false;
    }

    void journalDuringTheSearch() {
        QFETCH(bool, calibrator);
        AppRig rig;
        sim::Bench silent;
        if (!calibrator) rig.benches[kBenchCom] = &silent;
        TMainForm& form = rig.create();
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QVERIFY(form.InitRunning());
        QTest::keyClick(&form, Qt::Key_J, Qt::ControlModifier);
        QVERIFY(journalShown(form));
        rig.form.reset();  // before the silent bench goes
    }

    // The "не найден" box holds the main window only: the key still opens
    // the journal, and the journal can be used beside the box.
    void journalOverTheNotFoundBox() {
        AppRig rig;
        TMainForm& form = rig.create({"Idle", "0", "0", "0", "0", "0"});
        form.show();
        ScreenDialogs screen(&form);
        BlockWatch watch;
        qApp->installEventFilter(&watch);
        bool opened = false;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            QVERIFY(box);
            QTest::keyClick(box, Qt::Key_J, Qt::ControlModifier);
            opened = journalShown(form);
            box->close();
        });
        screen.MessageBox("КП \"Зирок-М\" не найден.", "Внимание!", DlgIcon::Warning,
                          DlgButtons::OkCancel);
        qApp->removeEventFilter(&watch);
        QVERIFY(opened);
        QVERIFY(!watch.blocked);
    }

    void clipboardKeysInNumberFields_data() {
        QTest::addColumn<bool>("digitsOnly");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("keys");  // ^X: Ctrl+X; anything else is typed
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("clipboardAfter");
        QTest::newRow("select all, type over") << false << "1000" << "" << "^A 100" << "100" << "";
        QTest::newRow("paste filtered") << false << "" << "3.14 В\n" << "^V" << "3,14" << "3.14 В\n";
        QTest::newRow("paste keeps one comma") << false << "1,5" << "2,5" << "^V" << "1,525" << "2,5";
        QTest::newRow("paste over all") << false << "1,5" << "7,25" << "^A ^V" << "7,25" << "7,25";
        QTest::newRow("copy") << false << "12,5" << "x" << "^A ^C" << "12,5" << "12,5";
        QTest::newRow("cut") << false << "42" << "" << "^A ^X" << "" << "42";
        QTest::newRow("undo") << false << "42" << "" << "^A 7 ^Z" << "42" << "";
        QTest::newRow("digits only") << true << "" << "12ab3,4" << "^V" << "1234" << "12ab3,4";
    }

    void clipboardKeysInNumberFields() {
        QFETCH(bool, digitsOnly);
        QFETCH(QString, text);
        QFETCH(QString, clipboard);
        QFETCH(QString, keys);
        QFETCH(QString, result);
        QFETCH(QString, clipboardAfter);
        QLineEdit field(text);
        FieldEvents events(&field);
        events.Attach(&field, {digitsOnly ? KeyFilter::Digits : KeyFilter::Decimal, {}, {}, {}});
        QGuiApplication::clipboard()->setText(clipboard);
        for (const QString& k : keys.split(' ')) {
            if (k.startsWith('^'))
                QTest::keyClick(&field, Qt::Key(k[1].unicode()), Qt::ControlModifier);
            else
                QTest::keyClicks(&field, k);
        }
        QCOMPARE(field.text(), result);
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboardAfter);
    }
};

QTEST_MAIN(OperatorKeysTest)
#include "operator_keys_test.moc"
