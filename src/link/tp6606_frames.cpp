// Binary and text frames of a Link line on top of the byte I/O.

#include <cstring>

#include "common/cp1251.h"
#include "link/attempt_wait.h"
#include "link/frame_codec.h"
#include "link/frame_trace.h"
#include "link/tp6606.h"

namespace yukt {

namespace {

constexpr int kCmdReset = 0;
constexpr int kCmdIdent = 7;
constexpr std::size_t kMaxIdentChars = 8;
constexpr std::size_t kMaxTextCollect = 256;
constexpr std::size_t kMaxTextResult = 255;
constexpr int kMaxExtraTextStart = 3;
// A line that babbles without ever starting a frame would hold the worker
// for good; after this many bytes the receiver gives up as on a time-out.
constexpr int kMaxHuntBytes = 4096;

}  // namespace

int Ttp6606::sendBytes(int line, const std::uint8_t* bytes, std::size_t count) {
    TraceSent(*this, line, bytes, count);
    if (!isBoard()) return sendComBytes(bytes, count);
    int result = -1;
    for (std::size_t i = 0; i < count; ++i) {
        result = SendByte(line, bytes[i]);
        // A port that did not take one byte will not take the rest either;
        // waiting out the time-out for each of them would only stall.
        if (result < 0) break;
    }
    return result;
}

int Ttp6606::SendFrame(int line, int addr, int dataLen, int cmd) {
    if (dataLen < 0 || dataLen > static_cast<int>(kMaxFrameData)) return -1;
    std::vector<std::uint8_t> frame =
        EncodeFrame(addr, cmd, Buf, static_cast<std::size_t>(dataLen));
    dropStaleInput();
    m_lastFrame = frame;
    m_lastFrameLine = line;
    return sendBytes(line, frame.data(), frame.size());
}

int Ttp6606::SendCmd(int line, int addr, int cmd) { return SendFrame(line, addr, 0, cmd); }

int Ttp6606::ReceiveFrame(int line) {
    const auto first = std::chrono::steady_clock::now();
    const int attempts = Attempts();
    int result = receiveOnce(line);
    // A line fault is the line's, not the module's: the request goes again,
    // spread over AttemptSpread() so that a short fault is outlasted, after
    // what is left of a torn or noisy reply has been dropped.
    for (int attempt = 1; result == -1 && attempt < attempts && !m_lastFrame.empty() &&
                          m_lastFrameLine == line && IsOpen();
         ++attempt) {
        const std::chrono::milliseconds spread = AttemptSpread();
        if (spread.count() > 0) WaitForAttempt(first + spread * attempt / (attempts - 1));
        dropStaleInput();
        sendBytes(line, m_lastFrame.data(), m_lastFrame.size());
        result = receiveOnce(line);
    }
    m_lastReceive = result;
    return result;
}

int Ttp6606::receiveOnce(int line) {
    FrameDecoder decoder(Buf);
    ReceptionTrace trace(*this, line);
    int result = -1;
    for (int hunted = 0;;) {
        int b = trace.add(RecvByte(line));
        if (b < 0) break;
        FrameDecoder::Step step = decoder.feed(static_cast<std::uint8_t>(b));
        if (step == FrameDecoder::Step::Frame) {
            result = decoder.accepted() ? 0 : -3;
            trace.end(TraceEnd::Complete);
            break;
        }
        if (step == FrameDecoder::Step::Error) {
            trace.end(TraceEnd::Complete);
            break;
        }
        if (!decoder.lengthKnown() && ++hunted > kMaxHuntBytes) {
            trace.end(TraceEnd::Babble);
            break;
        }
    }
    if (decoder.lengthKnown()) RecvLen = decoder.count();
    if (result != 0) ++ErrCount;
    return result;
}

std::string Ttp6606::ReadIdent() {
    LastIdent.clear();
    if (!IsOpen()) return LastIdent;
    // On a COM link the line plays no part; the COM number stands in for it.
    const int line = isBoard() ? m_line : ComNumber();
    SendCmd(line, m_addr, kCmdIdent);
    const int r = ReceiveFrame(line);
    if (r == -1) {
        LastIdent = "?";
    } else if (r == 0) {
        std::string raw;
        for (int i = 0; i < RecvLen && raw.size() < kMaxIdentChars && Buf[i] != 0; ++i)
            raw += static_cast<char>(Buf[i]);
        LastIdent = Cp1251ToUtf8(raw);
    }
    return LastIdent;
}

int Ttp6606::ResetModule() {
    SendCmd(m_line, m_addr, kCmdReset);
    const int r = ReceiveFrame(m_line);
    if (r == -1) ErrorText = "Команда \"СБРОС\" не проходит";
    if (r == -3) ErrorText = "Модуль на линии не обнаружен";
    return r;
}

void Ttp6606::SendText(const std::string& s) {
    ErrorText.clear();
    LastSent.clear();
    const std::string bytes = Utf8ToCp1251(s);
    if (bytes.size() > kMaxTextChars) {
        ErrorText = "Сообщение д.б. <= 160 байт";
        return;
    }
    if (!IsOpen()) {
        ErrorText = "Не выбрана плата или COM-порт ";
        return;
    }
    std::vector<std::uint8_t> frame = EncodeTextFrame(bytes);
    sendBytes(m_line, frame.data(), frame.size());
    LastSent = s;
}

std::string Ttp6606::ReceiveText() {
    ErrorText.clear();
    if (!IsOpen()) {
        ErrorText = "Не выбрана плата или COM-порт ";
        return "";
    }
    // One look at the line: a register board says at once that nothing is
    // waiting, so an idle line costs no time-out.
    int first;
    if (!isBoard())
        first = comPeek();
    else if (m_smartBoard)
        first = ctlRecv(m_line);
    else
        first = regRecv(m_line - 1);
    if (isBoard() && first == -1) {
        ErrorText = "Сбой при приеме по Link-линии ";
        return "";
    }
    if (first != kTextStart) return "";

    ReceptionTrace trace(*this, m_line);
    trace.add(first);
    int b;
    int hunted = 0;
    do {
        b = trace.add(RecvByte(m_line));
        if (b >= 0 && ++hunted > kMaxHuntBytes) trace.end(TraceEnd::Babble);
        if (b < 0 || hunted > kMaxHuntBytes) return "";
    } while (b != kTextStart);
    b = trace.add(RecvByte(m_line));
    for (int extra = 0; b == kTextStart && extra < kMaxExtraTextStart; ++extra)
        b = trace.add(RecvByte(m_line));
    if (b < 0) return "";
    std::string collected;
    while (b != kTextEnd && collected.size() < kMaxTextCollect) {
        collected += static_cast<char>(b);
        b = trace.add(RecvByte(m_line));
        if (b < 0) return "";
    }
    trace.end(b == kTextEnd ? TraceEnd::Complete : TraceEnd::Babble);
    // The last byte is the check character; it is not verified.
    if (!collected.empty()) collected.pop_back();
    if (collected.size() > kMaxTextResult) collected.resize(kMaxTextResult);
    return Cp1251ToUtf8(collected);
}

void Ttp6606::SendString(const std::string& bytes) {
    ErrorText.clear();
    LastSent.clear();
    if (bytes.size() >= 256) {
        ErrorText = "длина строки д.б. < 256 байт";
        return;
    }
    // 255 bytes would need LEN 256, which goes on the line as 0 and is
    // refused by every receiver: refuse it here instead.
    if (bytes.size() > kMaxFrameData) {
        ErrorText = "длина строки д.б. < 255 байт";
        return;
    }
    if (!IsOpen()) {
        ErrorText = "Канал не открыт ";
        return;
    }
    std::memcpy(Buf, bytes.data(), bytes.size());
    SendFrame(m_line, m_addr, static_cast<int>(bytes.size()), m_stringCmd);
    LastSent = bytes;
}

std::string Ttp6606::ReceiveString() {
    ErrorText.clear();
    const int r = ReceiveFrame(m_line);
    if (r == -1 || RecvLen >= 255) return "";
    return std::string(reinterpret_cast<const char*>(Buf), static_cast<std::size_t>(RecvLen));
}

}  // namespace yukt
