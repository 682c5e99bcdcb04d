#pragma once
// Simulated link boards behind the I/O-port interface, built from the
// boards' register and controller maps. Each board line has a far end that
// the test drives: bytes it queues reach the board's receiver, bytes the
// board transmits are recorded and may trigger a reaction.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/io_ports.h"

namespace yukt::test {

struct BoardLine {
    std::deque<std::uint8_t> toBoard;  // waiting to be received by the board
    std::vector<std::uint8_t> sent;    // transmitted by the board
    std::function<void(BoardLine&, std::uint8_t)> onByte;
    int inits = 0;

    void queue(const std::vector<std::uint8_t>& bytes) {
        toBoard.insert(toBoard.end(), bytes.begin(), bytes.end());
    }
};

// Register board: four groups of four registers at base + 4g; commands in the
// low nibble of writes, state in the high nibble of reads.
class RegisterBoardSim final : public IoPorts {
  public:
    explicit RegisterBoardSim(std::uint16_t base) : m_base(base) {}

    BoardLine line[17];     // 1..16
    bool installed = true;  // false: nothing answers at the base
    bool refuseAccess = false;
    bool sendError = false;  // every send reports result 8
    bool ignoreDivisor = false;
    int unstableReads = 0;      // that many status reads return garbage first
    int divisor = -1;           // last value of the divisor command
    std::vector<int> commands;  // command codes written, in order

  private:
    struct Group {
        std::uint8_t lineSel = 0, status = 0, result = 0, rxLo = 0, rxHi = 0, txLo = 0, txHi = 0;
    };
    bool doAcquire(std::uint16_t base, int count, std::string& error) override;
    std::uint8_t doIn(std::uint16_t port) override;
    void doOut(std::uint16_t port, std::uint8_t value) override;
    void command(int g, std::uint8_t c);

    std::uint16_t m_base;
    Group m_group[4];
    unsigned m_noise = 0;
};

// Controller board: line n has a status/data port at base + 2(n - 1) and the
// received byte at the next port. Its controller answers 171, code, 10.
class ControllerBoardSim final : public IoPorts {
  public:
    explicit ControllerBoardSim(std::uint16_t base) : m_base(base) {}

    BoardLine line[17];
    std::string identText = "6606K";
    bool answersIdent = true;
    bool busy = false;                                       // transmitter never gets ready
    std::vector<int> speedValue = std::vector<int>(17, -1);  // per line, from command 3

  private:
    bool doAcquire(std::uint16_t, int, std::string&) override { return true; }
    std::uint8_t doIn(std::uint16_t port) override;
    void doOut(std::uint16_t port, std::uint8_t value) override;

    std::uint16_t m_base;
    std::vector<std::uint8_t> m_cmd[17];   // controller command being collected
    std::deque<std::uint8_t> m_reply[17];  // controller answers, before line bytes
};

}  // namespace yukt::test
