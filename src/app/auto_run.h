#pragma once
// "Автоповерка" on the verification pages runs the items of the module's
// plan that the page's current channel reads; "Поверка модуля" in the run
// window and in the window's right-click menu runs the whole plan, and "Повторить" in its plan view the failed
// and unmeasured items of a row. Manual operations and the moves of the
// generator's lead are asked of the operator. While a run goes on the
// session keeps the page's manual controls locked and its poll off.

#include <QObject>
#include <vector>

#include "verify/methodology.h"

class QComboBox;
class QMenu;
class QPushButton;
class QWidget;

namespace yukt {

enum class DlgIcon;
class OperatorDialogs;
class TAutoRunWindow;
class TVerificationSession;

class TAutoRun : public QObject {
    Q_OBJECT
  public:
    // The button goes right of each of `selectors` (the pages' channel
    // selectors, which give it their room).
    TAutoRun(TVerificationSession& session, OperatorDialogs& dialogs, QWidget* windowParent,
             const std::vector<QComboBox*>& selectors);

    // The "Автоповерка" button of either page.
    void AutoBtnClick();
    // "Поверка модуля": the whole plan of the module.
    void ModuleBtnClick();
    // Runs plan items (empty: all).
    void StartItems(const std::vector<int>& items);
    // Runs a methodology of its own (a per-channel procedure comes
    // translated by MethodologyOfProcedure); the operator is told when it is
    // not for the module.
    void Start(const verify::Methodology& m);
    void StopClick();
    // "Поверка модуля" in the window's right-click menu while a page with
    // "Автоповерка" is shown.
    void AddMenuEntries(QMenu* menu);
    bool Running() const;
    TAutoRunWindow* Window() const { return m_window; }

  private:
    void ShowPlan();
    void ItemChanged();
    void ShowProgress();
    void Ask(const verify::Question& q);
    void Finished(const verify::RunResult& run);
    bool ShowWindow();
    void RecordSettled();
    void LostStore();
    void TellLost(const QString& text, DlgIcon icon);

    TVerificationSession& m_session;
    OperatorDialogs& m_dialogs;
    QWidget* m_parent;
    TAutoRunWindow* m_window;
    std::vector<QPushButton*> m_buttons;  // "Автоповерка" of each page
    bool m_refreshPending = false;
    int m_finishedRuns = 0;
    bool m_waitShown = false;  // the window says the record is awaited
};

}  // namespace yukt
