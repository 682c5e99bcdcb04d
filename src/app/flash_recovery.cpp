#include "app/flash_recovery.h"

#include "app/init_thread.h"
#include "app/operator_dialogs.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"

namespace yukt {

namespace {


QString q(const std::string& s) { return QString::fromStdString(s); }

void warn(OperatorDialogs& dialogs, const QString& text) {
    dialogs.MessageBox(text, QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::Ok);
}

}  // namespace

bool OpenDirectAt(TcPrbr& direct, int moduleAddr, int port) {
    return direct.OpenDirect(kDirectBaseAddr, kDirectResonator, moduleAddr, port, kDirectBaud);
}

QString ChannelNotOpenText(const TcPrbr& direct) {
    const std::string why = direct.DirectOpenError();
    return QStringLiteral("Канал не открыт!?") + (why.empty() ? QString() : "\n\r" + q(why));
}

RestoreOutcome RestoreFlash(TcPrbr& direct, const FlashJournal& journal) {
    bool ok = true;
    bool wrote = false;
    for (int n = 0; n < 2; ++n) {
        if (!journal.CoefReplaced[n]) continue;
        wrote = true;
        ok = direct.WriteCoef(n + 1, kCoefNotSet) && direct.ReadCoef(n + 1) == kCoefNotSet && ok;
    }
    if (journal.AddressChanged) {
        wrote = true;
        ok = direct.WriteModuleAddress(journal.SavedAddress) &&
             direct.ReadModuleAddress() == journal.SavedAddress && ok;
    }
    if (wrote) direct.ResetModule();
    return ok ? RestoreOutcome::Restored : RestoreOutcome::WriteFailed;
}

QString OtherModuleText(const FlashJournal& j, const std::string& found) {
    return QStringLiteral("Журнал FLASH относится к модулю ") + q(j.Designation) +
           QStringLiteral(", а подключен модуль ") + q(found) +
           QStringLiteral(".\n\rFLASH модуля ") + q(found) +
           QStringLiteral(" не изменена, журнал сохранен.\n\rПодключите модуль ") +
           q(j.Designation) + QStringLiteral(", чтобы восстановить его FLASH.");
}

QString JournalLossText(const FlashJournal& j) {
    QString what;
    if (j.AddressChanged)
        what = QStringLiteral("адрес модуля изменен с ") + QString::number(j.SavedAddress) +
               QStringLiteral(" на 6");
    if (j.CoefReplaced[0] || j.CoefReplaced[1])
        what += QString(what.isEmpty() ? "" : ", ") +
                QStringLiteral("коэффициенты делителя заменены на 2");
    return what;
}

QString ModuleNotFoundAtEndText() {
    return QString(32, QLatin1Char(' ')) +
           QStringLiteral(
               "Модуль не найден?!\n\rПроверьте переключатель выбора режима работы КП "
               "\"Зирок-М\".\n\rОн должен находиться в положении \"Режим замены "
               "модуля\"!");
}

void OfferJournalRestore(const std::string& dir, int calibratorPort, OperatorDialogs& dialogs) {
    FlashJournal j;
    std::string why;
    if (!ReadFlashJournal(dir, j, &why)) {
        // A journal that cannot be read is left where it is: it may be the
        // only record of a module's address.
        if (!why.empty())
            dialogs.MessageBox(QStringLiteral("Журнал FLASH не прочитан: ") + q(why),
                               QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
        return;
    }
    if (!j.AnythingChanged()) {
        DeleteFlashJournal(dir);
        return;
    }
    const QString what = JournalLossText(j);
    const QString question =
        QStringLiteral("Поверка модуля ") + q(j.Designation) +
        QStringLiteral(" не была завершена: ") + what +
        QStringLiteral(
            ".\n\rПодключите этот модуль к разъему \"Шина обмена\", установите "
            "переключатель в положение \"Режим замены модуля\".\n\rВосстановить FLASH "
            "модуля?");
    if (dialogs.MessageBox(question, QStringLiteral("Внимание!"), DlgIcon::Warning,
                           DlgButtons::YesNo) != DlgResult::Yes) {
        // The journal is the only record of the original values: it goes
        // only when the operator confirms what is lost with it.
        const QString discard =
            QStringLiteral("Журнал FLASH будет удален. Модуль ") + q(j.Designation) +
            QStringLiteral(" останется таким: ") + what +
            QStringLiteral(".\n\rПрежние значения восстановить будет нельзя.\n\rУдалить журнал?");
        if (dialogs.MessageBox(discard, QStringLiteral("Внимание!"), DlgIcon::Warning,
                               DlgButtons::YesNo) == DlgResult::Yes)
            DeleteFlashJournal(dir);
        return;
    }
    TcPrbr direct;
    if (!OpenDirectAt(direct, 0, calibratorPort)) {
        dialogs.MessageBox(ChannelNotOpenText(direct), QStringLiteral("Ошибка!"), DlgIcon::Error,
                           DlgButtons::Ok);
    } else if (const std::string ident = direct.ReadIdent(); ident == "?") {
        warn(dialogs, ModuleNotFoundAtEndText());
    } else if (const std::string found = IdentifyModule(ident, "?").ModuleDesignation;
               !j.IsFor(ident, found)) {
        warn(dialogs, OtherModuleText(j, found));
    } else if (RestoreFlash(direct, j) == RestoreOutcome::Restored) {
        DeleteFlashJournal(dir);
        dialogs.MessageBox(QStringLiteral("FLASH модуля восстановлена."),
                           QStringLiteral("Внимание!"), DlgIcon::Information, DlgButtons::Ok);
    } else {
        dialogs.MessageBox(QStringLiteral("Ошибка записи FLASH модуля!?"),
                           QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
    }
    direct.CloseDirect();
}

}  // namespace yukt
