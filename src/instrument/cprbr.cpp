#include "instrument/cprbr.h"

#include <mutex>

#include "instrument/command_words.h"
#include "instrument/direct_channel.h"
#include "instrument/instrument_state.h"
#include "instrument/module_set.h"
#include "instrument/tick_timer.h"
#include "instrument/work_thread.h"
#include "link/frame_trace.h"

namespace yukt {

namespace {

using Guard = std::lock_guard<std::mutex>;

InstrumentState& state() { return TheInstrumentState(); }

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// "model number" (blank or comma after the model) into its two parts.
bool parseReInit(const std::string& text, std::string& model, int& number) {
    const std::string s = lowerAscii(text);
    std::size_t pos = s.find_first_not_of(' ');
    if (pos == std::string::npos) return false;
    const std::size_t sep = s.find_first_of(" ,", pos);
    if (sep == std::string::npos) return false;
    model = s.substr(pos, sep - pos);
    pos = s.find_first_not_of(' ', sep + 1);
    if (pos == std::string::npos) return false;
    std::size_t end = s.find_last_not_of(' ');
    std::string digits = s.substr(pos, end - pos + 1);
    std::size_t i = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
    if (i == digits.size() || digits.size() - i > 9) return false;
    for (std::size_t k = i; k < digits.size(); ++k)
        if (digits[k] < '0' || digits[k] > '9') return false;
    number = std::stoi(digits);
    return true;
}

}  // namespace

TcPrbr::TcPrbr() {
    MarkDirectChannelClosed();
    state().ResetFor(this);
    SetSelParam(noDefine);
}

TcPrbr::~TcPrbr() {
    m_timer.reset();
    InstrumentState& st = state();
    BusyClaim claim(st);
    bool closeSet = false;
    {
        Guard guard(st.lock);
        // The set is released by the component that opened it, even when its
        // OpenPribor was cleared first (as every orderly close does): the
        // ports must not outlive the component.
        closeSet = st.opener == this;
        if (closeSet) st.opened = false;
        if (st.current == this) st.current = nullptr;
        if (st.opener == this) st.opener = nullptr;
    }
    m_worker.reset();
    if (closeSet) TheModuleSet().CloseModuleSet();
}

TNotifyEvent TcPrbr::OnGet() const {
    Guard guard(state().lock);
    return m_onGet;
}
void TcPrbr::SetOnGet(TNotifyEvent handler) {
    Guard guard(state().lock);
    m_onGet = std::move(handler);
}
TNotifyEvent TcPrbr::OnSet() const {
    Guard guard(state().lock);
    return m_onSet;
}
void TcPrbr::SetOnSet(TNotifyEvent handler) {
    Guard guard(state().lock);
    m_onSet = std::move(handler);
}
TNotifyEvent TcPrbr::OnEndCycl() const {
    Guard guard(state().lock);
    return m_onEndCycl;
}
void TcPrbr::SetOnEndCycl(TNotifyEvent handler) {
    Guard guard(state().lock);
    m_onEndCycl = std::move(handler);
}

bool TcPrbr::OpenPribor() const { return m_openPribor; }

void TcPrbr::SetOpenPribor(bool open) {
    if (open)
        this->open();
    else
        close();
}

void TcPrbr::open() {
    InstrumentState& st = state();
    int interval = 0;
    {
        Guard guard(st.lock);
        interval = st.pollInterval;
    }
    m_timer.reset();
    m_timer = std::make_unique<TickTimer>(interval, [this] { return onTick(); });
    m_pauze = true;

    bool ready = false;
    {
        // The set is rebuilt only between passes of any worker.
        BusyClaim claim(st);
        ModuleSet& set = TheModuleSet();
        std::string path;
        {
            Guard guard(st.lock);
            path = st.pathCfg;
        }
        set.SetPathCfg(path);
        set.OpenModuleSet();
        ready = set.LinksReady();
        Guard guard(st.lock);
        st.opened = ready;
        if (ready) {
            st.opener = this;
            st.current = this;
        }
    }
    if (ready) {
        if (m_worker == nullptr || m_worker->Terminated()) {
            m_worker.reset();
            m_worker = std::make_unique<TWorkThread>(st, TheModuleSet(), m_priority);
        }
        m_openPribor = true;
    }
}

void TcPrbr::close() {
    m_timer.reset();
    InstrumentState& st = state();
    Guard guard(st.lock);
    if (st.opened) st.opened = false;
    m_openPribor = false;
    st.changed.notify_all();
}

std::optional<int> TcPrbr::onTick() {
    InstrumentState& st = state();
    Guard guard(st.lock);
    st.tick = true;
    st.changed.notify_all();
    if (!st.intervalChanged) return std::nullopt;
    st.intervalChanged = false;
    return st.pollInterval;
}

bool TcPrbr::Pauze() const { return m_pauze; }

void TcPrbr::SetPauze(bool pause) {
    m_pauze = pause;
    Guard guard(state().lock);
    state().pause = pause;
    state().changed.notify_all();
}

int TcPrbr::MinTime() const { return m_minTime; }

void TcPrbr::SetMinTime(int ms) {
    m_minTime = ms;
    Guard guard(state().lock);
    state().pollInterval = ms;
    state().intervalChanged = true;
}

const std::string& TcPrbr::ReInit() const { return m_reInit; }

void TcPrbr::SetReInit(const std::string& text) {
    m_reInit = "Err";
    std::string model;
    int number = 0;
    if (!parseReInit(text, model, number)) return;
    int result = -1;
    {
        BusyClaim claim(state());
        result = TheModuleSet().ReloadModule(model, number);
    }
    if (result == 0) m_reInit = "Ok";
}

const std::string& TcPrbr::sParam() const { return m_sParam; }

void TcPrbr::SetsParam(const std::string& text) {
    m_sParam = text;
    m_nParam = m_words.Split(text);
}

int TcPrbr::nParam() const { return m_nParam; }

void TcPrbr::SetnParam(int n) {
    m_nParam = n;
    m_sParam = m_words.Word(n);
}

TESelParam TcPrbr::SelParam() const { return m_selParam; }

void TcPrbr::SetSelParam(TESelParam value) {
    m_selParam = value;
    const int word = SelectedWord(value, m_words.Word(1));
    m_sParam = m_words.Word(word);
}

TThreadPriority TcPrbr::Priority() const { return m_priority; }
void TcPrbr::SetPriority(TThreadPriority priority) { m_priority = priority; }

std::string TcPrbr::sGet() const {
    Guard guard(state().lock);
    return m_sGet;
}
void TcPrbr::SetsGet(const std::string& text) {
    Guard guard(state().lock);
    m_sGet = text;
}

std::string TcPrbr::sSet() const {
    Guard guard(state().lock);
    return m_sSet;
}
void TcPrbr::SetsSet(const std::string& text, bool freeRequest) {
    InstrumentState& st = state();
    Guard guard(st.lock);
    m_sSet = text;
    m_sSetFree = freeRequest;
    ++m_setGeneration;
    ++st.commandGeneration;
    st.changed.notify_all();
}

const std::string& TcPrbr::PathCfg() const { return m_pathCfg; }

void TcPrbr::SetPathCfg(const std::string& path) {
    m_pathCfg = path;
    if (!m_pathCfg.empty() && m_pathCfg.back() != '/' && m_pathCfg.back() != '\\') m_pathCfg += '/';
    Guard guard(state().lock);
    state().pathCfg = m_pathCfg;
}

void TcPrbr::SuspendWorker() {
    if (m_worker) m_worker->Terminate();
}

long TcPrbr::CycleCount() const { return m_worker ? m_worker->CycleCount() : 0; }

// The command layer's hooks.

void PublishReply(const std::string& line) {
    InstrumentState& st = state();
    TcPrbr* component = nullptr;
    TNotifyEvent onGet;
    {
        Guard guard(st.lock);
        component = st.current;
        if (component == nullptr) return;
        component->m_sGet = line;
        onGet = component->m_onGet;
    }
    if (onGet) onGet(*component);
}

void TakeCommand() {
    InstrumentState& st = state();
    TcPrbr* component = nullptr;
    std::string command;
    std::uint64_t generation = 0;
    bool freeRequest = false;
    {
        Guard guard(st.lock);
        component = st.current;
        if (component == nullptr || component->m_sSet.empty()) return;
        command = component->m_sSet;
        generation = component->m_setGeneration;
        freeRequest = component->m_sSetFree;
    }
    // A command whose number words do not convert still counts as consumed.
    // Anything else (memory exhausted) leaves the command to the next pass;
    // the worker's own guard keeps it from ending the thread.
    try {
        const FreeRequests marked(freeRequest);
        ExecCommand(TheModuleSet(), command);
    } catch (const CommandConvertError&) {
    }
    TNotifyEvent onSet;
    {
        Guard guard(st.lock);
        if (st.current != component) return;
        // A command written meanwhile (against the rules) is kept, not lost.
        if (component->m_setGeneration == generation) component->m_sSet.clear();
        onSet = component->m_onSet;
    }
    if (onSet) onSet(*component);
}

void SignalEndOfCycle() {
    InstrumentState& st = state();
    TcPrbr* component = nullptr;
    TNotifyEvent onEnd;
    {
        Guard guard(st.lock);
        component = st.current;
        if (component == nullptr) return;
        onEnd = component->m_onEndCycl;
    }
    if (onEnd) onEnd(*component);
}

}  // namespace yukt
