// tests/consumer/consumer.cpp - a program outside the tree that uses the library through its one
// umbrella header. Exits 0 when a map answers a coordinate lookup as expected, a failing call's
// text comes back through tessgrid::Message and the version macros are there. It defines names
// the library uses inside (Fail, LookupIndices) to show that no public header brings them in.
#include "tessgrid.h"

#include <exception>
#include <string>

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
  if (map.GetPointVal(2, 1) != 7.0) {
    return Fail("lookup");
  }

  TMapPtr doubled(TMapTools::Multiply(&map, 2.0));
  if (doubled->GetPointVal(2, 1) != 14.0) {
    return Fail("owning handle");
  }
  std::string text;
  try {
    TMapPtr missing(TARCGISFileTools::LoadARCGISFile(std::string("no such file.asc")));
  } catch (...) {
    text = tessgrid::Message(std::current_exception());
  }
  if (text != "Unable to open file no such file.asc") {
    return Fail("message");
  }
  return std::string(TESSGRID_VERSION_STRING).empty() ? Fail("version") : LookupIndices();
}
