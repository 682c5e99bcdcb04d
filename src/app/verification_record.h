#pragma once
// The record of the verification under way in the window: begun once the
// module is identified and the instrument open ("Сведения о поверке" asked
// first), fed by the automatic runs and by "В протокол" on the pages, closed
// at "Закончить поверку". Declining the dialog, or a database that cannot be
// opened, leaves the manual verification working without a record.

#include <QObject>
#include <memory>

#include "records/record.h"
#include "verify/procedure.h"

class QPushButton;

namespace yukt {

namespace records {
class RecordStore;
}

class TMainForm;

class TVerificationRecord : public QObject {
    Q_OBJECT
  public:
    explicit TVerificationRecord(TMainForm& form);
    ~TVerificationRecord() override;

    // Asks the operator's details and opens the record.
    void Begin();
    // Closes the open record: the verdict from its points.
    void Close();
    // The database was lost and the record ended in the local spool: it is
    // no longer this window's, and the next record opens the database anew.
    void Abandon();
    bool IsOpen() const { return m_id != 0; }
    qint64 Id() const { return m_id; }
    // The store of the open record, null when none is open.
    records::RecordStore* Store() const { return IsOpen() ? m_store.get() : nullptr; }

    // "В протокол": records the point the page shows.
    void ToProtocolClick();

    QPushButton* CurBtn = nullptr;
    QPushButton* Btn735 = nullptr;

  private:
    bool DisplayedPoint(records::RecordPoint& point, QString& why) const;
    void Judge(records::RecordPoint& point, int channel, verify::Quantity q, int displayedKind,
               double displayRange) const;
    QString FlashBefore() const;
    QString FlashAfter() const;
    void ShowButtons();
    void Warn(const QString& text) const;
    void ToSpool(const records::RecordPoint* point);

    TMainForm& m_form;
    std::unique_ptr<records::RecordStore> m_store;
    qint64 m_id = 0;
    bool m_storeLost = false;
};

}  // namespace yukt
