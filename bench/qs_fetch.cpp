// qs_fetch ADDRESS TARGET: downloads ADDRESS into TARGET with the built-in engine, as the
// download worker runs it, resuming from TARGET.tmp when that is there. The exit status is
// the engine's result (0 done, 1 to 6 as the result messages say).
#include <atomic>
#include <cstdio>

#include "app/app_state.h"
#include "download/range_downloader.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qs_fetch ADDRESS TARGET\n");
    return 2;
  }
  App().socketLibrary.Startup();
  std::atomic<int64_t> total{0}, done{0};
  const int32_t result =
      RangeDownloader(argv[1], FromNativePath(argv[2]), total, done, false, 20480);
  std::fprintf(stderr, "result %d, %lld of %lld bytes\n", result, static_cast<long long>(done),
               static_cast<long long>(total));
  return result;
}
