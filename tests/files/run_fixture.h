// Run states for the file tests and the run-setup block as the writer encodes it.
#pragma once

#include "byte_builder.h"
#include "engine/state/run_state.h"
#include "engine/step/init_calc.h"
#include "files/psq.h"
#include "files/run_setup_block.h"
#include "support/test_compositions.h"

#include <gtest/gtest.h>

// A run state whose sequence calls go to the file `psq` (no recorder when empty).
struct HostedRun {
    RunState st;
    PsqFileRecorder recorder{st};
    explicit HostedRun(const std::string& psq = "")
    {
        if (psq.empty()) return;
        st.Recorder = &recorder;
        st.PsqFileOwn = st.PsqFile = psq;
    }
    // The acetate buffer with two analytes on nx nodes, initialised.
    void Init(int nx = 12)
    {
        testcomp::PrepareRun(st, testcomp::AcetateBufferWithAnalytes(), nx);
        ASSERT_TRUE(InitCalc(st));
    }
};

inline std::string BlockBytes(const RunState& st, const std::string& scratch, bool inFrame)
{
    KFile f = KFile::Create(scratch);
    BinWriter out(f);
    WriteRunSetupBlock(out, CaptureRunSetupBlock(st), inFrame);
    f.Close();
    return ReadBytes(scratch);
}
