// A new verification image in 图片框1, then the focus in 编辑框4.
#pragma once

#include "platform/controls.h"

// Fetches a new image, shows it in 图片框1 (no image clears the picture) and raises the
// feedback event of 标签3 so that the focus moves into 编辑框4. Runs on the calling
// thread and blocks for the fetch. Refreshes take turns: a fetch, the image it brings
// and its showing are never interleaved with those of another refresh. A caller whose
// cancel token is cancelled during the fetch shows nothing.
void RefreshCaptchaImage(const MainWindowControls& controls);

// The left mouse press on 图片框1: the same refresh on a thread of its own, so the
// window stays responsive while the image loads; it waits its turn behind a
// worker's refresh.
void RefreshCaptchaImageInBackground(const MainWindowControls& controls);

// Returns once no refresh started by RefreshCaptchaImageInBackground is running, so
// that the controls may be destroyed.
void WaitForBackgroundRefreshes();
