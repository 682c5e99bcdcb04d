#pragma once
// The two-channel frequency input with dividers and a 16-character memory
// whose control characters read back as "?".

#include "modules/tp73channels.h"

namespace yukt {

class Ttp73tt : public Ttp73Channels {
  public:
    explicit Ttp73tt(ModuleContext& ctx) : Ttp73Channels(ctx, 1, 1, kMemTextLen, false) {}

    void SetOut1(int v) { SetOut1Checked(v); }
    void SetOut2(int v) { SetOut2Checked(v); }
    // Stored as given; the module is told by WriteDividers.
    void SetDivider1(double x) { SetDivider1Unchecked(x); }
    void SetDivider2(double x) { SetDivider2Unchecked(x); }
};

}  // namespace yukt
