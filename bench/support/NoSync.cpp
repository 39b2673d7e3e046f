// bench/support/NoSync.cpp - a preload library that makes fsync do nothing, so that
// bench/overlay.sh can show what the safe replace's sync before the rename costs.
// Only the benchmark script loads it; nothing that ships does.

// Loaded before the C library, this definition takes the place of its fsync.
extern "C" int fsync(int /*LngFd*/) {
  return 0;
}
