#pragma once
// The two-channel Q-factor input: settings as the plain two-channel input; its
// memory holds 18-byte measurement records, read back unchanged.

#include "modules/tp73channels.h"

namespace yukt {

// Bytes of one Q-factor record.
constexpr std::size_t kQRecordLen = 18;

class Ttp73dd : public Ttp73Channels {
  public:
    explicit Ttp73dd(ModuleContext& ctx) : Ttp73Channels(ctx, 1, 1, kQRecordLen, true) {}

    void SetOut1(int v) { SetOut1Checked(v); }
    void SetOut2(int v) { SetOut2Checked(v); }
    void SetDivider1(double x) { SetDivider1Unchecked(x); }
    void SetDivider2(double x) { SetDivider2Unchecked(x); }
};

}  // namespace yukt
