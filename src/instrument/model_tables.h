#pragma once
// The driver tables of the module set, one per model, and the walk over them
// in the model order with the poll-cycle steps each model has.

#include "modules/model_table.h"
#include "modules/tp735d.h"
#include "modules/tp735r.h"
#include "modules/tp735t.h"
#include "modules/tp735v.h"
#include "modules/tp735x.h"
#include "modules/tp745b.h"
#include "modules/tp745t.h"
#include "modules/tp745x.h"
#include "modules/tp746x.h"
#include "modules/tp747x.h"
#include "modules/tp748t.h"
#include "modules/tp748x.h"
#include "modules/tp765x.h"
#include "modules/tp787d.h"
#include "modules/tp787x.h"
#include "modules/tp788t.h"
#include "modules/tp788v.h"
#include "modules/tp788x.h"
#include "modules/tp795b.h"

namespace yukt {

// What one model does in a poll cycle.
struct CycleSteps {
    // Lines are selected for every configured module (else: present ones).
    bool SelectConfigured;
    bool Dat;
    bool Console;
    bool Link;
    bool Reply;
    bool ReadLink;
};

inline constexpr CycleSteps kConfiguredInputSteps{true, true, true, true, true, true};
inline constexpr CycleSteps kPresentInputSteps{false, true, true, true, true, true};
inline constexpr CycleSteps kVirtualSteps{true, true, false, true, false, false};
inline constexpr CycleSteps kIndicationSteps{false, false, false, false, true, false};
// Generators are not measured in the cycle; their lines come from "get".
inline constexpr CycleSteps kGeneratorSteps{false, false, false, false, false, true};

struct ModelTables {
    explicit ModelTables(ModuleContext& ctx)
        : t745x(ctx),
          t745b(ctx),
          t745t(ctx),
          t735x(ctx),
          t735r(ctx),
          t735t(ctx),
          t735d(ctx),
          t735v(ctx),
          t746x(ctx),
          t747x(ctx),
          t748x(ctx),
          t748t(ctx),
          t765x(ctx),
          t795b(ctx),
          t787x(ctx),
          t787d(ctx),
          t788x(ctx),
          t788t(ctx),
          t788v(ctx) {}

    ModelTable<Tp745xTraits> t745x;
    ModelTable<Tp745bTraits> t745b;
    ModelTable<Tp745tTraits> t745t;
    ModelTable<Tp735xTraits> t735x;
    ModelTable<Tp735rTraits> t735r;
    ModelTable<Tp735tTraits> t735t;
    ModelTable<Tp735dTraits> t735d;
    ModelTable<Tp735vTraits> t735v;
    ModelTable<Tp746xTraits> t746x;
    ModelTable<Tp747xTraits> t747x;
    ModelTable<Tp748xTraits> t748x;
    ModelTable<Tp748tTraits> t748t;
    ModelTable<Tp765xTraits> t765x;
    ModelTable<Tp795bTraits> t795b;
    ModelTable<Tp787xTraits> t787x;
    ModelTable<Tp787dTraits> t787d;
    ModelTable<Tp788xTraits> t788x;
    ModelTable<Tp788tTraits> t788t;
    ModelTable<Tp788vTraits> t788v;
};

// f(table, steps) for every model in the model order.
template <class F>
void ForEachModel(ModelTables& t, F&& f) {
    f(t.t745x, kConfiguredInputSteps);
    f(t.t745b, kConfiguredInputSteps);
    f(t.t745t, kConfiguredInputSteps);
    f(t.t735x, kConfiguredInputSteps);
    f(t.t735r, kConfiguredInputSteps);
    f(t.t735t, kConfiguredInputSteps);
    f(t.t735d, kConfiguredInputSteps);
    f(t.t735v, kVirtualSteps);
    f(t.t746x, kConfiguredInputSteps);
    f(t.t747x, kPresentInputSteps);
    f(t.t748x, kPresentInputSteps);
    f(t.t748t, kPresentInputSteps);
    f(t.t765x, kPresentInputSteps);
    f(t.t795b, kIndicationSteps);
    f(t.t787x, kGeneratorSteps);
    f(t.t787d, kGeneratorSteps);
    f(t.t788x, kGeneratorSteps);
    f(t.t788t, kGeneratorSteps);
    f(t.t788v, kGeneratorSteps);
}

}  // namespace yukt
