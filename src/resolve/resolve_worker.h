// The "解析" press and the resolve worker it starts: file page, name and size, the
// verification loop with the user, the two links and the hand-off buttons.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/controls.h"

// The press of "解析" once the address in 编辑框2 has passed its check (not empty, not
// the placeholder). Stops the previous worker, resets the controls and starts a new
// ResolveWorker on a thread of its own. Call it where the window's handlers run; it
// returns at once.
void StartResolve(const MainWindowControls& controls);

// Stops the running worker and waits, up to the limit, until no worker is left; false when
// one is still running then. A stopped worker changes no control and no field of AppState
// any more, whether it has left or not.
bool EndResolveWorkers(std::chrono::milliseconds limit);

// How many workers are still running, stopped ones that have not yet left included.
int32_t RunningResolveWorkers();
