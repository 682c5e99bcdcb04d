#pragma once
// The two-channel flowmeter input: relays only (its outputs stay off and it
// takes no dividers), memory as on the plain two-channel input.

#include "modules/tp73channels.h"

namespace yukt {

class Ttp73rr : public Ttp73Channels {
  public:
    explicit Ttp73rr(ModuleContext& ctx) : Ttp73Channels(ctx, 0, 0, kMemTextLen, false) {}
};

}  // namespace yukt
