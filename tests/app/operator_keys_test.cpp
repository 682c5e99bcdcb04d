// What the operator reaches by keys and the mouse: the journal and the
// settings by Ctrl+J and the right-click menu from every page, during the
// search and over its message box; the clipboard keys in number fields.

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMap>
#include <QTimer>

#include "app/journal_window.h"
#include "app/page_fields.h"
#include "app/records_access.h"
#include "app_rig.h"

using namespace yukt;
using namespace yukt::testing;

namespace {

TJournalWindow* journalOf(TMainForm& form) { return form.findChild<TRecordsAccess*>()->Journal(); }

// Shown as a window of its own, not one inside the fixed main window.
bool journalShown(TMainForm& form) {
    TJournalWindow* j = journalOf(form);
    return j != nullptr && j->isVisible() && j->parentWidget() == nullptr &&
           form.size() == QSize(398, 273);
}

bool activate(QWidget* window) {
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// Right-clicks `target`; `use` gets the entries of the menu that opens.
void rightClick(QWidget* target, const std::function<void(QMap<QString, QAction*>&)>& use) {
    QTimer::singleShot(0, [use] {
        QWidget* menu = QApplication::activePopupWidget();
        QMap<QString, QAction*> entries;
        for (QAction* a : menu->actions()) entries[a->text()] = entries[a->objectName()] = a;
        use(entries);
        menu->close();
    });
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(2, 2), target->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(target, &e);
}

// Notes a journal that Qt blocks behind a modal window.
struct BlockWatch : QObject {
    bool blocked = false;
    bool eventFilter(QObject* o, QEvent* e) override {
        blocked |= e->type() == QEvent::WindowBlocked && qobject_cast<TJournalWindow*>(o);
        return false;
    }
};

}  // namespace

class OperatorKeysTest : public QObject {
    Q_OBJECT

  private slots:
    void journalFromEveryPage() {
        const struct {
            int mainPage, workPage;
            const char* target;
        } places[] = {{0, 0, "InitLabel"}, {1, 0, "LProc"},     {1, 1, "GrBoxGenCur"},
                      {1, 1, "le787xOut"}, {1, 1, "e787xIMin"}, {1, 2, "GrBox735Freq"}};
        for (const auto& p : places) {
            AppRig rig;
            TMainForm& form = rig.create({"Idle", "0", "0", "0", "0", "0"});
            form.NBMain->setCurrentIndex(p.mainPage);
            form.NBWork->setCurrentIndex(p.workPage);
            auto* widget = form.findChild<QWidget*>(p.target);
            QVERIFY(activate(&form));
            QTest::keyClick(widget, Qt::Key_J, Qt::ControlModifier);
            QVERIFY2(journalShown(form), p.target);
            journalOf(form)->close();
            QVERIFY(QTest::qWaitFor([&] { return journalOf(form) == nullptr; }));

            auto* edit = qobject_cast<QLineEdit*>(widget);
            QGuiApplication::clipboard()->setText("3.5 мА");
            rightClick(widget, [&](QMap<QString, QAction*>& entries) {
                QVERIFY(entries.contains("Настройки лаборатории"));
                // An edit field keeps its own entries; pasting goes by its filter.
                if (edit != nullptr && !edit->isReadOnly()) {
                    edit->clear();
                    entries["edit-paste"]->trigger();
                    QCOMPARE(edit->text(), QString("3,5"));
                }
                entries["Журнал поверок"]->trigger();
            });
            QVERIFY2(journalShown(form), p.target);
        }
    }

    void journalDuringTheSearch() {
        for (bool calibrator : {true, false}) {
            AppRig rig;
            sim::Bench silent;  // nothing answers on COM3
            if (!calibrator) rig.benches[kBenchCom] = &silent;
            TMainForm& form = rig.create();
            QVERIFY(activate(&form));
            QVERIFY(form.InitRunning());
            QTest::keyClick(&form, Qt::Key_J, Qt::ControlModifier);
            QVERIFY(journalShown(form));
            rig.form.reset();  // before the silent bench goes
        }
    }

    // Every question of the main window holds that window only: the key
    // still opens the journal, and the journal can be used beside it.
    void journalOverTheWindowsQuestions() {
        AppRig rig;
        TMainForm& form = rig.create({"Idle", "0", "0", "0", "0", "0"});
        form.show();
        ScreenDialogs screen(&form);
        records::RecordInfo info;
        bool conforms = false;
        QString remark;
        const std::function<void()> questions[] = {
            [&] {
                screen.MessageBox("КП \"Зирок-М\" не найден.", "Внимание!", DlgIcon::Warning,
                                  DlgButtons::OkCancel);
            },
            [&] { screen.ShowMessage("Zirok<>nil"); },
            [&] { screen.AskRecordInfo(info, {}); },
            [&] { screen.AskManualOperation("7.1 Внешний осмотр", conforms, remark); }};
        for (const auto& ask : questions) {
            BlockWatch watch;
            qApp->installEventFilter(&watch);
            bool opened = false;
            QTimer::singleShot(0, [&] {
                QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_J, Qt::ControlModifier);
                opened = journalShown(form);
                QApplication::activeModalWidget()->close();
            });
            ask();
            qApp->removeEventFilter(&watch);
            QVERIFY(opened);
            QVERIFY(!watch.blocked);
            journalOf(form)->close();
            QVERIFY(QTest::qWaitFor([&] { return journalOf(form) == nullptr; }));
        }
    }

    void clipboardKeysInNumberFields() {
        // ^X is Ctrl+X, anything else is typed.
        const struct {
            KeyFilter filter;
            const char *text, *clipboard, *keys, *result, *clipboardAfter;
        } rows[] = {{KeyFilter::Decimal, "1000", "", "^A 100", "100", ""},
                    {KeyFilter::Decimal, "", "3.14 В\n", "^V", "3,14", "3.14 В\n"},
                    {KeyFilter::Decimal, "1,5", "2,5", "^V", "1,525", "2,5"},
                    {KeyFilter::Decimal, "1,5", "7,25", "^A ^V", "7,25", "7,25"},
                    {KeyFilter::Decimal, "12,5", "x", "^A ^C", "12,5", "12,5"},
                    {KeyFilter::Decimal, "42", "", "^A ^X", "", "42"},
                    {KeyFilter::Decimal, "42", "", "^A 7 ^Z", "42", ""},
                    {KeyFilter::Digits, "", "12ab3,4", "^V", "1234", "12ab3,4"}};
        for (const auto& r : rows) {
            QLineEdit field(r.text);
            FieldEvents events(&field);
            events.Attach(&field, {r.filter, {}, {}, {}});
            QGuiApplication::clipboard()->setText(r.clipboard);
            for (const QString& k : QString(r.keys).split(' ')) {
                if (k.startsWith('^'))
                    QTest::keyClick(&field, Qt::Key(k[1].unicode()), Qt::ControlModifier);
                else
                    QTest::keyClicks(&field, k);
            }
            QCOMPARE(field.text() + "|" + QGuiApplication::clipboard()->text(),
                     QString(r.result) + "|" + r.clipboardAfter);
        }
    }
};

QTEST_MAIN(OperatorKeysTest)
#include "operator_keys_test.moc"
