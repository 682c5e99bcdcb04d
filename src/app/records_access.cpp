#include "app/records_access.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <memory>

#include "app/journal_window.h"
#include "app/main_form.h"
#include "app/settings_dialog.h"
#include "records/db_location.h"
#include "records/record_store.h"

namespace yukt {

namespace {

bool IsJournalKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    return static_cast<const QKeyEvent*>(event)->keyCombination() == TRecordsAccess::kJournalKey;
}

}  // namespace

TRecordsAccess::TRecordsAccess(TMainForm& form) : QObject(&form), m_form(form) {
    setObjectName("RecordsAccess");
    auto* shortcut = new QShortcut(QKeySequence(kJournalKey), &form);
    shortcut->setContext(Qt::ApplicationShortcut);
    connect(shortcut, &QShortcut::activated, this, &TRecordsAccess::OpenJournal);
    if (auto* button = form.findChild<QPushButton*>("JournalBtn"))
        connect(button, &QPushButton::clicked, this, &TRecordsAccess::OpenJournal);
    // Application-wide: the menu must reach every control of the window, and
    // the key a message box holding the window, which no shortcut reaches.
    qApp->installEventFilter(this);
}

// Deleted at once, not closed: at the end of the program no event loop is
// left to delete it later, and its database connection must be closed.
TRecordsAccess::~TRecordsAccess() {
    qApp->removeEventFilter(this);
    delete m_journal.data();
}

TJournalWindow* TRecordsAccess::Journal() const { return m_journal; }

void TRecordsAccess::OpenJournal() {
    if (!m_journal)
        m_journal = TJournalWindow::Open(QString::fromStdString(m_form.ProgramDir), &m_form);
    if (!m_journal) return;
    m_journal->showNormal();
    m_journal->raise();
    m_journal->activateWindow();
}

void TRecordsAccess::OpenSettings() {
    const QString dir = QString::fromStdString(m_form.ProgramDir);
    records::RecordStore store;
    if (!store.Open(records::RecordsDbUrl(dir))) {
        QMessageBox::warning(&m_form, QStringLiteral("Внимание!"), store.LastError());
        return;
    }
    TSettingsDialog dialog(store, dir, &m_form);
    dialog.exec();
}

void TRecordsAccess::AddEntries(QMenu& menu) {
    connect(menu.addAction(QStringLiteral("Журнал поверок")), &QAction::triggered, this,
            &TRecordsAccess::OpenJournal);
    connect(menu.addAction(QStringLiteral("Настройки лаборатории")), &QAction::triggered, this,
            &TRecordsAccess::OpenSettings);
}

// An edit field keeps its own entries; its "Вставить" acts as Ctrl+V does,
// so that the field's key filter judges a pasted text too.
bool TRecordsAccess::ShowMenu(QWidget* target, const QPoint& globalPos) {
    std::unique_ptr<QMenu> menu;
    if (auto* edit = qobject_cast<QLineEdit*>(target)) {
        menu.reset(edit->createStandardContextMenu());
        // The field's menu names its entries with their keys, whatever the language.
        const QString pasteKey =
            '\t' + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
        for (QAction* action : menu->actions()) {
            if (!action->text().endsWith(pasteKey)) continue;
            action->setObjectName("edit-paste");
            action->disconnect(edit);
            connect(action, &QAction::triggered, edit, [edit] {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
                QCoreApplication::sendEvent(edit, &press);
            });
        }
        menu->addSeparator();
    } else {
        menu = std::make_unique<QMenu>();
    }
    emit menuOpening(menu.get());
    if (!menu->isEmpty() && !menu->actions().constLast()->isSeparator()) menu->addSeparator();
    AddEntries(*menu);
    menu->exec(globalPos);
    return true;
}

// Only a box that holds this window alone: under an application-modal
// dialog the journal could not be used anyway.
bool TRecordsAccess::JournalKeyInModalBox(QEvent* event) const {
    if (!IsJournalKey(event)) return false;
    const QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr && modal->windowModality() == Qt::WindowModal &&
           modal->parentWidget() != nullptr && modal->parentWidget()->window() == &m_form;
}

bool TRecordsAccess::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) return false;
    switch (event->type()) {
        case QEvent::ContextMenu:
            if (widget->window() != &m_form) return false;
            return ShowMenu(widget, static_cast<QContextMenuEvent*>(event)->globalPos());
        case QEvent::KeyPress:
            if (!JournalKeyInModalBox(event)) return false;
            OpenJournal();
            return true;
        case QEvent::Hide:
            // The window closing, not minimised: its journal goes with it.
            if (widget == &m_form && !event->spontaneous() && m_journal) m_journal->close();
            return false;
        default:
            return false;
    }
}

}  // namespace yukt
