#pragma once
// A manual operation of the methodology (external inspection...): the
// operator answers "соответствует" or "не соответствует" and may add a
// remark. "Отмена" leaves the operation undone.

#include <QDialog>

class QLineEdit;
class QRadioButton;

namespace yukt {

class TManualOperationDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TManualOperationDialog(const QString& title, QWidget* parent = nullptr);
    bool Conforms() const;
    QString Remark() const;

  private:
    QRadioButton* m_yes;
    QRadioButton* m_no;
    QLineEdit* m_remark;
};

}  // namespace yukt
