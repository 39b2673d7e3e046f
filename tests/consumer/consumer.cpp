// tests/consumer/consumer.cpp - a program outside the tree that builds a map through the library.
// Exits 0 when the map answers a coordinate lookup as expected. It defines names the library uses
// inside (Fail, LookupIndices) to show that no public header brings them in.
#include "io/TARCGISFileTools.h"
#include "model/TAxis.h"
#include "model/TAxisTools.h"
#include "model/TMap.h"
#include "model/TPoint.h"
#include "ops/TMapTools.h"
#include "util/TPointTools.h"
#include "util/TStringTools.h"
#include "util/TVectorTools.h"

static int Fail(const char*) {
  return 1;
}
static int LookupIndices() {
  return 0;
}

int main() {
  TAxis x(1.0, 3);
  TAxis y(1.0, 2);
  for (long i = 0; i < 3; ++i)
    x.SetPoint(i, new TPoint(0.5 + i, 0.0));
  for (long i = 0; i < 2; ++i)
    y.SetPoint(i, new TPoint(0.0, 1.5 - i));
  TMap map(&x, &y);
  TPoint probe(2.2, 0.3);
  map.SetPoint(&probe, 7.0);
  return map.GetPointVal(2, 1) == 7.0 ? LookupIndices() : Fail("lookup");
}
