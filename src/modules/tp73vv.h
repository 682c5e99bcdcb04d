#pragma once
// The virtual module for FLASH work: settings as the plain two-channel input,
// memory read back unchanged, and FLASH requests that this station does not
// serve: they fail without sending anything.

#include <string>

#include "modules/tp73channels.h"

namespace yukt {

class Ttp73vv : public Ttp73Channels {
  public:
    explicit Ttp73vv(ModuleContext& ctx) : Ttp73Channels(ctx, 1, 1, kMemTextLen, true) {}

    void SetOut1(int v) { SetOut1Checked(v); }
    void SetOut2(int v) { SetOut2Checked(v); }
    void SetDivider1(double x) { SetDivider1Unchecked(x); }
    void SetDivider2(double x) { SetDivider2Unchecked(x); }

    // FLASH read with its request word: always -1 with the text "Err7".
    int ReadFlash(const std::string& request, std::string& text) {
        (void)request;
        text = kMemReadFailed;
        return -1;
    }
    // FLASH write: changes nothing, -1.
    int WriteFlash(const std::string& text) {
        (void)text;
        return -1;
    }
};

}  // namespace yukt
