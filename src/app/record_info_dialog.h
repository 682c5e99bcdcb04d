#pragma once
// "Сведения о поверке": what the operator enters about the module and the
// verification before the first point (serial number, owner, type number,
// kind, methodology, operator, conditions). Opens with the values given last.

#include <QDialog>

#include "records/record.h"
#include "records/registry_rules.h"

class QComboBox;
class QDoubleSpinBox;
class QLineEdit;

namespace yukt {

class TRecordInfoDialog : public QDialog {
    Q_OBJECT

  public:
    TRecordInfoDialog(const records::RecordInfo& offered, QWidget* parent = nullptr);
    records::RecordInfo Info() const;
    // What still must be filled in before the dialog can be accepted.
    QStringList Missing() const;
    void accept() override;

  private:
    // The fields the registry limits, checked as they are typed and on OK.
    QList<std::pair<QLineEdit*, records::RegistryField>> RegistryChecked() const;

    QLineEdit *m_name, *m_serial, *m_year, *m_modification, *m_owner, *m_typeNumber;
    QComboBox* m_kind;
    QLineEdit *m_methodology, *m_operator;
    QLineEdit *m_temperature, *m_pressure, *m_humidity;
    QComboBox* m_pressureUnit;
};

}  // namespace yukt
