#pragma once
// "Сведения о поверке": what the operator enters about the module and the
// verification before the first point (serial number, owner, type number,
// kind, methodology, operator, conditions). Opens with the values given last.
// For a new verification it also names the laboratory settings still missing
// and opens "Настройки лаборатории" to fill them.

#include <QDialog>

#include "records/record.h"
#include "records/registry_rules.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace yukt {

namespace records {
class RecordStore;
}

class TRecordInfoDialog : public QDialog {
    Q_OBJECT

  public:
    TRecordInfoDialog(const records::RecordInfo& offered, QWidget* parent = nullptr);
    records::RecordInfo Info() const;
    // Required fields left empty.
    QStringList Missing() const;
    // Fields filled with something that is not a number.
    QStringList Unreadable() const;
    // What keeps the dialog from being accepted, one line each; empty when
    // nothing does.
    QString Problems() const;
    // Names the laboratory settings a record needs that are still empty (or
    // cannot be read) and holds the dialog until they are filled.
    // With the quantities the plan measures, also the register of references:
    // a quantity without a reference valid today holds the dialog, named
    // ("эталон … действителен до …"), with a button to the register.
    void CheckLabSettings(records::RecordStore& store, const QString& programDir,
                          const QStringList& quantities = {});
    void accept() override;

  private:
    // The fields the registry limits, checked as they are typed and on OK.
    QList<std::pair<QLineEdit*, records::RegistryField>> RegistryChecked() const;
    void ReadLabSettings();
    void OpenSettings();
    void OpenReferences();

    QLineEdit *m_name, *m_serial, *m_year, *m_modification, *m_owner, *m_typeNumber;
    QComboBox* m_kind;
    QLineEdit *m_methodology, *m_operator;
    QLineEdit *m_temperature, *m_pressure, *m_humidity;
    QComboBox* m_pressureUnit;
    QLabel* m_labWarning;
    QPushButton* m_labButton;
    QPushButton* m_referencesButton;
    records::RecordStore* m_store = nullptr;
    QString m_programDir;
    QStringList m_labMissing;
    QStringList m_quantities;
    QStringList m_referenceRefusals;
};

}  // namespace yukt
