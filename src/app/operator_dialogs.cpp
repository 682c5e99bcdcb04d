#include "app/operator_dialogs.h"

#include <QApplication>
#include <QMessageBox>

#include "app/manual_operation_dialog.h"
#include "app/record_info_dialog.h"

namespace yukt {

QString DisplayText(const QString& text) {
    QString s = text;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

DlgResult ScreenDialogs::MessageBox(const QString& text, const QString& caption, DlgIcon icon,
                                    DlgButtons buttons) {
    QMessageBox box(m_parent);
    box.setWindowTitle(caption);
    box.setText(DisplayText(text));
    if (m_parent) box.setWindowModality(Qt::WindowModal);
    switch (icon) {
        case DlgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case DlgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case DlgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case DlgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
    }
    switch (buttons) {
        case DlgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case DlgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case DlgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return DlgResult::Cancel;
        case QMessageBox::Yes:
            return DlgResult::Yes;
        case QMessageBox::No:
            return DlgResult::No;
        default:
            // Closing the box by its title bar counts as the safe answer.
            if (buttons == DlgButtons::YesNo) return DlgResult::No;
            if (buttons == DlgButtons::OkCancel && box.clickedButton() == nullptr)
                return DlgResult::Cancel;
            return DlgResult::Ok;
    }
}

void ScreenDialogs::ShowMessage(const QString& text) {
    QMessageBox box(m_parent);
    if (m_parent) box.setWindowModality(Qt::WindowModal);
    box.setWindowTitle(QApplication::applicationName());
    box.setText(DisplayText(text));
    box.exec();
}

bool ScreenDialogs::AskRecordInfo(records::RecordInfo& info, const LabSettingsSource& lab) {
    TRecordInfoDialog dialog(info, m_parent);
    // Like every question of the main window, it holds that window alone:
    // the journal stays at hand (Ctrl+J) while the operator answers.
    if (m_parent) dialog.setWindowModality(Qt::WindowModal);
    if (lab.store != nullptr) dialog.CheckLabSettings(*lab.store, lab.programDir, lab.quantities);
    if (dialog.exec() != QDialog::Accepted) return false;
    info = dialog.Info();
    return true;
}

bool ScreenDialogs::AskManualOperation(const QString& title, bool& conforms, QString& remark) {
    TManualOperationDialog dialog(title, m_parent);
    if (m_parent) dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted) return false;
    conforms = dialog.Conforms();
    remark = dialog.Remark();
    return true;
}

}  // namespace yukt
