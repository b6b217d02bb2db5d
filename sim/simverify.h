// Compares what a run stored with the images it should have written: the
// EBOOT and OS images byte for byte, and every region of the phone region
// table against the phone image. The bytes that the last block of a region
// carries beyond the image's end are judged separately.
#pragma once
#include "sim/simflash.h"
#include "sim/simimages.h"
#include "sim/simsummary.h"

namespace tw::sim {

// Fills the verdicts of the recorder's summary, and verified/verifyPassed.
void VerifyRun(const SimImages& expected, const SimFlash& flash, SimRecorder& recorder);

}  // namespace tw::sim
