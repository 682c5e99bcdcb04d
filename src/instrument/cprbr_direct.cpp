// Direct access of the instrument component: one module address on the
// process-wide private channel, outside the module set — identification,
// reset, and the module's own FLASH (address, parameters, coefficients).

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/module_ids.h"
#include "common/text.h"
#include "instrument/cprbr.h"
#include "instrument/direct_channel.h"
#include "instrument/flash_values.h"
#include "instrument/module_set.h"
#include "link/com_port.h"
#include "link/io_ports.h"
#include "link/tp6606.h"

namespace yukt {
namespace {

constexpr int kFlashCommand = ids::kIdentCommand;
constexpr std::uint8_t kFlashReadFlag = ids::kFlashReadTag;
constexpr int kFlashCells = ids::kFlashSize;
constexpr int kParamChars = ids::kParamLength;
constexpr int kCoefBytes = ids::kCoefLength;

constexpr double kParamUnset = -1;
constexpr double kCoefUnset = -0.5;

// The "not set" mark of a coefficient relies on this: a value written with
// the parameter masks must fail the copy comparison when it is read with the
// coefficient masks.
static_assert((ids::kMaskM[0] ^ ids::kMaskN[0]) != (ids::kMaskM[1] ^ ids::kMaskN[1]) &&
                  (ids::kMaskM[0] ^ ids::kMaskN[0]) != (ids::kMaskM[2] ^ ids::kMaskN[2]) &&
                  (ids::kMaskM[1] ^ ids::kMaskN[1]) != (ids::kMaskM[2] ^ ids::kMaskN[2]),
              "copies written with the parameter masks must disagree under the coefficient masks");

bool isCom(int comNumber) { return comNumber >= 1 && comNumber <= 4; }
bool isBoardChannel(int comNumber) { return comNumber >= 5 && comNumber <= 20; }
// Line of a board channel as the module set numbers it: four per board.
int moduleSetLine(int comNumber) { return (comNumber - 1) % 4 + 1; }

// A link object takes any other base address as $300.
int boardBase(int baseAddr) {
    for (int base : {0x100, 0x108, 0x110, 0x118, 0x300, 0x308, 0x310, 0x318})
        if (base == baseAddr) return base;
    return 0x300;
}

// Ports a board occupies from its base address.
constexpr int kBoardPortCount = 32;

LinkTable& moduleSetLinks() { return TheModuleSet().Context().Links; }

// Entry of the module set's link table that serves this COM number, 0 if
// none does.
int linkServing(int baseAddr, int comNumber) {
    LinkTable& links = moduleSetLinks();
    if (isCom(comNumber)) {
        if (!links.ComPortInUse(comNumber)) return 0;
        int i = links.FindCom(comNumber);
        Ttp6606* link = links.Entry(i);
        return link != nullptr && link->IsOpen() ? i : 0;
    }
    if (!links.BoardLineInUse(baseAddr, moduleSetLine(comNumber))) return 0;
    for (int i = 1; i <= 4; ++i) {
        Ttp6606* link = links.Entry(i);
        if (link != nullptr && link->ComIndex() == 4 && link->IsOpen() &&
            link->BaseAddress() == boardBase(baseAddr))
            return i;
    }
    return 0;
}

// A controller board answers the identification request on its first line.
bool boardAnswers(int baseAddr) {
    std::string why;
    if (!CurrentIoPorts()->acquire(static_cast<std::uint16_t>(boardBase(baseAddr)), kBoardPortCount,
                                   why))
        return false;
    Ttp6606 probe;
    probe.SetBaseAddr(baseAddr);
    return !probe.BoardIdent(1).empty();
}

int channelState(DirectChannel& ch, int baseAddr, int comNumber) {
    if (!isCom(comNumber) && !isBoardChannel(comNumber)) return 255;
    if (linkServing(baseAddr, comNumber) != 0) return 1;
    if (ch.Open && ch.BorrowedLink == 0 && ch.ComNumber == comNumber &&
        (isCom(comNumber) || boardBase(ch.BaseAddr) == boardBase(baseAddr)))
        return 3;
    // A port the own object still holds from a job that was cut short by
    // the construction of a component is let go before the probe.
    if (ch.Own && ch.Own->IsOpen() && !ch.Open) ch.Own->OpenLinkDirect(false);
    if (isCom(comNumber)) return ComPortExists(comNumber) ? 0 : 2;
    return boardAnswers(baseAddr) ? 0 : 4;
}

void closeDirect(DirectChannel& ch) {
    if (ch.Open && ch.BorrowedLink == 0 && ch.Own) ch.Own->OpenLinkDirect(false);
    ch.Open = false;
    ch.BorrowedLink = 0;
}

// One FLASH request; the reply's data, or nothing when no frame came back.
std::optional<std::string> flashRequest(Ttp6606& link, const std::string& request) {
    link.SetStringCmd(kFlashCommand);
    link.SendString(request);
    if (!link.ErrorText.empty()) return std::nullopt;
    std::string reply = link.ReceiveString();
    if (reply.empty()) return std::nullopt;
    return reply;
}

std::optional<std::uint8_t> readFlashByte(DirectChannel& ch, int cell) {
    Ttp6606* link = ch.Link();
    if (link == nullptr || cell < 0 || cell >= kFlashCells) return std::nullopt;
    std::string request{static_cast<char>(kFlashReadFlag + cell / 256),
                        static_cast<char>(cell % 256)};
    std::optional<std::string> reply = flashRequest(*link, request);
    if (!reply) return std::nullopt;
    return static_cast<std::uint8_t>((*reply)[0]);
}

// Sends one write; its reply carries nothing and is discarded.
bool sendFlashWrite(DirectChannel& ch, int cell, std::uint8_t value) {
    Ttp6606* link = ch.Link();
    if (link == nullptr || cell < 0 || cell >= kFlashCells) return false;
    std::string request{static_cast<char>(cell / 256), static_cast<char>(cell % 256),
                        static_cast<char>(value)};
    flashRequest(*link, request);
    return true;
}

// A module may take a moment before a written cell reads back; a cell that
// still does not is written again this many times.
constexpr int kFlashRewrites = 2;

struct FlashCell {
    int cell;
    std::uint8_t value;
};

// Writes every cell in the given order with no read in between, so that the
// copies of an item are all written even when one of them fails, then reads
// every cell back, writing a cell that does not read back again. Returns the
// cells that never confirmed; they are also kept on the channel.
std::vector<int> writeFlashCells(DirectChannel& ch, const std::vector<FlashCell>& cells) {
    ch.UnconfirmedCells.clear();
    for (const FlashCell& c : cells) sendFlashWrite(ch, c.cell, c.value);
    for (const FlashCell& c : cells) {
        bool confirmed = false;
        for (int attempt = 0; !confirmed && attempt <= kFlashRewrites; ++attempt) {
            if (attempt > 0) sendFlashWrite(ch, c.cell, c.value);
            std::optional<std::uint8_t> stored = readFlashByte(ch, c.cell);
            confirmed = stored && *stored == c.value;
        }
        if (!confirmed) ch.UnconfirmedCells.push_back(c.cell);
    }
    return ch.UnconfirmedCells;
}

std::optional<std::string> readCopy(DirectChannel& ch, int firstCell, int count,
                                    std::uint8_t mask) {
    std::string copy;
    for (int i = 0; i < count; ++i) {
        std::optional<std::uint8_t> b = readFlashByte(ch, firstCell + i);
        if (!b) return std::nullopt;
        copy.push_back(static_cast<char>(*b ^ mask));
    }
    return copy;
}

// The three decoded copies of an item, or nothing when a read failed or the
// copies disagree.
std::optional<std::string> readTripleCopy(DirectChannel& ch, const std::array<int, 3>& cells,
                                          int count, const std::array<std::uint8_t, 3>& masks) {
    std::optional<std::string> first;
    for (int k = 0; k < 3; ++k) {
        std::optional<std::string> copy = readCopy(ch, cells[k], count, masks[k]);
        if (!copy) return std::nullopt;
        if (!first)
            first = copy;
        else if (*copy != *first)
            return std::nullopt;
    }
    return first;
}

std::array<int, 3> paramCells(int n) {
    return {ids::paramCell(1, n), ids::paramCell(2, n), ids::paramCell(3, n)};
}

std::array<int, 3> coefCells(int n) {
    return {ids::coefCell(1, n), ids::coefCell(2, n), ids::coefCell(3, n)};
}

}  // namespace

int TcPrbr::ChannelState(int baseAddr, int comNumber) {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    return channelState(ch, baseAddr, comNumber);
}

bool TcPrbr::OpenDirect(int baseAddr, int resonator, int moduleAddr, int comNumber, int baud) {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    if (!isCom(comNumber) && !isBoardChannel(comNumber)) return false;

    if (channelState(ch, baseAddr, comNumber) == 1) {
        closeDirect(ch);
        int entry = linkServing(baseAddr, comNumber);
        Ttp6606& link = *moduleSetLinks().Entry(entry);
        link.SetSpeed(baud);
        if (isBoardChannel(comNumber)) {
            link.SetCrystal(resonator);
            link.SetLine(moduleSetLine(comNumber));
            link.SetBaud(link.Line(), link.Speed(), link.Crystal());
        }
        link.SetAddr(moduleAddr);
        ch.BorrowedLink = entry;
    } else {
        closeDirect(ch);
        if (!ch.Own) ch.Own = std::make_unique<Ttp6606>();
        Ttp6606& link = *ch.Own;
        link.SetBaseAddr(baseAddr);
        link.SetCrystal(resonator);
        link.SetSpeed(baud);
        link.SetAddr(moduleAddr);
        if (isCom(comNumber)) {
            link.SetComIndex(comNumber - 1);
        } else {
            link.SetComIndex(4);
            link.SetBoardNumber((comNumber - 5) / 4 + 1);
            link.SetLine(comNumber - 4);
        }
        link.OpenLinkDirect(true);
    }
    ch.BaseAddr = baseAddr;
    ch.Resonator = resonator;
    ch.Baud = baud;
    ch.ComNumber = comNumber;
    ch.ModuleAddr = moduleAddr;
    Ttp6606* link = ch.BorrowedLink != 0 ? moduleSetLinks().Entry(ch.BorrowedLink) : ch.Own.get();
    ch.Open = link != nullptr && link->IsOpen();
    if (!ch.Open) ch.BorrowedLink = 0;
    return ch.Open;
}

std::string TcPrbr::DirectOpenError() const {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    if (!ch.Own || ch.Own->ComNumber() == 0 || ch.Own->ErrorReason.empty()) return "";
    return "COM " + std::to_string(ch.Own->ComNumber()) + "  занят: " + ch.Own->ErrorReason;
}

void TcPrbr::CloseDirect() {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    closeDirect(ch);
}

std::string TcPrbr::ReadIdent() {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    Ttp6606* link = ch.Link();
    return link != nullptr ? link->ReadIdent() : std::string();
}

int TcPrbr::ResetModule() {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    Ttp6606* link = ch.Link();
    return link != nullptr ? link->ResetModule() : -1;
}

std::optional<std::uint8_t> TcPrbr::ReadFlashByte(int cell) {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    return readFlashByte(ch, cell);
}

bool TcPrbr::WriteFlashByte(int cell, std::uint8_t value) {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    ch.UnconfirmedCells.clear();
    if (cell < 0 || cell >= kFlashCells) return false;
    return writeFlashCells(ch, {{cell, value}}).empty();
}

int TcPrbr::ReadModuleAddress() {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    std::optional<std::uint8_t> first;
    for (int cell : ids::kAddressCells) {
        std::optional<std::uint8_t> b = readFlashByte(ch, cell);
        if (!b) return -1;
        if (!first)
            first = b;
        else if (*b != *first)
            return -1;
    }
    return *first;
}

bool TcPrbr::WriteModuleAddress(int address) {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    ch.UnconfirmedCells.clear();
    // A failed address read (-1) must never land in FLASH as 255.
    if (address < 0 || address > 255) return false;
    std::vector<FlashCell> cells;
    for (int cell : ids::kAddressCells) cells.push_back({cell, static_cast<std::uint8_t>(address)});
    return writeFlashCells(ch, cells).empty();
}

double TcPrbr::ReadParam(int n) {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    if (n < 1 || n > ids::kParamCount) return kParamUnset;
    std::optional<std::string> text = readTripleCopy(ch, paramCells(n), kParamChars, ids::kMaskM);
    if (!text) return kParamUnset;
    return FlashParamValue(*text).value_or(kParamUnset);
}

double TcPrbr::ReadCoef(int n) {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    if (n < 1 || n > ids::kCoefCount) return kCoefUnset;
    std::optional<std::string> bytes = readTripleCopy(ch, coefCells(n), kCoefBytes, ids::kMaskN);
    if (!bytes) return kCoefUnset;
    return FlashCoefValue(*bytes).value_or(kCoefUnset);
}

bool TcPrbr::WriteCoef(int n, double value) {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    ch.UnconfirmedCells.clear();
    if (n < 1 || n > ids::kCoefCount) return false;
    std::optional<std::array<std::uint8_t, 4>> bytes = FlashCoefBytes(value);
    if (!bytes) return false;
    // A value without an integer part is written with the parameter masks;
    // read with the coefficient masks it then counts as not set.
    bool zeroWhole = (*bytes)[0] == 0 && (*bytes)[1] == 0;
    const auto& masks = zeroWhole ? ids::kMaskM : ids::kMaskN;
    std::array<int, 3> first = coefCells(n);
    std::vector<FlashCell> cells;
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < kCoefBytes; ++i)
            cells.push_back({first[k] + i, static_cast<std::uint8_t>((*bytes)[i] ^ masks[k])});
    return writeFlashCells(ch, cells).empty();
}

std::vector<int> TcPrbr::UnconfirmedFlashCells() {
    DirectChannel& ch = TheDirectChannel();
    std::lock_guard<std::mutex> lock(ch.Mutex);
    return ch.UnconfirmedCells;
}

std::string TcPrbr::UnconfirmedFlashText() {
    std::string text;
    for (int cell : UnconfirmedFlashCells())
        text += (text.empty() ? "" : ", ") + std::to_string(cell);
    return text.empty() ? text : "FLASH cells not confirmed: " + text;
}

}  // namespace yukt
