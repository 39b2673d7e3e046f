// tests/fuzz/GridReaderFuzz.cpp - fuzz target: the grid reader on arbitrary bytes, then a round
// trip. Built with libFuzzer when TESSGRID_FUZZ is on, otherwise with FuzzReplayMain.cpp over the
// corpus.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>

#include "io/TARCGISFileTools.h"
#include "model/TMap.h"

namespace {

[[noreturn]] void Mismatch(const char* PtrWhat) {
  std::fprintf(stderr, "round trip changed the %s\n", PtrWhat);
  std::abort();
}

bool Same(double DblA, double DblB) {
  return (std::isnan(DblA) && std::isnan(DblB)) || DblA == DblB;
}

// The writer keeps at most twelve significant digits; a value read back is the value rounded so.
double Rounded(double DblValue) {
  char ChrText[64];
  std::snprintf(ChrText, sizeof ChrText, "%.12g", DblValue);
  return std::strtod(ChrText, nullptr);
}

std::unique_ptr<TMap> WriteAndLoad(TMap* PtrMap) {
  std::ostringstream Out;
  TARCGISFileTools::WriteARCGISFile(PtrMap, Out);
  std::istringstream In(Out.str());
  try {
    return std::unique_ptr<TMap>(TARCGISFileTools::LoadARCGISFile(In));
  } catch (...) {
    Mismatch("readability: the written text does not load");
  }
}

double West(const TMap& Map) {
  return Map.MbrPtrXAxisInterval->GetPoint(0)->MbrDblX;
}
double South(const TMap& Map) {
  return Map.MbrPtrYAxisInterval->GetPoint(Map.MbrLngYDim)->MbrDblY;
}

// Requires Second to be First as the writer's number rule gives it back (Exact: unchanged).
void Compare(const TMap& First, const TMap& Second, bool BlnExact) {
  auto Expect = [BlnExact](double DblA, double DblB, const char* PtrWhat) {
    if (!Same(BlnExact ? DblA : Rounded(DblA), DblB))
      Mismatch(PtrWhat);
  };
  if (First.MbrLngXDim != Second.MbrLngXDim || First.MbrLngYDim != Second.MbrLngYDim) {
    Mismatch("dimensions");
  }
  Expect(First.MbrDblResolution, Second.MbrDblResolution, "resolution");
  Expect(First.MbrDblNoDataValue, Second.MbrDblNoDataValue, "no-data value");
  Expect(West(First), West(Second), "western edge");
  Expect(South(First), South(Second), "southern edge");
  for (long LngY = 0; LngY < First.MbrLngYDim; ++LngY) {
    for (long LngX = 0; LngX < First.MbrLngXDim; ++LngX) {
      Expect(First.GetPointVal(LngX, LngY), Second.GetPointVal(LngX, LngY), "cells");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* PtrData, std::size_t LngSize) {
  std::istringstream In(std::string(reinterpret_cast<const char*>(PtrData), LngSize));
  std::unique_ptr<TMap> PtrFirst;
  try {
    PtrFirst.reset(TARCGISFileTools::LoadARCGISFile(In));
  } catch (char*) {
    return 0;  // rejected with a constant message: fine
  } catch (const std::string&) {
    return 0;  // rejected with a built message: fine
  }
  // Once written, a map reads back rounded to the writer's digits, and from then on unchanged.
  std::unique_ptr<TMap> PtrSecond = WriteAndLoad(PtrFirst.get());
  Compare(*PtrFirst, *PtrSecond, false);
  std::unique_ptr<TMap> PtrThird = WriteAndLoad(PtrSecond.get());
  Compare(*PtrSecond, *PtrThird, true);
  return 0;
}
