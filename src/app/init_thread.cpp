#include "app/init_thread.h"

#include "common/cp1251.h"
#include "common/module_ids.h"
#include "instrument/cprbr.h"

namespace yukt {

namespace {

bool startsWith(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Module addresses of the calibrator's reference modules.
constexpr int kGeneratorAddr = 1;
constexpr int kFrequencyGeneratorAddr = 2;
constexpr int kMeterAddr = 4;

}  // namespace

TInitThread::TInitThread(std::string programDir, ShowProgress show, Finished finished)
    : m_programDir(std::move(programDir)),
      m_show(std::move(show)),
      m_finished(std::move(finished)) {}

TInitThread::~TInitThread() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

void TInitThread::Start() {
    m_thread = std::thread([this] { Execute(); });
}

bool TInitThread::show() {
    if (m_stop) return false;
    if (!m_show(m_progress, m_text)) m_stop = true;
    return !m_stop;
}

void TInitThread::Execute() {
    InitResult result;
    CalibratorInfo& info = result.Info;
    m_text = "Инициализация...";
    {
        TcPrbr direct;
        info.CalibratorFound = false;
        m_progress = 2;
        show();

        auto open = [&](int addr, int port) {
            return direct.OpenDirect(kDirectBaseAddr, kDirectResonator, addr, port, kDirectBaud);
        };
        for (int n = 1; n <= 4 && !m_stop; ++n) {
            m_progress = 24 * n - 12;
            if (!show()) break;
            if (direct.ChannelState(kDirectBaseAddr, n) >= 2 || !open(kGeneratorAddr, n)) continue;
            const bool generator = startsWith(direct.ReadIdent(), ids::kPrefix787x);
            direct.CloseDirect();
            if (!generator) continue;

            if (!open(kFrequencyGeneratorAddr, n)) continue;
            m_progress = 24 * n - 4;
            if (!show()) break;
            const bool frequencyGenerator = startsWith(direct.ReadIdent(), ids::kType788t);
            direct.CloseDirect();
            if (!frequencyGenerator) continue;

            if (!open(kMeterAddr, n)) continue;
            m_progress = 24 * n + 4;
            if (!show()) break;
            if (startsWith(direct.ReadIdent(), ids::kType745t)) {
                info.HasMeter = true;
                info.ShuntOhm = direct.ReadParam(2);
                m_progress += 2;
                m_text = "Чтение FLASH модулей...";
                if (!show()) break;
                info.ReferenceOhm = direct.ReadParam(5);
            } else {
                info.HasMeter = false;
                m_text = "Чтение FLASH модулей...";
            }
            m_progress += 2;
            if (!show()) break;
            direct.CloseDirect();
            open(kFrequencyGeneratorAddr, n);
            info.QuartzKHz = direct.ReadParam(1);
            direct.CloseDirect();

            info.CalibratorFound = true;
            info.CalibratorPort = n;
            for (const CfgFile& f : CalibratorCfgFiles(info))
                if (!WriteTextFile(m_programDir + f.name, f.content))
                    result.UnwritableFiles.push_back(m_programDir + f.name);
            break;
        }
        direct.CloseDirect();
    }
    result.Cancelled = m_stop;
    if (!m_stop) {
        m_progress = 99;
        m_text.clear();
        show();
    }
    m_finished(result);
}

}  // namespace yukt
