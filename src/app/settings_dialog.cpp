#include "app/settings_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/field_check.h"
#include "app/references_panel.h"
#include "records/db_credentials.h"
#include "records/db_location.h"
#include "records/lab_settings_check.h"
#include "records/record_store.h"

namespace yukt {

using namespace records;

TSettingsDialog::TSettingsDialog(RecordStore& store, const QString& programDir, QWidget* parent)
    : QDialog(parent), m_store(store), m_programDir(programDir) {
    setObjectName("SettingsDialog");
    setWindowTitle(QStringLiteral("Настройки лаборатории"));
    const LabSettings s = LabSettings::Load(store).value_or(LabSettings{});
    // The laboratory's fields, and its references ("Эталоны": each change
    // there is stored at once, as a revision of the register).
    auto* outer = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    tabs->setObjectName("SettingsTabs");
    auto* page = new QWidget(tabs);
    auto* form = new QFormLayout(page);
    tabs->addTab(page, QStringLiteral("Лаборатория"));
    outer->addWidget(tabs);
    auto edit = [this, form](const QString& label, const QString& value) {
        auto* e = new QLineEdit(value, this);
        form->addRow(label, e);
        return e;
    };
    m_organisation = edit(QStringLiteral("Организация"), s.organisation);
    m_cipher = edit(QStringLiteral("Шифр клейма"), s.signCipher);
    m_calibrator = edit(QStringLiteral("Калибратор (идентификация)"), s.calibrator);
    m_uve = edit(QStringLiteral("Эталоны (рег. номера, через «;»)"), s.uveNumbers.join("; "));
    m_mieta = edit(QStringLiteral("Эталоны-СИ (номера, через «;»)"), s.mietaNumbers.join("; "));
    m_misType = edit(QStringLiteral("Калибратор как СИ: номер типа"), s.misTypeNumber);
    m_misSerial = edit(QStringLiteral("Калибратор как СИ: зав. номер"), s.misSerial);
    for (const QString& model : LabSettings::Models()) {
        auto* months = new QSpinBox(this);
        months->setRange(1, 120);
        months->setSuffix(QStringLiteral(" мес."));
        months->setValue(s.IntervalFor(model));
        form->addRow(QStringLiteral("Межповерочный интервал %1").arg(model), months);
        m_intervals[model] = months;
    }
    m_certificate =
        edit(QStringLiteral("Номер свидетельства ({Y} год, {N} номер)"), s.certificateScheme);
    m_notice = edit(QStringLiteral("Номер извещения ({Y} год, {N} номер)"), s.noticeScheme);
    m_database = edit(QStringLiteral("База данных (со следующего запуска)"),
                      UrlWithoutPassword(RecordsDbUrl(programDir)));
    m_database->setObjectName("Database");
    // Kept in the pgpass file, never in poverka.ini; empty leaves it as it is.
    m_password = edit(QStringLiteral("Пароль базы данных"), QString());
    m_password->setObjectName("DatabasePassword");
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(QStringLiteral("не менять"));
    // A password typed here, in its field or in the address, must not end
    // up in a core dump of the workstation.
    connect(m_password, &QLineEdit::textChanged, this, [](const QString& text) {
        if (!text.isEmpty()) KeepOutOfCoreDumps();
    });
    connect(m_database, &QLineEdit::textChanged, this, [](const QString& text) {
        if (!PasswordInUrl(text.trimmed()).isEmpty()) KeepOutOfCoreDumps();
    });
    const std::pair<QLineEdit*, const char*> checked[] = {
        {m_cipher, "sign_cipher"},   {m_uve, "uve_numbers"},
        {m_mieta, "mieta_numbers"},  {m_misType, "mis_type"},
        {m_misSerial, "mis_serial"}, {m_certificate, "certificate_scheme"},
        {m_notice, "notice_scheme"}};
    for (const auto& [edit, key] : checked)
        CheckWhileTyping(edit,
                         [key](const QString& text) { return LabSettingFormProblem(key, text); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    outer->addWidget(buttons);
    // The register is read when its tab is first opened.
    auto* referencesTab = new QWidget(tabs);
    referencesTab->setObjectName("ReferencesTab");
    auto* referencesLayout = new QVBoxLayout(referencesTab);
    tabs->addTab(referencesTab, QStringLiteral("Эталоны"));
    connect(tabs, &QTabWidget::currentChanged, this, [this, tabs, referencesTab, referencesLayout] {
        if (tabs->currentWidget() == referencesTab && !referencesTab->findChild<TReferencesPanel*>())
            referencesLayout->addWidget(new TReferencesPanel(m_store, referencesTab));
    });
}

LabSettings TSettingsDialog::Settings() const {
    auto list = [](const QLineEdit* e) {
        QStringList out;
        for (const QString& item : e->text().split(';', Qt::SkipEmptyParts))
            if (!item.trimmed().isEmpty()) out << item.trimmed();
        return out;
    };
    LabSettings s;
    s.organisation = m_organisation->text().trimmed();
    s.signCipher = m_cipher->text().trimmed();
    s.calibrator = m_calibrator->text().trimmed();
    s.uveNumbers = list(m_uve);
    s.mietaNumbers = list(m_mieta);
    s.misTypeNumber = m_misType->text().trimmed();
    s.misSerial = m_misSerial->text().trimmed();
    for (auto it = m_intervals.begin(); it != m_intervals.end(); ++it)
        s.intervalMonths[it.key()] = it.value()->value();
    s.certificateScheme = m_certificate->text().trimmed();
    s.noticeScheme = m_notice->text().trimmed();
    return s;
}

void TSettingsDialog::accept() {
    const LabSettings s = Settings();
    if (const QStringList problems = LabSettingsFormProblems(s); !problems.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Внимание!"), problems.join('\n'));
        return;
    }
    QString error;
    const QString typed = m_database->text().trimmed();
    if (!ParseDbUrl(typed, &error)) {
        QMessageBox::warning(this, QStringLiteral("Внимание!"), error);
        return;
    }
    // A password typed into the address goes the same way as the field's.
    const QString password =
        m_password->text().isEmpty() ? PasswordInUrl(typed) : m_password->text();
    if (!password.isEmpty() && !SavePgPassword(typed, password, &error)) {
        QMessageBox::warning(this, QStringLiteral("Внимание!"),
                             QStringLiteral("Пароль базы данных не сохранён: ") + error);
        return;
    }
    if (!s.Save(m_store) || !SaveRecordsDbUrl(m_programDir, typed)) {
        QMessageBox::warning(this, QStringLiteral("Внимание!"), m_store.LastError());
        return;
    }
    QDialog::accept();
}

}  // namespace yukt
