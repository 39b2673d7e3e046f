// bench/support/Slurp.h - Slurp: a whole file into a string with one fread, as the bare loops
// (bench/tools/Naive*.cpp) read their inputs; plain C stdio, no library code.
#ifndef BENCH_SUPPORT_SLURP_H
#define BENCH_SUPPORT_SLURP_H

#include <cstdio>
#include <string>

namespace tessgrid_bench {

/// Reads the named file whole into StgText; returns false when it cannot be opened or read.
inline bool Slurp(const char* PtrName, std::string& StgText) {
  std::FILE* PtrFile = std::fopen(PtrName, "rb");
  if (PtrFile == nullptr) {
    return false;
  }
  std::fseek(PtrFile, 0, SEEK_END);
  StgText.resize(static_cast<std::size_t>(std::ftell(PtrFile)));
  std::fseek(PtrFile, 0, SEEK_SET);
  const bool BlnOk = std::fread(StgText.data(), 1, StgText.size(), PtrFile) == StgText.size();
  std::fclose(PtrFile);
  return BlnOk;
}

}  // namespace tessgrid_bench

#endif  // BENCH_SUPPORT_SLURP_H
