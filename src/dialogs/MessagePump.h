#pragma once
// The message pump every long operation calls after each block and each file, so the caller's
// interface stays alive: delivers queued window messages and lets the UI host process events.

extern "C" void DoEvents();
