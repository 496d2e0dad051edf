#ifndef KELVO_TESTS_SUPPORT_PSQ_RECORDING_H
#define KELVO_TESTS_SUPPORT_PSQ_RECORDING_H

#include "engine/host/psq_recorder.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "engine/step/run_calc.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>

#include <string>

namespace testcomp {

// Runs the acetate buffer on 12 nodes with a fixed time step through `recorder`,
// recording a frame at its start and after every one of `steps` steps into
// `psq` and its ".cmp".
inline void RecordAcetateRun(RunState& st, PsqRecorder& recorder, const std::string& psq, int steps)
{
    st.Recorder = &recorder;
    st.PsqFileOwn = st.PsqFile = psq;
    PrepareRun(st, AcetateBufferWithAnalytes(), 12);
    ASSERT_TRUE(InitCalc(st));
    st.rbPSQMS = false;
    st.rbPSQSteps = true;
    st.PSQPeriod = 1;
    st.cbOptDt = false;
    st.StopTime = st.DT * (steps + 3.5);  // the start of the run takes three
    RunCalc(st);
}

}  // namespace testcomp

#endif
