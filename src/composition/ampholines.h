// The ampholines wizard: a series of similar ampholytes named prefix + 1..n with
// the same charges and mobilities and pKs rising by a fixed step. The dialogue
// is a row of questions; a window asks `Prompt()` with `Default()` in an input
// box (caption "Ampholines Wizard") and hands each answer to `Answer`, or ends
// on Cancel. After the last answer the wizard asks "Continue and create new
// constituents?" itself and creates the series.
#pragma once

#include "engine/state/components.h"
#include "foundation/numtext.h"
#include "foundation/univset.h"

#include <string>
#include <vector>

inline constexpr const char* kAmpholinesCaption = "Ampholines Wizard";

class AmpholinesWizard {
public:
    enum class State { Asking, Rejected, Declined, Created };

    AmpholinesWizard();

    State Current() const { return state_; }
    std::string Prompt() const;
    std::string Default() const;
    // Takes the answer to the current prompt. On rejection the message
    // "Incorrect input. Action cancelled." is shown and the state is Rejected;
    // after the last answer the question is asked and the series created into
    // `composition` (Created) or not (Declined).
    State Answer(const std::string& text, TUnivSet<TComponents>& composition, TColor simColor,
                 TColor detColor);

    // The series itself: constituent k = 1..count, pKa(z) = start(z) + (k - 1)
    // step(z), mobility |u(z)|, concentration in the injection zone `conc`.
    int count = 0;
    std::string prefix;
    int neg = 0, pos = 0;
    std::vector<double> start, step, mobility;  // by charge position z - neg
    double conc = 0;

    void Create(TUnivSet<TComponents>& composition, TColor simColor, TColor detColor) const;

private:
    int ChargeOfStep(int k) const;  // charge asked at per-charge step k
    int PerChargeSteps() const { return 3 * (pos - neg); }
    State Reject();

    State state_ = State::Asking;
    int step_ = 1;  // dialogue steps 1..4, then per-charge boxes, then the concentration
    int sub_ = 0;   // per-charge box index
    int composed_ = 0;
};

// Colour of a new ampholine: three draws of the runtime's generator modulo 256
// (red, green, blue); a colour of the charts, of the pH profile or black
// becomes 51400.
TColor AmpholineColour(TColor simColor, TColor detColor);
