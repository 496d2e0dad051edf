#include "engine/step/diffusion_phase.h"

#include "engine/state/run_state.h"

void StartDiffusionMode(RunState& st, double duration)
{
    st.DiffClock = 0.0;
    st.DiffTime = duration;
    st.SavedDT = st.DT;
    st.SavedErrInc = st.ErrInc;
    st.ErrInc = 0.25;
    st.DiffMode = true;
    st.Events.Emit(EngineEvent::Flag(EngineEventKind::DiffusionModeChanged, true));
    st.Restart = true;
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
}

void EndDiffusionMode(RunState& st)
{
    st.DT = st.SavedDT;
    st.ErrInc = st.SavedErrInc;
    st.DiffMode = false;
    st.Events.Emit(EngineEvent::Flag(EngineEventKind::DiffusionModeChanged, false));
    st.Restart = true;
    st.Events.Emit(EngineEventKind::UpdateMainInfo);
}
