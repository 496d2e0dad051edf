#include "engine/micellar_mode.h"

#include <string>

#include "engine/init_calc.h"
#include "engine/run_state.h"
#include "foundation/errors.h"
#include "foundation/messages.h"

namespace {

// Caption of the micellar window's constituent-number label.
constexpr const char* kMicConstituentCaption = "Mic. Constituent No.";

// The micellizing constituent named in the micellar window: an existing
// constituent (a number below 1 is refused like one above the count) that is a
// monovalent acid or base.
bool MicellarConstituentAccepted(const RunState& st) {
    const int m = st.MicCompNo;
    if (m < 1 || m > st.Composition.Count()) {
        ShowWarning(std::string("Incorrect index number of micellizing constituent defined by \"") +
                    kMicConstituentCaption + "\".");
        return false;
    }
    const auto* node = st.Composition.Head();
    for (int k = 1; k < m && node; ++k) node = node->next;
    const bool monovalent = node && ((node->data.maxCharge == 1 && node->data.minCharge == 0) ||
                                     (node->data.maxCharge == 0 && node->data.minCharge == -1));
    if (!monovalent) {
        ShowWarning("Incorrect valency of micellizing constituent.");
        return false;
    }
    return true;
}

// A refused constituent keeps the previous run; an accepted one is taken
// (SDSAtInit) and then the set-up, not built, stops Init with no run left.
bool MicellarInit(RunState& st, ModeInitStage stage) {
    if (stage != ModeInitStage::Switches) return true;
    if (!MicellarConstituentAccepted(st)) return false;
    st.SDSAtInit = true;
    return RefuseUnbuiltMode(st, kInitMicellarUnavailable);
}

}  // namespace

ModeHooks MicellarModeHooks() {
    ModeHooks h;
    h.name = "Micellar";
    h.Init = MicellarInit;
    h.derivativesKey = "DerSDS";
    h.derivativesUnavailable = kDerMicellarUnavailable;
    h.dcHAfter = true;
    return h;
}
