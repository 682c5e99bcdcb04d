#pragma once
// The byte stream between a link object and the line adapter behind a COM
// port. One implementation per medium: the POSIX serial port, a serial
// device server over TCP, and the simulated bench in-process. Frame code
// never knows which one it talks to.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace yukt {

class ByteTransport {
  public:
    virtual ~ByteTransport() = default;

    // Writes one byte, waiting at most `limit` for room; false on time-out.
    bool writeByte(std::uint8_t b, std::chrono::milliseconds limit) { return doWrite(b, limit); }

    // Writes a whole frame, waiting at most `limit` per byte for room; false
    // when any byte could not be written. Streams do it in one call.
    bool writeAll(const std::uint8_t* data, std::size_t n, std::chrono::milliseconds limit) {
        return doWriteAll(data, n, limit);
    }

    // Reads one byte, waiting at most `limit`; -1 when none arrived in time.
    int readByte(std::chrono::milliseconds limit) { return doRead(limit); }

    // Drops whatever input is already waiting (a late reply to an earlier
    // request) and says how many bytes that was.
    std::size_t discardInput() { return doDiscardInput(); }

    // True once the far end is known to be gone (hang-up, dropped
    // connection, vanished device); the owner closes and reopens.
    bool lost() const { return doLost(); }

    // Clears the error state of the port after a time-out.
    void clearError() { doClearError(); }

  private:
    virtual bool doWrite(std::uint8_t b, std::chrono::milliseconds limit) = 0;
    virtual int doRead(std::chrono::milliseconds limit) = 0;
    virtual bool doWriteAll(const std::uint8_t* data, std::size_t n,
                            std::chrono::milliseconds limit) {
        for (std::size_t i = 0; i < n; ++i)
            if (!doWrite(data[i], limit)) return false;
        return true;
    }
    virtual std::size_t doDiscardInput() { return 0; }
    virtual bool doLost() const { return false; }
    virtual void doClearError() {}
};

}  // namespace yukt
