// tests/fuzz/FuzzReplayMain.cpp - runs the fuzz target once per file named on the command line.
// Lets the target build and run over its corpus without libFuzzer (plain and sanitizer builds).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* PtrData, std::size_t LngSize);

int main(int argc, char** argv) {
  for (int LngI = 1; LngI < argc; ++LngI) {
    std::ifstream File(argv[LngI], std::ios::binary);
    if (!File) {
      std::printf("Unable to open file %s\n", argv[LngI]);
      return 1;
    }
    const std::string StgBytes((std::istreambuf_iterator<char>(File)),
                               std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(StgBytes.data()), StgBytes.size());
  }
  std::printf("%d inputs replayed\n", argc - 1);
  return 0;
}
