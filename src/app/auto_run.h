#pragma once
// "Автоповерка" on the verification pages: runs the procedure that fits the
// module kind and the current channel through the session, and shows it in
// the run window. While it runs the session keeps the page's manual
// controls locked and the page's own poll off.

#include <QObject>
#include <vector>

#include "verify/procedure.h"

class QComboBox;
class QWidget;

namespace yukt {

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
    // Runs one procedure (the choice already made).
    void Start(const verify::Procedure& p);
    void StopClick();
    bool Running() const;
    TAutoRunWindow* Window() const { return m_window; }

  private:
    TVerificationSession& m_session;
    OperatorDialogs& m_dialogs;
    QWidget* m_parent;
    TAutoRunWindow* m_window;
};

}  // namespace yukt
