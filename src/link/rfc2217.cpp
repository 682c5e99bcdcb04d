#include "link/rfc2217.h"

namespace yukt {

namespace {

constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;

constexpr std::uint8_t kComPort = 44;
// Client-to-server COM port commands; the server answers with +100.
constexpr std::uint8_t kSetBaud = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kServerOffset = 100;

constexpr std::uint8_t kParityNone = 1;
constexpr std::uint8_t kStopOne = 1;
constexpr std::uint8_t kNoFlowControl = 1;
constexpr std::uint8_t kDtrOn = 8;
constexpr std::uint8_t kRtsOff = 12;
// The longest sub-negotiation the option has is a few bytes; one that runs
// past this was never closed (or is garbage): it is dropped and what follows
// is line data again, so one bad message cannot swallow the connection.
constexpr std::size_t kMaxSub = 256;

}  // namespace

Rfc2217Codec::Rfc2217Codec(int baud, Role role) : m_baud(baud), m_role(role) {}

bool Rfc2217Codec::wanted(std::uint8_t option) {
    return option == static_cast<std::uint8_t>(Option::Binary) ||
           option == static_cast<std::uint8_t>(Option::SuppressGoAhead) || option == kComPort;
}

void Rfc2217Codec::start() {
    sendVerb(kWill, kComPort);
    sendVerb(kWill, static_cast<std::uint8_t>(Option::Binary));
    sendVerb(kDo, static_cast<std::uint8_t>(Option::Binary));
    sendVerb(kWill, static_cast<std::uint8_t>(Option::SuppressGoAhead));
    sendVerb(kDo, static_cast<std::uint8_t>(Option::SuppressGoAhead));
}

void Rfc2217Codec::sendVerb(std::uint8_t verb, std::uint8_t option) {
    if (verb == kWill) m_willSent[option] = true;
    if (verb == kDo) m_doSent[option] = true;
    m_out.insert(m_out.end(), {kIac, verb, option});
}

void Rfc2217Codec::sendComPortCommand(std::uint8_t command,
                                      const std::vector<std::uint8_t>& value) {
    m_out.insert(m_out.end(), {kIac, kSb, kComPort, command});
    for (std::uint8_t b : value) {
        m_out.push_back(b);
        if (b == kIac) m_out.push_back(kIac);
    }
    m_out.insert(m_out.end(), {kIac, kSe});
}

void Rfc2217Codec::sendSettings() {
    if (m_settingsSent) return;
    m_settingsSent = true;
    const auto baud = static_cast<std::uint32_t>(m_baud);
    sendComPortCommand(
        kSetBaud, {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                   static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)});
    sendComPortCommand(kSetDataSize, {8});
    sendComPortCommand(kSetParity, {kParityNone});
    sendComPortCommand(kSetStopSize, {kStopOne});
    sendComPortCommand(kSetControl, {kNoFlowControl});
    sendComPortCommand(kSetControl, {kDtrOn});
    sendComPortCommand(kSetControl, {kRtsOff});
}

void Rfc2217Codec::onVerb(std::uint8_t verb, std::uint8_t option) {
    switch (verb) {
        case kDo:
            // The server wants us to perform the option.
            if (!wanted(option)) {
                sendVerb(kWont, option);
            } else if (!m_willSent[option]) {
                sendVerb(kWill, option);
            }
            if (option == kComPort && m_role == Role::Client) sendSettings();
            break;
        case kDont:
            if (option == kComPort) m_comPortRefused = true;
            if (m_willSent[option]) {
                m_willSent[option] = false;
                sendVerb(kWont, option);
            }
            break;
        case kWill:
            if (!wanted(option))
                sendVerb(kDont, option);
            else if (!m_doSent[option])
                sendVerb(kDo, option);
            break;
        case kWont:
            if (m_doSent[option]) {
                m_doSent[option] = false;
                sendVerb(kDont, option);
            }
            break;
        default:
            break;  // other commands (NOP, AYT, ...) carry nothing for us
    }
}

void Rfc2217Codec::onSubnegotiation() {
    if (m_sub.size() < 2 || m_sub[0] != kComPort) return;
    if (m_role == Role::Server) {
        // A client's command is confirmed with its value.
        if (m_sub[1] >= kServerOffset) return;
        if (m_sub[1] == kSetBaud && m_sub.size() >= 6)
            m_confirmedBaud = (std::uint32_t{m_sub[2]} << 24) | (std::uint32_t{m_sub[3]} << 16) |
                              (std::uint32_t{m_sub[4]} << 8) | std::uint32_t{m_sub[5]};
        sendComPortCommand(static_cast<std::uint8_t>(m_sub[1] + kServerOffset),
                           std::vector<std::uint8_t>(m_sub.begin() + 2, m_sub.end()));
        return;
    }
    if (m_sub[1] == kSetBaud + kServerOffset && m_sub.size() >= 6) {
        m_confirmedBaud = (std::uint32_t{m_sub[2]} << 24) | (std::uint32_t{m_sub[3]} << 16) |
                          (std::uint32_t{m_sub[4]} << 8) | std::uint32_t{m_sub[5]};
        m_baudConfirmed = true;
    }
    // Line and modem state notifications need no answer.
}

void Rfc2217Codec::feed(const std::uint8_t* bytes, std::size_t n, std::vector<std::uint8_t>& data) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        switch (m_state) {
            case State::Data:
                if (b == kIac)
                    m_state = State::Iac;
                else
                    data.push_back(b);
                break;
            case State::Iac:
                if (b == kIac) {
                    data.push_back(kIac);
                    m_state = State::Data;
                } else if (b == kSb) {
                    m_sub.clear();
                    m_state = State::Sub;
                } else if (b >= kWill && b <= kDont) {
                    m_verb = b;
                    m_state = State::Verb;
                } else {
                    m_state = State::Data;
                }
                break;
            case State::Verb:
                onVerb(m_verb, b);
                m_state = State::Data;
                break;
            case State::Sub:
                if (b == kIac)
                    m_state = State::SubIac;
                else
                    addSubByte(b, data);
                break;
            case State::SubIac:
                if (b == kSe) {
                    onSubnegotiation();
                    m_state = State::Data;
                } else {
                    m_state = State::Sub;
                    addSubByte(b, data);  // IAC IAC inside
                }
                break;
        }
    }
}

void Rfc2217Codec::addSubByte(std::uint8_t b, std::vector<std::uint8_t>& data) {
    if (m_sub.size() < kMaxSub) {
        m_sub.push_back(b);
        return;
    }
    m_sub.clear();
    ++m_droppedSubnegotiations;
    m_state = State::Data;
    data.push_back(b);
}

void Rfc2217Codec::encodeData(const std::uint8_t* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        m_out.push_back(bytes[i]);
        if (bytes[i] == kIac) m_out.push_back(kIac);
    }
}

std::vector<std::uint8_t> Rfc2217Codec::takeOutput() {
    std::vector<std::uint8_t> out;
    out.swap(m_out);
    return out;
}

}  // namespace yukt
