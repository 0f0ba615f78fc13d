#pragma once

// A test that hangs must still fail within about a minute, however slow the
// machine or the build: the limit is on the time without progress, not on
// the whole test. Linked into a test program, the watchdog ends it when
// neither a test nor a step (MadeProgress) has finished for that long.

inline constexpr int kSecondsWithoutProgress = 60;

// A frame rendered, a row of a table read: the test is not stuck.
void MadeProgress();
