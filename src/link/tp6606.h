#pragma once
// Ttp6606: one link object per link board (ЮКТ-6606, four or sixteen Link
// lines through I/O ports) or per COM port with a line adapter. It moves
// single bytes with time-outs, sets the line speed, opens and closes its
// device, and exchanges binary and text frames with the modules on a line.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/byte_transport.h"
#include "link/com_port.h"
#include "link/line_use.h"

namespace yukt {

class IoPorts;

// A module answers a byte within this time or not at all; the same limit
// holds on every medium so that a missing module costs the same everywhere.
constexpr std::chrono::milliseconds kByteTimeout{300};
// Line initialisation and speed confirmation on a board take longer.
constexpr std::chrono::milliseconds kBoardSettle{600};
// A lost COM line is tried again this often: soon enough that a returning
// device answers within a second, rarely enough to cost nothing meanwhile.
constexpr std::chrono::milliseconds kReopenInterval{1000};
// A device server that keeps failing is tried less and less often, down to
// this: each try is a connection attempt on someone's network.
constexpr std::chrono::milliseconds kReopenIntervalMax{30000};

constexpr int kBufSize = 256;
constexpr std::uint8_t kLf = 10;

class Ttp6606 {
  public:
    Ttp6606();
    ~Ttp6606();
    Ttp6606(const Ttp6606&) = delete;
    Ttp6606& operator=(const Ttp6606&) = delete;

    // ---- settings -------------------------------------------------------
    // Base address $100,$108,$110,$118,$300,$308,$310,$318; others -> $300.
    void SetBaseAddr(int address);
    int BaseAddrCode() const { return m_baseCode; }
    int BaseAddress() const;
    // 1..4, others ignored.
    void SetBoardNumber(int n);
    int BoardNumber() const { return m_boardNumber; }
    // 1000000..32000000 Hz, else ErrorText says so and the value stays.
    void SetCrystal(int hz);
    int Crystal() const { return m_crystal; }
    // Baud rate to BaudCode (rate div 100 = 12, 24, 96, 192, 384, 576, 1152;
    // anything else 4800).
    void SetSpeed(int baud);
    int BaudCode() const { return m_baudCode; }
    int Speed() const;  // baud rate of BaudCode
    // 0..3 = COM1..COM4, 4 = a board; others ignored.
    void SetComIndex(int index);
    int ComIndex() const { return m_comIndex; }
    // 1..4 for a COM link, else 0.
    int ComNumber() const { return m_comIndex < 4 ? m_comIndex + 1 : 0; }
    // 1..16, others ignored.
    void SetLine(int line);
    int Line() const { return m_line; }
    // 0..255, others ignored.
    void SetAddr(int addr);
    int Addr() const { return m_addr; }
    // 0..7, others ignored.
    void SetStringCmd(int cmd);
    int StringCmd() const { return m_stringCmd; }
    // Board lines that carry modules (board probe, controller speed).
    void SetLineUse(const LineUseMap* lineUse) { m_lineUse = lineUse; }

    bool SmartBoard() const { return m_smartBoard; }
    bool BoardOpen() const { return m_boardOpen; }
    bool ComOpen() const { return m_comOpen; }
    bool IsOpen() const { return m_isOpen; }
    // The COM link is open but its far end went away; exchanges fail at once
    // and the port is reopened at most once a second.
    bool LineLost() const { return m_comOpen && !m_com; }
    int ZeroCount() const { return m_zeroCount; }
    static const char* Description() { return "Cвязь PC с модулями ЮКТ (ЮКТ-6606)"; }

    // ---- device ---------------------------------------------------------
    // Opens (true) or closes (false) the board or COM port of ComIndex.
    void OpenLink(bool on);
    // The same for direct access to one module: the board probe looks at
    // line 1 only and a controller board's speed is set on the current line.
    void OpenLinkDirect(bool on);

    // Board: 0 ok, -1 time-out, -2 board error. COM: 1 ok, -1 time-out.
    int SendByte(int line, std::uint8_t b);
    // 0..255, or -1 (time-out, line break).
    int RecvByte(int line);
    // Board line speed: 0, -1 (not confirmed), -2 (bad parameters).
    int SetBaud(int line, int baud, int crystal);
    static void WaitPump(int ms);

    // Board identification text of a controller board line ("" if none).
    std::string BoardIdent(int line);

    // ---- frames ---------------------------------------------------------
    // Sends Buf[0..dataLen-1] as a binary frame; the result of the last
    // byte sent. dataLen must be 0..254 (LEN is dataLen + 1 in one byte);
    // otherwise nothing is sent and the result is -1.
    int SendFrame(int line, int addr, int dataLen, int cmd);
    int SendCmd(int line, int addr, int cmd);
    // 0 accepted, -3 refused (status bit 3 clear), -1 no/broken frame.
    // Data in Buf, count in RecvLen. ErrCount counts every non-zero result.
    // With Attempts() above 1, a request that got no frame, a torn one or
    // one with a bad sum is sent again (the line re-synchronised first) up
    // to that many times in all; a refusal is the module's answer and is
    // never repeated.
    int ReceiveFrame(int line);
    // Attempts per exchange of this link; a link not given its own follows
    // the process-wide default, read at each exchange (1: one attempt, as
    // the line protocol has it).
    void SetAttempts(int n) { m_attempts = n < 1 ? 1 : n; }
    int Attempts() const { return m_attempts > 0 ? m_attempts : DefaultAttempts(); }
    static void SetDefaultAttempts(int n);
    static int DefaultAttempts();
    // The result of the last ReceiveFrame (after its repetitions): -1 means
    // the line failed, not the module.
    int LastReceive() const { return m_lastReceive; }
    // Identification (command 7): up to 8 characters, "?" without a reply,
    // "" when refused or not open. Also kept in LastIdent.
    std::string ReadIdent();
    // Reset (command 0): 0, -1, -3, with ErrorText.
    int ResetModule();
    // Text frames carry UTF-8 texts here, Windows-1251 on the line.
    void SendText(const std::string& s);
    std::string ReceiveText();
    // Binary frame data as a byte string (no conversion), command StringCmd.
    void SendString(const std::string& bytes);
    std::string ReceiveString();

    // ---- frame data and results -----------------------------------------
    std::uint8_t Buf[kBufSize] = {};
    int RecvLen = 0;
    int ErrCount = 0;
    std::string ErrorText;
    // Why the COM port did not open or the line was lost, as the operator
    // reads it beside ErrorText ("нет доступа к /dev/ttyS0 (нужна группа
    // dialout)"); empty when the port is fine.
    std::string ErrorReason;
    // ErrorText and, when known, ": " and ErrorReason: what the operator reads.
    std::string ErrorMessage() const {
        return ErrorReason.empty() ? ErrorText : ErrorText + ": " + ErrorReason;
    }
    // Bytes found waiting before a request (late replies) and dropped.
    std::size_t StaleBytes = 0;
    std::string LastIdent;
    std::string LastSent;
    // Last stable status nibbles of registers +0, +1, +2, +3 (register board).
    std::uint8_t Status[4] = {};

  private:
    void openLink(bool on, bool direct);
    void openBoard(bool direct);
    void openCom();
    void closeCom();
    void recomputeOpen() { m_isOpen = m_boardOpen || m_comOpen; }
    bool isBoard() const { return m_comIndex == 4; }
    // Repeats the board receive of a line for up to the byte time-out.
    int boardRecv(int line);
    // What a controller board passes on from a line; other bytes are noise.
    static bool isLineByte(int b);
    // Crystal / perBit / baud, rounded up from a fraction above one half.
    static int divisor(double crystal, double perBit, int baud);
    // Sends one prepared text or binary frame: byte by byte on a board,
    // in one write on a COM link.
    int sendBytes(int line, const std::uint8_t* bytes, std::size_t count);
    // COM link: the port; null while the line is gone. A lost port is
    // opened again step by step between exchanges (StartComOpening, then one
    // look per call), never with a wait.
    ByteTransport* liveCom();
    void reopenFailed(std::chrono::steady_clock::time_point now);
    // Closes a port whose far end is gone; the link stays logically open.
    void checkLost();
    // Drops a late reply before a new request goes out (COM links).
    void dropStaleInput();
    // A whole frame in one write: 1 sent, -1 not.
    int sendComBytes(const std::uint8_t* bytes, std::size_t count);
    // A byte already waiting on the COM line, -1 none, -2 line gone.
    int comPeek();

    // Register board (i = 0-based line).
    std::uint16_t groupRegister(int i) const;
    int readStatus(std::uint16_t r);
    int waitStatus(std::uint16_t r, int command, std::chrono::milliseconds limit);
    int selectLine(int i);
    int initLine(int i);
    int regSend(int i, std::uint8_t b);
    // Byte, -1 time-out, -2 no byte waiting.
    int regRecv(int i);
    int regSetBaud(int line, int baud, int crystal);

    // Controller board (line = 1-based).
    std::uint16_t portOfLine(int line) const;
    bool ctlSend(int line, std::uint8_t b);
    // Byte, or -2 when none is waiting.
    int ctlRecvOnce(int line);
    // Byte, or -1 when none came within the byte time-out.
    int ctlRecv(int line);
    bool ctlCommand(int line, std::uint8_t code);
    int ctlSetBaud(int line, int baud, int crystal);
    void drain(int line);

    // One frame receive, no repetition.
    int receiveOnce(int line);

    int m_attempts = 0;  // 0: the process-wide default
    int m_lastReceive = 0;
    std::vector<std::uint8_t> m_lastFrame;  // the last request, for a repetition
    int m_lastFrameLine = 0;
    int m_baseCode = 4;
    int m_boardNumber = 1;
    int m_crystal = 10994000;
    int m_baudCode = 2;
    int m_comIndex = 4;
    int m_line = 1;
    int m_addr = 1;
    int m_stringCmd = 0;
    bool m_smartBoard = false;
    bool m_boardOpen = false;
    bool m_comOpen = false;
    bool m_isOpen = false;
    bool m_direct = false;
    int m_zeroCount = 0;
    const LineUseMap* m_lineUse = nullptr;
    std::unique_ptr<ByteTransport> m_com;
    std::chrono::steady_clock::time_point m_nextReopen{};
    std::chrono::milliseconds m_reopenInterval = kReopenInterval;
    std::unique_ptr<ComOpening> m_reopening;
    std::shared_ptr<IoPorts> m_ports;
};

}  // namespace yukt
