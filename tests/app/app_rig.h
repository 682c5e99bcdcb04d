#pragma once
// The workstation on a simulated calibrator bench: the bench answers behind
// COM3 through the COM-port opener, every other COM port does not exist (no
// real device is ever opened). Message boxes are answered by a script.

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/operator_dialogs.h"
#include "common/module_ids.h"
#include "instrument/module_set.h"
#include "link/com_port.h"
#include "records/lab_references.h"
#include "records/record.h"
#include "sim/bench.h"
#include "sim/device_table.h"

namespace yukt::testing {

struct DialogCall {
    QString text;
    QString caption;
    DlgIcon icon;
    DlgButtons buttons;
};

// Answers message boxes from a queue; without a scripted answer OK boxes get
// OK, OK/Cancel boxes Cancel and Yes/No boxes No.
class ScriptedDialogs : public OperatorDialogs {
  public:
    DlgResult MessageBox(const QString& text, const QString& caption, DlgIcon icon,
                         DlgButtons buttons) override {
        calls.push_back({text, caption, icon, buttons});
        if (!answers.empty()) {
            const DlgResult a = answers.front();
            answers.pop_front();
            return a;
        }
        switch (buttons) {
            case DlgButtons::OkCancel:
                return DlgResult::Cancel;
            case DlgButtons::YesNo:
                return DlgResult::No;
            default:
                return DlgResult::Ok;
        }
    }
    void ShowMessage(const QString& text) override { plain << text; }
    // "Сведения о поверке": declined unless a test answers it.
    // The register then holds a reference valid for a year for what the plan
    // measures (once), so that the record passes the gate.
    bool AskRecordInfo(records::RecordInfo& info, const LabSettingsSource& lab) override {
        if (!recordInfo || !recordInfo(info)) return false;
        if (lab.store != nullptr && !lab.quantities.isEmpty()) {
            records::LabReference r;
            r.kind = records::kMietaKind;
            r.number = "RIG-1";
            r.name = "Калибратор";
            r.serial = "1";
            r.certificate = "С-1";
            r.validUntil = QDate::currentDate().addYears(1);
            r.quantities = lab.quantities;
            QString error;
            records::AddReference(*lab.store, r, &error);  // already there: as good
        }
        return true;
    }

    // A manual operation of the methodology: answered "соответствует"
    // unless a test says otherwise; the titles asked are kept.
    bool AskManualOperation(const QString& title, bool& conforms, QString& remark) override {
        manualAsked << title;
        conforms = manualConforms;
        remark = manualRemark;
        return true;
    }

    std::vector<DialogCall> calls;
    std::deque<DlgResult> answers;
    QStringList manualAsked;
    bool manualConforms = true;
    QString manualRemark;
    QStringList plain;
    std::function<bool(records::RecordInfo&)> recordInfo;
};

inline std::string identOf(std::string_view type) {
    return std::string(type) + ids::kDefaultVariant + std::string(ids::kDefaultVersion);
}

constexpr int kBenchCom = 3;

class AppRig {
  public:
    explicit AppRig(bool withMeter = true) {
        bench.installCalibrator(withMeter);
        benches[kBenchCom] = &bench;
        SetComPortOpener([this](int com, int, std::string& error) {
            std::unique_ptr<ByteTransport> port;
            auto it = benches.find(com);
            if (it != benches.end())
                port = it->second->connect();
            else
                error = "нет такого порта";
            return port;
        });
    }

    ~AppRig() {
        form.reset();
        // Closing the instrument leaves the process's module set and its
        // links open (the end of a verification borrows them); a process
        // ends there, a test lets them go before its bench does.
        if (TheModuleSet().HoldsObjects()) TheModuleSet().CloseModuleSet();
        SetComPortOpener(nullptr);
    }

    std::string dir() const { return m_dir.path().toStdString() + "/"; }

    // Creates the window with the given command-line arguments.
    TMainForm& create(const QStringList& args = {}, bool workDirOption = false) {
        StartOptions options;
        options.Arguments = args;
        options.ProgramDir = dir();
        options.WorkDirOption = workDirOption;
        TMainForm::Services services;
        services.Dialogs = &dialogs;
        services.ProgramFile = QStringLiteral("/opt/poverka/poverka");
        services.StartProcess = [this](const QString& program, const QStringList& a,
                                       const QString& workDir) {
            started.push_back({program, a, workDir});
            return startSucceeds;
        };
        form = std::make_unique<TMainForm>(options, services);
        return *form;
    }

    // Until the start-up has ended (work page shown or a question asked).
    bool waitForStartup(int ms = 20000) {
        return QTest::qWaitFor(
            [this] {
                return !form->InitRunning() &&
                       (form->NBMain->currentIndex() == 1 || !dialogs.calls.empty());
            },
            ms);
    }

    // A calibrator found on COM3 and the work page shown.
    TMainForm& launch() {
        create();
        waitForStartup();
        return *form;
    }

    // Plugs a module of `model` into the exchange bus with FLASH address
    // `address`; returns it for further FLASH set-up.
    sim::SimModule& plug(const std::string& model, int address) {
        auto lk = bench.lock();
        auto m = sim::makeDevice(model);
        m->flash().setAddress(address);
        sim::SimModule& placed = bench.plugUnderTest(std::move(m));
        placed.powerOn();
        return placed;
    }

    // Presses "Далее" and lets queued calls (the module-found one) run.
    void next() {
        form->NextBtnClick();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    bool fileExists(const std::string& name) const {
        return QFile::exists(QString::fromStdString(dir() + name));
    }
    // The raw bytes of a generated file.
    std::string file(const std::string& name) const {
        QFile f(QString::fromStdString(dir() + name));
        if (!f.open(QIODevice::ReadOnly)) return "<missing>";
        return f.readAll().toStdString();
    }
    void writeFile(const std::string& name, const std::string& content) const {
        QFile f(QString::fromStdString(dir() + name));
        f.open(QIODevice::WriteOnly);
        f.write(content.data(), qint64(content.size()));
    }

    int underTestAddress() {
        auto lk = bench.lock();
        auto a = bench.underTest()->flash().address();
        return a ? *a : -1;
    }

    struct Start {
        QString program;
        QStringList args;
        QString workDir;
    };

    sim::Bench bench;
    std::map<int, sim::Bench*> benches;
    ScriptedDialogs dialogs;
    std::vector<Start> started;
    bool startSucceeds = true;
    std::unique_ptr<TMainForm> form;

  private:
    QTemporaryDir m_dir;
};

inline void setSwitch(AppRig& rig, sim::ModeSwitch position) {
    auto lk = rig.bench.lock();
    rig.bench.setModeSwitch(position);
}

// Detection and step 2 for a module already plugged in.
inline void runToVerification(AppRig& rig) {
    rig.next();
    rig.next();
    setSwitch(rig, sim::ModeSwitch::Verification);
    rig.next();
}

}  // namespace yukt::testing
