// examples/LibraryTour.cpp - a tour of the library: build a map, write and load it, combine,
// resample and export. Run it from any folder; it writes its files into the current one.
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "io/TARCGISFileTools.h"
#include "model/TAxis.h"
#include "model/TMap.h"
#include "ops/TMapTools.h"

int main() {
  try {
    // 1. Build a 4 x 3 map of 10 m cells whose centres start at (5, 25) in the north-west.
    TAxis XCentres(10.0, 4);
    TAxis YCentres(10.0, 3);
    for (long i = 0; i < 4; ++i)
      XCentres.SetPoint(i, new TPoint(5.0 + 10.0 * i, 0.0));
    for (long i = 0; i < 3; ++i)
      YCentres.SetPoint(i, new TPoint(0.0, 25.0 - 10.0 * i));
    TMap Elevation(&XCentres, &YCentres);  // every cell starts as the no-data value -9999
    for (long row = 0; row < 3; ++row) {
      for (long col = 0; col < 4; ++col) {
        Elevation.SetPoint(col, row, 100.0 + 10.0 * col - 5.0 * row);
      }
    }
    Elevation.SetPoint(3, 2, -9999.0);  // one cell without data

    // 2. Write it as an ASCII grid file and load it back.
    TARCGISFileTools::WriteARCGISFile(&Elevation, std::string("tour_elevation.asc"));
    std::unique_ptr<TMap> Loaded(
        TARCGISFileTools::LoadARCGISFile(std::string("tour_elevation.asc")));

    // 3. Combine: raise every cell by the value of a second map; no-data stays no-data.
    std::unique_ptr<TMap> Uplift(TMapTools::Multiply(Loaded.get(), 0.0));
    Uplift->InitValues(2.5);
    std::unique_ptr<TMap> Raised(TMapTools::Add(Loaded.get(), Uplift.get()));

    // 4. Resample to 5 m cells by bilinear interpolation between cell centres.
    std::unique_ptr<TMap> Fine(TMapTools::BilinearInterpolate(Raised.get(), 5.0));

    // 5. Write the results: a grid file and a CSV list of cell centres and values.
    TARCGISFileTools::WriteARCGISFile(Raised.get(), std::string("tour_raised.asc"));
    std::ofstream Csv("tour_fine.csv");
    TMapTools::WriteCSVFile(Fine.get(), Csv);

    std::cout << "Raised north-west cell: " << Raised->GetPointVal(0, 0) << "\n"
              << "Fine map: " << Fine->MbrLngXDim << " x " << Fine->MbrLngYDim << " cells\n";
  } catch (char* message) {
    std::cout << message << std::endl;
    return 1;
  } catch (const std::string& message) {
    std::cout << message << std::endl;
    return 1;
  }
  return 0;
}
