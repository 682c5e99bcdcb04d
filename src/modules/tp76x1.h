#pragma once
// Discrete I/O base of the dry-contact modules.

#include <cstdint>

#include "modules/tp76xx.h"

namespace yukt {

class Ttp76x1 : public Ttp76xx {
  public:
    explicit Ttp76x1(ModuleContext& ctx) : Ttp76xx(ctx) {}

  private:
    // Reserved by the module family; nothing reads or writes them yet.
    [[maybe_unused]] std::uint32_t m_reserved32 = 0;
    [[maybe_unused]] std::uint8_t m_reserved8 = 0;
};

}  // namespace yukt
