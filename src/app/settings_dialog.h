#pragma once
// The laboratory settings: organisation, mark cipher, the calibrator and its
// etalon numbers, verification intervals per model, certificate numbering
// (all kept in the records database) and the database itself (kept in
// poverka.ini, used from the next start; its password, masked, goes to the
// pgpass file).

#include <QDialog>
#include <QMap>

#include "records/lab_settings.h"

class QLineEdit;
class QSpinBox;

namespace yukt {

class TSettingsDialog : public QDialog {
    Q_OBJECT

  public:
    TSettingsDialog(records::RecordStore& store, const QString& programDir,
                    QWidget* parent = nullptr);
    records::LabSettings Settings() const;
    void accept() override;

  private:
    records::RecordStore& m_store;
    QString m_programDir;
    QLineEdit *m_organisation, *m_cipher, *m_calibrator, *m_uve, *m_mieta, *m_misType, *m_misSerial,
        *m_certificate, *m_notice, *m_database, *m_password;
    QMap<QString, QSpinBox*> m_intervals;
};

}  // namespace yukt
