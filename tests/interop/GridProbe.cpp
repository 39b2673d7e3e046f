// tests/interop/GridProbe.cpp - writes a sample grid, or prints what the library reads from one.
// Usage: GridProbe write File | GridProbe dump File. The interoperability test drives it.
#include <cstdio>
#include <memory>
#include <string>

#include "io/GridReader.h"
#include "io/TARCGISFileTools.h"
#include "model/TMap.h"

namespace {

// A 4 x 3 map whose corners and values need more than six significant digits.
void WriteSample(const std::string& StgFileName) {
  const double VecValues[3][4] = {{1234567, 2.0 / 3.0, -9999, 0.1},
                                  {1e-7, 123.4567, -0.5, 5123456.25},
                                  {0, -1234.5678, 42, 99999.875}};
  TMap Map(25.0, 4, 3);
  for (long LngY = 0; LngY < 3; ++LngY) {
    for (long LngX = 0; LngX < 4; ++LngX) {
      Map.SetPoint(LngX, LngY, VecValues[LngY][LngX]);
    }
  }
  tessgrid::detail::SetReaderEdges(Map, 500000.5, 5123456.25, 25.0);
  TARCGISFileTools::WriteARCGISFile(&Map, StgFileName);
}

// Prints dimensions, western and southern edges, cell size, no-data value and every cell, with
// all the digits of a double.
void Dump(const std::string& StgFileName) {
  std::unique_ptr<TMap> PtrMap(TARCGISFileTools::LoadARCGISFile(StgFileName));
  std::printf("%ld %ld %.17g %.17g %.17g %.17g\n", PtrMap->MbrLngXDim, PtrMap->MbrLngYDim,
              PtrMap->MbrPtrXAxisInterval->GetPoint(0)->MbrDblX,
              PtrMap->MbrPtrYAxisInterval->GetPoint(PtrMap->MbrLngYDim)->MbrDblY,
              PtrMap->MbrDblResolution, PtrMap->MbrDblNoDataValue);
  for (long LngY = 0; LngY < PtrMap->MbrLngYDim; ++LngY) {
    for (long LngX = 0; LngX < PtrMap->MbrLngXDim; ++LngX) {
      std::printf("%.17g\n", PtrMap->GetPointVal(LngX, LngY));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::puts("Usage: GridProbe write|dump File");
    return 1;
  }
  const std::string StgVerb = argv[1];
  try {
    if (StgVerb == "write") {
      WriteSample(argv[2]);
    } else if (StgVerb == "dump") {
      Dump(argv[2]);
    } else {
      std::puts("Usage: GridProbe write|dump File");
      return 1;
    }
  } catch (char* PtrMessage) {
    std::puts(PtrMessage);
    return 1;
  } catch (const std::string& StgMessage) {
    std::puts(StgMessage.c_str());
    return 1;
  }
  return 0;
}
