#pragma once
// The journal and the laboratory settings reachable from anywhere in the main
// window, without a control of their own (the window keeps its layout):
// Ctrl+J application-wide, and a right-click menu over every part of the
// window, every page, during the start-up search too. Edit fields keep their
// own menu with the two entries added. The journal is one modeless window of
// its own that closes with the main window.

#include <QObject>
#include <QPointer>

class QMenu;
class QWidget;

namespace yukt {

class TJournalWindow;
class TMainForm;

class TRecordsAccess : public QObject {
    Q_OBJECT

  public:
    static constexpr QKeyCombination kJournalKey{Qt::CTRL, Qt::Key_J};

    explicit TRecordsAccess(TMainForm& form);
    ~TRecordsAccess() override;

    // Shows the journal, raising the one already open.
    void OpenJournal();
    void OpenSettings();
    TJournalWindow* Journal() const;  // null when none is open
    // Appends "Журнал поверок" and "Настройки лаборатории" to a menu.
    void AddEntries(QMenu& menu);

  signals:
    // The window's menu is being built: others put their entries first.
    void menuOpening(QMenu* menu);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool ShowMenu(QWidget* target, const QPoint& globalPos);
    bool JournalKeyInModalBox(QEvent* event) const;

    TMainForm& m_form;
    QPointer<TJournalWindow> m_journal;
};

}  // namespace yukt
