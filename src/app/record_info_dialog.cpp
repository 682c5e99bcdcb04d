#include "app/record_info_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/page_fields.h"
#include "records/ru_format.h"
#include "app/references_panel.h"
#include "app/settings_dialog.h"
#include "records/lab_references.h"
#include "records/lab_settings.h"
#include "records/record_store.h"

#include "app/field_check.h"
#include "records/registry_rules.h"

namespace yukt {

using namespace records;

namespace {

QString NumberText(const std::optional<double>& v) { return v ? records::RuShort(*v) : QString(); }

// Typed by a person: a decimal point is taken as well as a comma.
std::optional<double> NumberOf(const QLineEdit* e) {
    double v = 0;
    return ReadNumber(e, v, true) ? std::optional<double>(v) : std::nullopt;
}

}  // namespace

TRecordInfoDialog::TRecordInfoDialog(const RecordInfo& offered, QWidget* parent) : QDialog(parent) {
    setObjectName("RecordInfoDialog");
    setWindowTitle(QStringLiteral("Сведения о поверке"));
    setMinimumWidth(480);  // owner and methodology names are long
    auto* form = new QFormLayout(this);
    m_labWarning = new QLabel(this);
    m_labWarning->setObjectName("LabWarning");
    m_labWarning->setWordWrap(true);
    m_labWarning->setStyleSheet(QStringLiteral("color: #800000"));
    m_labButton = new QPushButton(QStringLiteral("Настройки лаборатории…"), this);
    m_labButton->setObjectName("LabSettingsBtn");
    connect(m_labButton, &QPushButton::clicked, this, &TRecordInfoDialog::OpenSettings);
    m_referencesButton = new QPushButton(QStringLiteral("Реестр эталонов…"), this);
    m_referencesButton->setObjectName("ReferencesBtn");
    connect(m_referencesButton, &QPushButton::clicked, this, &TRecordInfoDialog::OpenReferences);
    form->addRow(m_labWarning);
    form->addRow(m_labButton);
    form->addRow(m_referencesButton);
    m_labWarning->hide();
    m_labButton->hide();
    m_referencesButton->hide();
    auto edit = [this, form](const QString& label, const QString& value, const char* name) {
        auto* e = new QLineEdit(value, this);
        e->setObjectName(name);
        form->addRow(label, e);
        return e;
    };
    m_name = edit(QStringLiteral("Наименование"), offered.instrumentName, "InstrumentName");
    m_serial = edit(QStringLiteral("Заводской номер"), offered.serial, "Serial");
    m_year = edit(QStringLiteral("Год выпуска"), offered.manufactureYear, "ManufactureYear");
    m_modification = edit(QStringLiteral("Модификация"), offered.modification, "Modification");
    m_owner = edit(QStringLiteral("Владелец"), offered.owner, "Owner");
    m_typeNumber =
        edit(QStringLiteral("Регистрационный номер типа СИ"), offered.typeNumber, "TypeNumber");
    m_kind = new QComboBox(this);
    m_kind->setObjectName("Kind");
    m_kind->addItems({QStringLiteral("первичная"), QStringLiteral("периодическая")});
    m_kind->setCurrentIndex(offered.kind == VerificationKind::Primary ? 0 : 1);
    form->addRow(QStringLiteral("Вид поверки"), m_kind);
    m_methodology = edit(QStringLiteral("Методика поверки"), offered.methodology, "Methodology");
    m_operator = edit(QStringLiteral("Поверитель"), offered.operatorName, "Operator");
    m_temperature = edit(QStringLiteral("Температура, °C"),
                         NumberText(offered.conditions.temperature), "Temperature");
    m_pressure =
        edit(QStringLiteral("Давление"), NumberText(offered.conditions.pressure), "Pressure");
    m_pressureUnit = new QComboBox(this);
    m_pressureUnit->addItems({QStringLiteral("кПа"), QStringLiteral("мм рт. ст.")});
    m_pressureUnit->setCurrentText(offered.conditions.pressureUnit);
    form->addRow(QStringLiteral("Единица давления"), m_pressureUnit);
    m_humidity =
        edit(QStringLiteral("Влажность, %"), NumberText(offered.conditions.humidity), "Humidity");
    for (const auto& [e, field] : RegistryChecked()) CheckWhileTyping(e, field);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

RecordInfo TRecordInfoDialog::Info() const {
    RecordInfo i;
    i.instrumentName = m_name->text().trimmed();
    i.serial = m_serial->text().trimmed();
    i.manufactureYear = m_year->text().trimmed();
    i.modification = m_modification->text().trimmed();
    i.owner = m_owner->text().trimmed();
    i.typeNumber = m_typeNumber->text().trimmed();
    i.kind = m_kind->currentIndex() == 0 ? VerificationKind::Primary : VerificationKind::Periodic;
    i.methodology = m_methodology->text().trimmed();
    i.operatorName = m_operator->text().trimmed();
    i.conditions = {NumberOf(m_temperature), NumberOf(m_pressure), m_pressureUnit->currentText(),
                    NumberOf(m_humidity)};
    return i;
}

QList<std::pair<QLineEdit*, RegistryField>> TRecordInfoDialog::RegistryChecked() const {
    return {{m_serial, RegistryField::Serial},
            {m_year, RegistryField::ManufactureYear},
            {m_modification, RegistryField::Modification},
            {m_owner, RegistryField::Owner},
            {m_typeNumber, RegistryField::TypeNumber},
            {m_methodology, RegistryField::DocTitle},
            {m_operator, RegistryField::Metrologist}};
}

QStringList TRecordInfoDialog::Missing() const {
    QStringList missing;
    const RecordInfo i = Info();
    if (i.serial.isEmpty()) missing << QStringLiteral("заводской номер");
    if (i.operatorName.isEmpty()) missing << QStringLiteral("поверитель");
    return missing;
}

QStringList TRecordInfoDialog::Unreadable() const {
    QStringList unreadable;
    const std::pair<const QLineEdit*, QString> numbers[] = {
        {m_temperature, QStringLiteral("температура")},
        {m_pressure, QStringLiteral("давление")},
        {m_humidity, QStringLiteral("влажность")}};
    for (const auto& [edit, name] : numbers) {
        const QString text = edit->text().trimmed();
        if (!text.isEmpty() && !NumberOf(edit))
            unreadable << QStringLiteral("%1 «%2»").arg(name, text);
    }
    return unreadable;
}

QString TRecordInfoDialog::Problems() const {
    QStringList lines;
    if (const QStringList m = Missing(); !m.isEmpty())
        lines << QStringLiteral("Не заполнено: ") + m.join(", ");
    if (const QStringList u = Unreadable(); !u.isEmpty())
        lines << QStringLiteral("Не число: ") + u.join(", ");
    QStringList refused;
    // Each field by the name the form gives it.
    const auto* form = qobject_cast<const QFormLayout*>(layout());
    for (const auto& [e, field] : RegistryChecked())
        if (const QString text = e->text().trimmed(); !text.isEmpty())
            if (const QString p = RegistryFieldWords(field, text); !p.isEmpty()) {
                const auto* label = form ? qobject_cast<const QLabel*>(form->labelForField(e)) : nullptr;
                refused << (label ? label->text() + ": " : QString()) + p;
            }
    if (!refused.isEmpty()) lines << QStringLiteral("Реестр не примет: ") + refused.join(", ");
    if (!m_labMissing.isEmpty())
        lines << QStringLiteral("Не заполнены настройки лаборатории: ") + m_labMissing.join(", ");
    lines << m_referenceRefusals;
    return lines.join('\n');
}

void TRecordInfoDialog::CheckLabSettings(RecordStore& store, const QString& programDir,
                                         const QStringList& quantities) {
    m_store = &store;
    m_programDir = programDir;
    m_quantities = quantities;
    ReadLabSettings();
}

void TRecordInfoDialog::ReadLabSettings() {
    // Settings that cannot be read are as good as missing: the store says why.
    const std::optional<LabSettings> lab = LabSettings::Load(*m_store);
    QString registerError;
    const std::optional<QList<records::LabReference>> references =
        records::LoadReferences(*m_store, &registerError);
    m_labMissing = !lab          ? QStringList{m_store->LastError()}
                   : !references ? QStringList{registerError}
                                 : records::MissingBesideRegister(records::MissingLabSettings(*lab),
                                                                  *references);
    m_referenceRefusals.clear();
    if (references && !m_quantities.isEmpty())
        m_referenceRefusals =
            records::CheckReferences(*references, m_quantities, QDate::currentDate()).refusals;
    const bool missing = !m_labMissing.isEmpty();
    QStringList warning;
    if (missing)
        warning << QStringLiteral("Не заполнены настройки лаборатории: ") + m_labMissing.join(", ");
    warning << m_referenceRefusals;
    m_labWarning->setText(warning.join('\n'));
    m_labWarning->setVisible(!warning.isEmpty());
    m_labButton->setVisible(missing);
    m_referencesButton->setVisible(!m_referenceRefusals.isEmpty());
}

void TRecordInfoDialog::OpenReferences() {
    TReferencesDialog dialog(*m_store, this);
    dialog.exec();
    ReadLabSettings();
}

void TRecordInfoDialog::OpenSettings() {
    TSettingsDialog dialog(*m_store, m_programDir, this);
    dialog.exec();
    ReadLabSettings();
}

void TRecordInfoDialog::accept() {
    const QString problems = Problems();
    if (!problems.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Внимание!"), problems);
        return;
    }
    QDialog::accept();
}

}  // namespace yukt
