#pragma once
// Byte access to the I/O ports of the link boards. The process uses one
// implementation: by default direct port I/O on Linux (x86, root only);
// tests and simulations install their own with SetIoPorts.

#include <cstdint>
#include <memory>
#include <string>

namespace yukt {

class IoPorts {
  public:
    virtual ~IoPorts() = default;

    // Asks for access to `count` ports from `base`; false with a reason in
    // `error` when the system refuses it.
    bool acquire(std::uint16_t base, int count, std::string& error) {
        return doAcquire(base, count, error);
    }
    std::uint8_t in(std::uint16_t port) { return doIn(port); }
    void out(std::uint16_t port, std::uint8_t value) { doOut(port, value); }

  private:
    virtual bool doAcquire(std::uint16_t, int, std::string&) { return true; }
    virtual std::uint8_t doIn(std::uint16_t port) = 0;
    virtual void doOut(std::uint16_t port, std::uint8_t value) = 0;
};

// Null = back to the direct port I/O of the system.
void SetIoPorts(std::shared_ptr<IoPorts> ports);
// The implementation in use (never null).
std::shared_ptr<IoPorts> CurrentIoPorts();

}  // namespace yukt
