#pragma once
// The instrument component: the application hands it one text command at a
// time in sSet; its worker thread executes the command against the module
// set and reports back through events — OnGet for every reply line (then in
// sGet), OnSet when the command has been consumed, OnEndCycl after every
// poll cycle. The events run in the worker thread.
//
// The command path is process-wide: one module set, one open/closed state,
// and the pending command of the most recently created component. Several
// components may exist (short-lived ones for direct access).
//
// Expected order of use: construct; set OnGet/OnSet (and OnEndCycl); set
// MinTime and PathCfg; set OpenPribor true; set Pauze as wanted; then write
// one command at a time into sSet, the next one from OnSet or after it.
// Opening, ReInit and destruction wait until the worker is between passes:
// they must not be called from the component's own events.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "instrument/sel_param.h"

namespace yukt {

class TcPrbr;
class TWorkThread;
class TickTimer;

using TNotifyEvent = std::function<void(TcPrbr& sender)>;

enum class TThreadPriority {
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

class TcPrbr {
  public:
    TcPrbr();
    // Stops the tick timer and the worker; when this component holds the
    // module set open, waits for the running pass to end and closes the set.
    // Must not be called from one of the component's own events.
    ~TcPrbr();
    TcPrbr(const TcPrbr&) = delete;
    TcPrbr& operator=(const TcPrbr&) = delete;

    // Events, fired in the worker thread.
    TNotifyEvent OnGet() const;
    void SetOnGet(TNotifyEvent handler);
    TNotifyEvent OnSet() const;
    void SetOnSet(TNotifyEvent handler);
    TNotifyEvent OnEndCycl() const;
    void SetOnEndCycl(TNotifyEvent handler);

    // True opens the module set from PathCfg and starts the worker; it stays
    // false when the link configuration cannot be used. False closes.
    bool OpenPribor() const;
    void SetOpenPribor(bool open);

    // True: no poll cycle runs; commands are still served.
    bool Pauze() const;
    void SetPauze(bool pause);

    // Interval of the tick timer in ms; a change reaches a running timer at
    // its next tick.
    int MinTime() const;
    void SetMinTime(int ms);

    // "model number", e.g. "745t 2": re-reads that module's configuration
    // line; reads back "Ok" or "Err". Waits until the worker is between
    // passes.
    const std::string& ReInit() const;
    void SetReInit(const std::string& text);

    // Reply-line parser: sParam splits a line into words, nParam and
    // SelParam put one of them back into sParam.
    const std::string& sParam() const;
    void SetsParam(const std::string& text);
    int nParam() const;
    void SetnParam(int n);
    TESelParam SelParam() const;
    void SetSelParam(TESelParam value);

    // Takes effect when the worker is next created.
    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority priority);

    // Handed over whole between the threads.
    std::string sGet() const;
    void SetsGet(const std::string& text);
    std::string sSet() const;
    // `freeRequest`: the command is a repeated wait-poll (a page's poll
    // while the operator is away); its requests are marked free in the
    // traffic trace.
    void SetsSet(const std::string& text, bool freeRequest = false);

    // Directory of the configuration files; "/" is appended when the text
    // ends in neither "/" nor "\" (an empty text stays empty).
    const std::string& PathCfg() const;
    void SetPathCfg(const std::string& path);

    // The worker stops after its current pass and starts no further one.
    void SuspendWorker();
    // Poll cycles completed by the current worker (0 without one).
    long CycleCount() const;

    // Direct access to one module address, outside the module set.
    int ChannelState(int baseAddr, int comNumber);
    bool OpenDirect(int baseAddr, int resonator, int moduleAddr, int comNumber, int baud);
    // Why the last OpenDirect of a COM port failed, with the reason the port
    // layer knows ("COM 1  занят: нет доступа к /dev/ttyS0 (нужна группа
    // dialout)"); empty if unknown.
    std::string DirectOpenError() const;
    void CloseDirect();
    std::string ReadIdent();
    int ResetModule();
    std::optional<std::uint8_t> ReadFlashByte(int cell);
    bool WriteFlashByte(int cell, std::uint8_t value);
    int ReadModuleAddress();
    bool WriteModuleAddress(int address);
    double ReadParam(int n);
    double ReadCoef(int n);
    bool WriteCoef(int n, double value);
    // The writes above write every cell first, then read each back and write
    // again one that does not read back (twice at most). They are true when
    // every cell confirmed; otherwise these name the cells that never did
    // (cell numbers in write order; the text is empty when all confirmed).
    std::vector<int> UnconfirmedFlashCells();
    std::string UnconfirmedFlashText();

  private:
    friend void PublishReply(const std::string& line);
    friend void TakeCommand();
    friend void SignalEndOfCycle();

    void open();
    void close();
    std::optional<int> onTick();

    TNotifyEvent m_onGet;
    TNotifyEvent m_onSet;
    TNotifyEvent m_onEndCycl;
    bool m_openPribor = false;
    bool m_pauze = true;
    int m_minTime = 170;
    std::string m_reInit;
    std::string m_sParam;
    int m_nParam = 0;
    TESelParam m_selParam = noDefine;
    TThreadPriority m_priority = TThreadPriority::tpNormal;
    std::string m_sGet;
    std::string m_sSet;
    // Bumped by every write to sSet, so that the worker clears only the
    // command it took and wakes for every new one.
    std::uint64_t m_setGeneration = 0;
    bool m_sSetFree = false;
    std::string m_pathCfg = "./";
    WordTable m_words;
    std::unique_ptr<TickTimer> m_timer;
    std::unique_ptr<TWorkThread> m_worker;
};

// The command layer's way back to the current component (each does nothing
// when there is none). They run in the worker thread.
//
// Stores the line in sGet, then fires OnGet.
void PublishReply(const std::string& line);
// Executes the pending sSet, if any, then clears it and fires OnSet.
void TakeCommand();
// Fires OnEndCycl.
void SignalEndOfCycle();

}  // namespace yukt
