#pragma once
// The byte stream between a link object and the line adapter behind a COM
// port. One implementation per medium: the POSIX serial port, and the
// simulated bench in-process. Frame code never knows which one it talks to.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace yukt {

class ByteTransport {
  public:
    virtual ~ByteTransport() = default;

    // Writes one byte, waiting at most `limit` for room; false on time-out.
    bool writeByte(std::uint8_t b, std::chrono::milliseconds limit) { return doWrite(b, limit); }

    // Reads one byte, waiting at most `limit`; -1 when none arrived in time.
    int readByte(std::chrono::milliseconds limit) { return doRead(limit); }

    // Clears the error state of the port after a time-out.
    void clearError() { doClearError(); }

  private:
    virtual bool doWrite(std::uint8_t b, std::chrono::milliseconds limit) = 0;
    virtual int doRead(std::chrono::milliseconds limit) = 0;
    virtual void doClearError() {}
};

}  // namespace yukt
