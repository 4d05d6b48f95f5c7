// The "解析" press and the resolve worker it starts: file page, name and size, the
// verification loop with the user, the two links and the hand-off buttons.
#pragma once

#include <cstdint>

#include "platform/controls.h"

// The press of "解析" once the address in 编辑框2 has passed its check (not empty, not
// the placeholder). Stops the previous worker, resets the controls and starts a new
// ResolveWorker on a thread of its own. Call it where the window's handlers run; it
// returns at once.
void StartResolve(const MainWindowControls& controls);

// Stops the running worker and returns once no worker is left. A stopped worker changes
// no control and no field of AppState any more.
void EndResolveWorkers();

// How many workers are still running, stopped ones that have not yet left included.
int32_t RunningResolveWorkers();
