// The verification sequence, press by press of "Далее": detection of the
// module through direct access, preparation of its FLASH, the configuration
// lines, the switch check and the opening of the instrument, the end of the
// verification with the FLASH restored, and the restart for the next module.

#include <QComboBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

#include "app/flash_recovery.h"
#include "app/init_thread.h"
#include "app/main_form.h"
#include "records/ru_format.h"
#include "app/text_fit.h"
#include "app/verification_record.h"
#include "app/verification_session.h"
#include "records/db_location.h"
#include "common/cp1251.h"
#include "instrument/cprbr.h"
#include "instrument/identify.h"
#include "widgets/speed_button.h"

namespace yukt {

namespace {

// The address the module under test gets for the verification, and the
// address its second module answers at.
constexpr int kVerifyAddress = 6;
constexpr int kSecondModuleAddress = 7;
// A divider coefficient below this is not set; the verification uses it.
constexpr double kMinCoef = 2.0;

// Pages of NBWork.
constexpr int kWorkInit = 0, kWorkCur = 1, kWork735 = 2;

QString q(const std::string& s) { return QString::fromStdString(s); }

const QString kReplaceModeText = QStringLiteral(
    "Установите переключатель выбора режима работы КП \"Зирок\" в положение \"Режим замены "
    "модуля\".");

}  // namespace

void TMainForm::SetFindBar(int steps) {
    FindPrBar->setValue(steps * 10);
    FindPrBar->show();
}

void TMainForm::Warn(const QString& text, const QString& caption) {
    m_dialogs->MessageBox(text, caption, DlgIcon::Warning, DlgButtons::Ok);
}

void TMainForm::NextBtnClick() {
    const int step = WizardStep++;
    switch (step) {
        case 0:
            LProc->setText(QStringLiteral("Подключите модуль к разъему \"Шина обмена\"."));
            break;
        case 1:
            NextBtn->hide();
            Detect();
            break;
        case 2:
            VerifyModeAndSetup();
            break;
        case 10:
            NextBtn->hide();
            EndOfVerification();
            break;
        case 11:
            Restart();
            break;
        default:
            break;
    }
}

// ---- Detection ----

FlashJournal TMainForm::CurrentJournal() const {
    FlashJournal j;
    j.CalibratorPort = CalibratorPort;
    j.SavedAddress = SavedAddress;
    j.AddressChanged = SavedAddress != kVerifyAddress;
    j.CoefReplaced[0] = CoefReplaced[0];
    j.CoefReplaced[1] = CoefReplaced[1];
    j.Coef[0] = OrigCoef[0];
    j.Coef[1] = OrigCoef[1];
    j.Designation = ModuleDesignation;
    j.Ident = ModuleIdent;
    return j;
}

void TMainForm::Detect() {
    CanClose = false;
    FlashChanged = false;
    CoefReplaced[0] = CoefReplaced[1] = false;
    bool found = true;
    SetFindBar(1);

    auto direct = std::make_unique<TcPrbr>();
    // Ends a detection that found nothing to verify: the step is repeated.
    auto giveUp = [&] {
        FindPrBar->hide();
        NextBtn->show();
        direct->CloseDirect();
        found = false;
        --WizardStep;
    };

    if (!OpenDirectAt(*direct, 0, CalibratorPort)) {
        // Without the channel nothing is known about the module: say so
        // rather than go on with the results of an earlier detection.
        giveUp();
        m_dialogs->MessageBox(ChannelNotOpenText(*direct), QStringLiteral("Ошибка!"), DlgIcon::Error,
                              DlgButtons::Ok);
    } else if (const std::string ident = direct->ReadIdent(); ident == "?") {
        --WizardStep;
        Warn(QString(17, QLatin1Char(' ')) +
             QStringLiteral("Модуль не найден?!\n\rПроверьте правильность подключения модуля"));
        FindPrBar->hide();
        direct->CloseDirect();
        found = false;
        NextBtn->show();
    } else {
        SavedAddress = direct->ReadModuleAddress();
        ModuleIdent = ident;
        SecondModuleIdent.clear();
        auto apply = [this](const ModuleIdentity& id) {
            FirstKind = id.FirstKind;
            ModuleKind = id.ModuleKind;
            SecondKind = id.SecondKind;
            DeviceModuleCount = id.DeviceModuleCount;
            ModuleDesignation = id.ModuleDesignation;
        };
        apply(IdentifyModule(ident, "?"));
        FlashJournal earlier;
        const bool journalKept = ReadFlashJournal(ProgramDir, earlier) && earlier.AnythingChanged();

        bool rejected = false;
        double* X = Flash.X;
        auto param = [&](int n, int bar) {
            SetFindBar(bar);
            return direct->ReadParam(n);
        };
        switch (FirstKind) {
            case kKind745t:
                X[1] = param(2, 3);
                X[2] = param(5, 4);
                break;
            case kKind748x:
                X[1] = param(2, 3);
                X[2] = param(3, 4);
                X[3] = param(4, 5);
                break;
            case kKind748t:
                X[1] = param(2, 3);
                X[2] = param(3, 4);
                break;
            case kKind735t:
                X[1] = param(1, 3);
                SetFindBar(4);
                X[2] = direct->ReadCoef(1);
                SetFindBar(5);
                X[3] = direct->ReadCoef(2);
                OrigCoef[0] = X[2];
                OrigCoef[1] = X[3];
                Freq.DividerCoef[0] = X[2];
                Freq.DividerCoef[1] = X[3];
                break;
            case kKind735x:
                X[1] = param(1, 5);
                break;
            case kKind787x:
                rejected = !HasMeter;
                break;
            case kKind735d:
                break;
            default:  // 765x, 788t, not recognised
                rejected = true;
                break;
        }
        if (rejected) {
            Warn(QStringLiteral("Найден модуль: ") + q(ModuleDesignation) + QStringLiteral("\n\r") +
                 QStringLiteral("Данная программа не предназначена для поверки данного типа "
                                "модулей"));
            FindPrBar->hide();
            NextBtn->show();
            direct->CloseDirect();
            direct.reset();
            CanClose = true;
            --WizardStep;
            return;
        }
        if (journalKept && !earlier.IsFor(ident, ModuleDesignation)) {
            // Preparing this module would overwrite the only record of
            // what the other one had.
            giveUp();
            Warn(OtherModuleText(earlier, ModuleDesignation));
        } else if (journalKept) {
            // This module was left prepared by an earlier run: what it has
            // now is the verification state, the journal knows the original.
            if (earlier.AddressChanged && (SavedAddress == kVerifyAddress || SavedAddress < 0))
                SavedAddress = earlier.SavedAddress;
            for (int n = 0; n < 2; ++n)
                if (earlier.CoefReplaced[n]) {
                    CoefReplaced[n] = true;
                    OrigCoef[n] = earlier.Coef[n];
                }
        }
        if (found && SavedAddress < 0) {
            // Its address copies disagree: the address could never be put
            // back, so the FLASH is left alone.
            giveUp();
            Warn(
                QStringLiteral("Адрес модуля не прочитан из FLASH!?\n\rПроверьте правильность "
                               "подключения модуля"));
        } else if (!found) {
        } else if (!PrepareFlash(*direct)) {
            giveUp();
        } else {
            direct->CloseDirect();
            std::string second = "?";
            if (OpenDirectAt(*direct, kSecondModuleAddress, CalibratorPort)) second = direct->ReadIdent();
            SecondModuleIdent = second == "?" ? std::string() : second;
            apply(IdentifyModule(ident, second));
            SetFindBar(6);
            if (SecondKind == 1) {
                X[3] = param(2, 7);
                X[4] = param(5, 8);
            } else if (SecondKind == 2) {
                X[4] = param(2, 7);
                X[5] = param(3, 8);
                X[6] = param(4, 9);
            }
            direct->CloseDirect();
        }
    }
    direct.reset();
    CanClose = true;
    if (found) QMetaObject::invokeMethod(this, &TMainForm::ModuleFound, Qt::QueuedConnection);
}

// Gives the module the verification address and, for a 735t, usable divider
// coefficients. Every write is read back; a failed one is reported and what
// was written is put back at once.
bool TMainForm::PrepareFlash(TcPrbr& direct) {
    if (FirstKind == kKind735t)
        for (int n = 0; n < 2; ++n) CoefReplaced[n] = CoefReplaced[n] || Flash.X[2 + n] < kMinCoef;
    const FlashJournal journal = CurrentJournal();
    if (!journal.AnythingChanged()) return true;
    WriteFlashJournal(ProgramDir, journal);

    bool ok = true;
    for (int n = 0; n < 2 && ok; ++n) {
        if (!CoefReplaced[n]) continue;
        ok = direct.WriteCoef(n + 1, kMinCoef) && direct.ReadCoef(n + 1) == kMinCoef;
        Flash.X[2 + n] = kMinCoef;
        Freq.DividerCoef[n] = kMinCoef;
    }
    if (ok && journal.AddressChanged) {
        FlashChanged = true;
        ok = direct.WriteModuleAddress(kVerifyAddress) &&
             direct.ReadModuleAddress() == kVerifyAddress;
    }
    if (ok) {
        direct.ResetModule();
        return true;
    }

    const bool restored = RestoreFlash(direct, journal) == RestoreOutcome::Restored;
    if (restored) {
        FlashChanged = false;
        DeleteFlashJournal(ProgramDir);
    } else {
        FlashChanged = true;  // closing asks; the next start offers the restore
    }
    m_dialogs->MessageBox(
        QStringLiteral("Ошибка записи FLASH модуля!?\n\r") +
            (restored ? QStringLiteral("Прежнее содержимое FLASH восстановлено.")
                      : QStringLiteral("Прежнее содержимое FLASH восстановить не удалось.")),
        QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
    return false;
}

// ---- Configuration lines ----

void TMainForm::ModuleFound() {
    SetFindBar(9);
    ModuleCfgRequest request;
    request.FirstKind = FirstKind;
    request.SecondKind = SecondKind;
    request.HasMeter = HasMeter;
    request.CalibratorPort = CalibratorPort;
    request.Flash = Flash;
    auto firstLine = [this](const std::string& name, std::string& line) {
        std::string text;
        if (!ReadTextFile(ProgramDir + name, text)) return false;
        line = text.substr(0, text.find_first_of("\r\n"));
        return true;
    };
    std::string missing;
    const std::vector<CfgFile> files = ModuleCfgFiles(request, firstLine, missing);
    if (!missing.empty()) {
        // Should the operator keep the window open (the FLASH is changed),
        // "Далее" detects the module again.
        FindPrBar->hide();
        WizardStep = 1;
        NextBtn->show();
        Warn(QStringLiteral("Не найден файл ") + q(missing) +
             QStringLiteral("!?\n\rПриложение будет закрыто"));
        close();
        return;
    }
    for (const CfgFile& f : files)
        if (!WriteTextFile(ProgramDir + f.name, f.content))
            m_dialogs->MessageBox(
                QStringLiteral("Не удалось записать файл ") + q(ProgramDir + f.name),
                QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
    SetFindBar(10);
    SetExpectedNumber("2");
    FindPrBar->hide();
    LProc->setText(
        QStringLiteral("Установите переключатель выбора режима работы КП \"Зирок\" в "
                       "положение \"Режим поверки\"."));
    NextBtn->show();
}

// ---- Step 2: verification mode, the instrument, the page ----

void TMainForm::VerifyModeAndSetup() {
    {
        TcPrbr direct;
        std::string ident = "?";
        if (OpenDirectAt(direct, 0, CalibratorPort)) {
            ident = direct.ReadIdent();
            direct.CloseDirect();
        }
        if (ident != "?") {
            Warn(
                QStringLiteral("Произошла ошибка инициализации КП \"Зирок-М\"?!\n\rПроверьте "
                               "переключатель выбора режима работы КП \"Зирок-М\".\n\rОн должен "
                               "находиться в положении \"Режим поверки\"!"));
            --WizardStep;
            return;
        }
    }
    if (m_main != nullptr) {
        m_dialogs->ShowMessage(QStringLiteral("Zirok<>nil"));
        return;
    }
    m_main = std::make_unique<TcPrbr>();
    m_main->SetMinTime(2000);
    AttachInstrument(*m_main);
    m_main->SetPathCfg(ProgramDir);
    m_main->SetOpenPribor(true);
    m_main->SetPauze(true);
    if (!m_main->OpenPribor()) {
        // Commands would wait forever for a worker that never starts.
        CloseInstrument();
        --WizardStep;
        m_dialogs->MessageBox(QStringLiteral("Прибор не открыт!?\n\rПроверьте файлы конфигурации в "
                                             "папке ") +
                                  q(ProgramDir),
                              QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
        return;
    }

    Freq.RefFrequency = GeneratorFrequency(100.0f, static_cast<float>(QuartzKHz));
    EndCheckBtn->setEnabled(true);
    Cur.CurMin = 0;
    Cur.CurMax = 20;
    Cur.ParMin = 0;
    Cur.ParMax = 20;
    NB735Freq->setCurrentIndex(0);
    NBCurImp->setCurrentIndex(0);
    FlashChanged = true;
    AppendDesignationToGroups();
    setWindowTitle(QStringLiteral("Поверка модуля - ") + q(ModuleDesignation));
    FillChannelItems();
    // The module is known and its page shown: the record begins before the
    // first point.
    SessionModule module;
    module.kind = ModuleKind;
    module.firstKind = FirstKind;
    module.model = q(ModelOfKind(FirstKind));
    module.designation = q(ModuleDesignation);
    module.ident = q(ModuleIdent);
    module.identSecond = q(SecondModuleIdent);
    module.flashAddress = SavedAddress;
    module.flashBefore = FlashBeforeText();
    module.quartzKHz = QuartzKHz;
    m_session->SetModule(module);
    if (auto* record = findChild<TVerificationRecord*>())
        record->Begin(q(ProgramDir));
    PollTimer->start();
}

namespace {

QString coefText(int n, double k) { return QStringLiteral("К%1 = %2").arg(n).arg(records::RuShort(k)); }

}  // namespace

// The coefficients a 735t keeps in its FLASH, else the parameters read at
// detection.
QString TMainForm::FlashBeforeText() const {
    if (FirstKind == kKind735t)
        return coefText(1, OrigCoef[0]) + "; " + coefText(2, OrigCoef[1]);
    QStringList values;
    for (int n = 1; n < 7; ++n)
        if (Flash.X[n] != 0) values << QStringLiteral("X%1 = %2").arg(n).arg(records::RuShort(Flash.X[n]));
    return values.join("; ");
}

// A replaced coefficient is put back to "not set" at the end; the others
// keep the last value given to the module on the page.
QString TMainForm::FlashAfterText() const {
    if (FirstKind != kKind735t) return FlashBeforeText();
    QStringList values;
    for (int n = 0; n < 2; ++n)
        values << coefText(n + 1, CoefReplaced[n] ? kCoefNotSet : Freq.DividerCoef[n]);
    return values.join("; ");
}

void TMainForm::AppendDesignationToGroups() {
    const QString tail = QStringLiteral("- ") + q(ModuleDesignation).left(14) + QLatin1Char(' ');
    for (QGroupBox* g :
         {GrBox735Del, GrBox745Cur, GrBox745Imp, GrBox735Freq, GrBox735xDetect, GrBox735xCount}) {
        g->setTitle(g->title() + tail);
        FitText(g);
    }
}

void TMainForm::FillChannelItems() {
    const QSignalBlocker blockCur(cbChlMode);
    const QSignalBlocker block735(cb735ChlMode);
    cbChlMode->clear();
    cb735ChlMode->clear();
    Polling = true;
    SetExpectedNumber("2");

    const QString current = QStringLiteral(" канал измерения тока");
    auto numbered = [](int from, int to, const QString& tail) {
        QStringList items;
        for (int n = from; n <= to; ++n) items << QString::number(n) + tail;
        return items;
    };
    int page = kWorkInit;
    switch (ModuleKind) {
        case kKind745t:
            cbChlMode->addItems({QStringLiteral("Канал измерения тока"),
                                 QStringLiteral("Канал измерения сопротивления")});
            page = kWorkCur;
            PollCommand = "Get 745t 2";
            break;
        case kKind748x:
            cbChlMode->addItems(numbered(1, 3, current));
            page = kWorkCur;
            PollCommand = "Get 748x 2";
            break;
        case kKind748t:
            cbChlMode->addItems(numbered(1, 16, current));
            page = kWorkCur;
            PollCommand = "Get 748t 2";
            break;
        case kKind735t:
            for (const char* what : {"Частота ", "Делитель ", "Трансляция "})
                for (int n = 1; n <= 2; ++n)
                    cb735ChlMode->addItem(QString::fromUtf8(what) + QString::number(n) +
                                          QStringLiteral(" канала"));
            page = kWork735;
            PollCommand = "Get 735t 2";
            break;
        case kKind735x:
            cb735ChlMode->addItems({QStringLiteral("Частота"), QStringLiteral("Интервал времени"),
                                    QStringLiteral("Кол-во импульсов")});
            page = kWork735;
            PollCommand = "Get 735x 2";
            break;
        case kKind787x:
            cbChlMode->hide();
            lCurChl->hide();
            GrBoxGenCur->setTitle(QStringLiteral("Генератор токового сигнала ") +
                                  q(ModuleDesignation) + QLatin1Char(' '));
            GrBox745Cur->setTitle(QStringLiteral("Измеритель токового сигнала КП \"ЗИРОК-М\" "));
            FitText(GrBoxGenCur);
            FitText(GrBox745Cur);
            SetExpectedNumber("1");
            page = kWorkCur;
            PollCommand = "Get 745t 1";
            break;
        case kKind745t745t:
            cbChlMode->addItems(numbered(1, 2, current) +
                                numbered(1, 2, QStringLiteral(" канал измерения сопротивления")));
            page = kWorkCur;
            PollCommand = "Get 745t 2";
            break;
        case kKind745t748x:
            cbChlMode->addItems(numbered(1, 4, current) +
                                QStringList{QStringLiteral("Канал измерения сопротивления")});
            page = kWorkCur;
            PollCommand = "Get 745t 2";
            break;
        case kKind748x748x:
            cbChlMode->addItems(numbered(1, 6, current));
            page = kWorkCur;
            PollCommand = "Get 748x 2";
            break;
        default:
            break;
    }
    if (cbChlMode->count() > 0) cbChlMode->setCurrentIndex(0);
    if (cb735ChlMode->count() > 0) cb735ChlMode->setCurrentIndex(0);
    NBWork->setCurrentIndex(page);
}

// ---- End of the verification ----

void TMainForm::EndCheckBtnClick() {
    EndCheckBtn->setEnabled(false);
    if (auto* record = findChild<TVerificationRecord*>()) record->Close();
    CloseInstrument();
    setWindowTitle(QStringLiteral("Завершение поверки"));
    LProc->setText(kReplaceModeText);
    NBWork->setCurrentIndex(kWorkInit);
    WizardStep = 10;
}

void TMainForm::EndOfVerification() {
    auto direct = std::make_unique<TcPrbr>();
    CanClose = false;
    SetFindBar(5);
    auto finish = [&] {
        NextBtn->show();
        FindPrBar->hide();
        direct.reset();
        CanClose = true;
    };

    if (!OpenDirectAt(*direct, 0, CalibratorPort)) {
        m_dialogs->MessageBox(ChannelNotOpenText(*direct), QStringLiteral("Ошибка!"), DlgIcon::Error,
                              DlgButtons::Ok);
        // Should the operator keep the window open, "Далее" tries again.
        --WizardStep;
        finish();
        close();
        return;
    }
    const std::string ident = direct->ReadIdent();
    const FlashJournal journal = CurrentJournal();
    if (ident != "?" && !journal.IsFor(ident, IdentifyModule(ident, "?").ModuleDesignation)) {
        --WizardStep;
        m_dialogs->MessageBox(
            OtherModuleText(journal, IdentifyModule(ident, "?").ModuleDesignation),
            QStringLiteral("Внимание!"), DlgIcon::Warning, DlgButtons::Ok);
    } else if (ident != "?") {
        if (RestoreFlash(*direct, journal) == RestoreOutcome::Restored) {
            FindPrBar->setValue(100);
            LProc->setText(
                QStringLiteral("Поверка модуля завершена.\r\nДля поверки следующего "
                               "модуля нажмите на кнопку \"Далее\""));
            FlashChanged = false;
            DeleteFlashJournal(ProgramDir);
        } else {
            --WizardStep;
            m_dialogs->MessageBox(
                QStringLiteral("Ошибка записи FLASH модуля!?\n\rАдрес модуля не "
                               "восстановлен. Повторите, нажав кнопку \"Далее\"."),
                QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
        }
    } else {
        --WizardStep;
        Warn(ModuleNotFoundAtEndText());
    }
    direct->CloseDirect();
    finish();
}

void TMainForm::Restart() {
    QStringList args = {QStringLiteral("ZirokReInit"),
                        QString::number(x()),
                        QString::number(y()),
                        HasMeter ? QStringLiteral("1") : QStringLiteral("0"),
                        QString::number(CalibratorPort),
                        records::RuShort(QuartzKHz)};
    if (m_workDirOption) args << WorkDirArgument(ProgramDir);
    if (!m_startProcess(m_programFile, args, q(ProgramDir))) {
        --WizardStep;
        m_dialogs->MessageBox(QStringLiteral("Не удалось запустить программу для поверки "
                                             "следующего модуля!?"),
                              QStringLiteral("Ошибка!"), DlgIcon::Error, DlgButtons::Ok);
        return;
    }
    DeleteFilesOnClose = false;
    close();
}

// ---- A verification left unfinished by an earlier run ----

void TMainForm::OfferJournalRestore() {
    CanClose = false;
    yukt::OfferJournalRestore(ProgramDir, CalibratorPort, *m_dialogs);
    CanClose = true;
}

}  // namespace yukt
