#include "engine/diffusion_mode.h"

#include "engine/run_state.h"

void StartDiffusionMode(RunState& st, double duration) {
    st.DiffClock = 0.0;
    st.DiffTime = duration;
    st.SavedDT = st.DT;
    st.SavedErrInc = st.ErrInc;
    st.ErrInc = 0.25;
    st.DiffMode = true;
    st.host().OnDiffusionModeChanged(true);
    st.Restart = true;
    st.host().UpdateMainInfo();
}

void EndDiffusionMode(RunState& st) {
    st.DT = st.SavedDT;
    st.ErrInc = st.SavedErrInc;
    st.DiffMode = false;
    st.host().OnDiffusionModeChanged(false);
    st.Restart = true;
    st.host().UpdateMainInfo();
}
