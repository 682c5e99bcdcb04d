#include "app/manual_operation_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace yukt {

TManualOperationDialog::TManualOperationDialog(const QString& title, QWidget* parent)
    : QDialog(parent) {
    setObjectName("ManualOperationDialog");
    setWindowTitle(QStringLiteral("Поверка модуля"));
    auto* layout = new QVBoxLayout(this);
    auto* caption = new QLabel(title, this);
    caption->setWordWrap(true);
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    m_yes = new QRadioButton(QStringLiteral("соответствует"), this);
    m_yes->setObjectName("Conforms");
    m_no = new QRadioButton(QStringLiteral("не соответствует"), this);
    m_no->setObjectName("DoesNotConform");
    m_remark = new QLineEdit(this);
    m_remark->setObjectName("Remark");
    auto* remarkRow = new QFormLayout;
    remarkRow->addRow(QStringLiteral("Примечание:"), m_remark);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    // No answer is offered by default: the operator has to choose one.
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    for (QRadioButton* b : {m_yes, m_no})
        connect(b, &QRadioButton::toggled, ok, [ok] { ok->setEnabled(true); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(caption);
    layout->addWidget(m_yes);
    layout->addWidget(m_no);
    layout->addLayout(remarkRow);
    layout->addWidget(buttons);
    resize(420, sizeHint().height());
}

bool TManualOperationDialog::Conforms() const { return m_yes->isChecked(); }
QString TManualOperationDialog::Remark() const { return m_remark->text().trimmed(); }

}  // namespace yukt
