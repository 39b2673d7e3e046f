// app/OverlayRun.cpp - the overlay run: load, combine, write.
// The contract is in app/OverlayRun.h.
#include "app/OverlayRun.h"

#include <memory>

#include "io/TARCGISFileTools.h"
#include "model/Fail.h"
#include "ops/TMapTools.h"

using tessgrid::detail::Fail;

namespace {

using TOperation = TMap* (*)(const TMap*, const TMap*);

TOperation SelectOperation(char ChrOperation) {
  switch (ChrOperation) {
    case '+':
      return TMapTools::Add;
    case '-':
      return TMapTools::Subtract;
    case 'x':
      return TMapTools::Multiply;
    case '/':
      return TMapTools::Divide;
    default:
      Fail("Unknown operation");
  }
}

}  // namespace

void RunOverlay(const std::string& StgInputFile1, const std::string& StgInputFile2,
                const std::string& StgOutputFile, char ChrOperation) {
  std::unique_ptr<TMap> PtrMap1(TARCGISFileTools::LoadARCGISFile(StgInputFile1));
  std::unique_ptr<TMap> PtrMap2(TARCGISFileTools::LoadARCGISFile(StgInputFile2));
  // Only now: a bad input file is reported before a bad operation character.
  const TOperation PtrOperation = SelectOperation(ChrOperation);
  const std::unique_ptr<TMap> PtrResult(PtrOperation(PtrMap1.get(), PtrMap2.get()));
  // The operands are not needed for writing; giving them back first lowers the peak memory.
  PtrMap1.reset();
  PtrMap2.reset();
  TARCGISFileTools::WriteARCGISFile(PtrResult.get(), StgOutputFile);
}
