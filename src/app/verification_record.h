#pragma once
// The record of the verification under way, as the window shows it: begun
// once the module is identified and the instrument open ("Сведения о поверке"
// asked first), fed by the automatic runs and by "В протокол" on the pages,
// closed at "Закончить поверку". Declining the dialog, or a database that
// cannot be opened, leaves the manual verification working without a record.
// The record itself is the session's; this is its buttons and messages.

#include <QObject>

class QGroupBox;
class QLabel;
class QPushButton;

namespace yukt {

class OperatorDialogs;
class TVerificationSession;

class TVerificationRecord : public QObject {
    Q_OBJECT
  public:
    // The "В протокол" buttons and their status lines go into the meter
    // groups of the current and the frequency page.
    TVerificationRecord(TVerificationSession& session, OperatorDialogs& dialogs,
                        QGroupBox* currentMeter, QGroupBox* frequencyMeter);

    // Asks the operator's details (the record dialog names the laboratory
    // settings still missing) and opens the record in the records database
    // of the program folder `programDir`.
    void Begin(const QString& programDir);
    // Closes the open record: the verdict of its plan, else of its points.
    void Close();
    bool IsOpen() const;
    qint64 Id() const;

    // "В протокол": records the point the page computed last.
    void ToProtocolClick();

    QPushButton* CurBtn = nullptr;
    QPushButton* Btn735 = nullptr;
    // The page's status line: what "В протокол" stored.
    QLabel* CurStatus = nullptr;
    QLabel* Status735 = nullptr;

  private:
    void ShowButtons();
    void ShowStatus(const QString& text);
    void Warn(const QString& text) const;

    TVerificationSession& m_session;
    OperatorDialogs& m_dialogs;
};

}  // namespace yukt
