// io/gdal/RasterWindows.cpp - a raster created empty and written window by window. The contracts
// are in io/gdal/RasterWindows.h.
#include "io/gdal/RasterWindows.h"

#include <cpl_string.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "io/gdal/GdalSession.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

[[noreturn]] void FailWindowWrite(const std::string& StgOutput) {
  Fail("Unable to write file " + StgOutput + ": " + GdalMessage());
}

// Whether the cell read back is the one written as the band's type holds it: the same bits, or
// both NaN. Cells were checked to fit the type, so only float32 rounds them.
bool SameCell(double DblWritten, double DblRead, GDALDataType Type) {
  if (Type == GDT_Float32) {
    DblWritten = static_cast<double>(static_cast<float>(DblWritten));
  }
  if (std::isnan(DblWritten) || std::isnan(DblRead)) {
    return std::isnan(DblWritten) && std::isnan(DblRead);
  }
  return std::memcmp(&DblWritten, &DblRead, sizeof(double)) == 0;
}

// WriteRasterWindow for cells of either C type: GDAL converts them to the band's type. Without
// BlnReadBack the window is not read back.
template <typename TCell>
void WriteWindowOf(const std::string& StgPath, const std::string& StgOutput, long LngRow,
                   long LngColumn, long LngRows, long LngColumns, const TCell* PtrCells,
                   bool BlnReadBack) {
  const GDALDataType BufferType = std::is_same_v<TCell, float> ? GDT_Float32 : GDT_Float64;
  UseGdal();
  TDatasetPtr PtrDataset(
      GDALDataset::Open(StgPath.c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE, nullptr, nullptr));
  if (!PtrDataset) {
    FailWindowWrite(StgOutput);
  }
  GDALRasterBand* PtrBand = PtrDataset->GetRasterBand(1);
  if (LngRow < 0 || LngColumn < 0 || LngRows < 0 || LngColumns < 0 ||
      LngRow + LngRows > PtrDataset->GetRasterYSize() ||
      LngColumn + LngColumns > PtrDataset->GetRasterXSize()) {
    Fail("Unable to write file " + StgOutput + ": the window of " + std::to_string(LngRows) +
         " x " + std::to_string(LngColumns) + " cells at row " + std::to_string(LngRow) +
         ", column " + std::to_string(LngColumn) + " does not lie in the raster");
  }
  // GDAL takes a writable buffer for both directions; it only reads it here.
  if (PtrBand->RasterIO(GF_Write, static_cast<int>(LngColumn), static_cast<int>(LngRow),
                        static_cast<int>(LngColumns), static_cast<int>(LngRows),
                        const_cast<TCell*>(PtrCells), static_cast<int>(LngColumns),
                        static_cast<int>(LngRows), BufferType, 0, 0, nullptr) != CE_None) {
    FailWindowWrite(StgOutput);
  }
  // Closing writes the blocks and the file's directory; a failure there fails the window.
  const GDALDataType Type = PtrBand->GetRasterDataType();
  CPLErrorReset();
  PtrDataset.reset();
  if (CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal) {
    FailWindowWrite(StgOutput);
  }
  if (!BlnReadBack) {
    return;
  }
  // As every raster output, the window is read back: a write GDAL reports done but that does
  // not hold the cells fails here, while the file is still only a temporary.
  const TDatasetPtr PtrWritten(
      GDALDataset::Open(StgPath.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr));
  if (!PtrWritten) {
    FailWindowWrite(StgOutput);
  }
  // A band of rows at a time, in one buffer: a window's worth of fresh memory costs more in page
  // faults than the decoding.
  const long LngBand = std::max(1L, std::min(LngRows, 256L));
  std::vector<TCell> VecRead(static_cast<std::size_t>(LngBand) *
                             static_cast<std::size_t>(LngColumns));
  for (long LngFirst = 0; LngFirst < LngRows; LngFirst += LngBand) {
    const long LngCount = std::min(LngBand, LngRows - LngFirst);
    if (PtrWritten->GetRasterBand(1)->RasterIO(
            GF_Read, static_cast<int>(LngColumn), static_cast<int>(LngRow + LngFirst),
            static_cast<int>(LngColumns), static_cast<int>(LngCount), VecRead.data(),
            static_cast<int>(LngColumns), static_cast<int>(LngCount), BufferType, 0, 0,
            nullptr) != CE_None) {
      FailWindowWrite(StgOutput);
    }
    const TCell* PtrBandCells =
        PtrCells + static_cast<std::size_t>(LngFirst) * static_cast<std::size_t>(LngColumns);
    const std::size_t LngCells =
        static_cast<std::size_t>(LngCount) * static_cast<std::size_t>(LngColumns);
    for (std::size_t LngK = 0; LngK < LngCells; ++LngK) {
      if (!SameCell(static_cast<double>(PtrBandCells[LngK]), static_cast<double>(VecRead[LngK]),
                    Type)) {
        Fail("Unable to write file " + StgOutput +
             ": GDAL reads back other cells than were written, in row " +
             std::to_string(LngRow + LngFirst +
                            static_cast<long>(LngK / static_cast<std::size_t>(LngColumns))));
      }
    }
  }
}

}  // namespace

void CreateRasterForWindows(const TGridLayout& Layout, const TRasterTarget& Target,
                            const std::string& StgPath, const std::string& StgOutput) {
  UseGdal();
  CheckRasterTarget(Target, StgOutput);
  GDALDriver* PtrDriver = GetGDALDriverManager()->GetDriverByName(Target.StgFormat.c_str());
  if (PtrDriver->GetMetadataItem(GDAL_DCAP_CREATE) == nullptr) {
    Fail(StgOutput + ": GDAL writes " + Target.StgFormat +
         " rasters in one pass only, not window by window");
  }
  OGRSpatialReference Crs;
  if (!Target.StgCrsText.empty() && Crs.importFromWkt(Target.StgCrsText.c_str()) != OGRERR_NONE) {
    Fail(StgOutput + ": GDAL does not understand the coordinate system of " + Target.StgCrsOrigin);
  }
  // The user's options come last, so that each replaces a default of the same key. Blocks no
  // window has written yet stay out of the file rather than being filled at each closing.
  CPLStringList Options = NameValueList(Target.VecOptions);
  Options.SetNameValue("SPARSE_OK", "TRUE");
  if (Layout.LngColumns > INT_MAX || Layout.LngRows > INT_MAX) {
    Fail("Unable to write file " + StgOutput + ": GDAL takes at most " + std::to_string(INT_MAX) +
         " rows and columns");
  }
  TDatasetPtr PtrDataset(PtrDriver->Create(
      StgPath.c_str(), static_cast<int>(Layout.LngColumns), static_cast<int>(Layout.LngRows), 1,
      GDALGetDataTypeByName(RasterTypeName(Target.Type)), Options.List()));
  if (!PtrDataset) {
    FailWindowWrite(StgOutput);
  }
  // The northern edge as every raster output of the module places it.
  double ArrTransform[6] = {
      Layout.DblWest,
      Layout.DblCellSize,
      0.0,
      Layout.DblSouth + static_cast<double>(Layout.LngRows) * Layout.DblCellSize,
      0.0,
      -Layout.DblCellSize};
  if (PtrDataset->SetGeoTransform(ArrTransform) != CE_None ||
      (!Target.StgCrsText.empty() && PtrDataset->SetSpatialRef(&Crs) != CE_None) ||
      PtrDataset->GetRasterBand(1)->SetNoDataValue(Layout.DblNoData) != CE_None) {
    FailWindowWrite(StgOutput);
  }
  CPLErrorReset();
  PtrDataset.reset();
  if (CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal) {
    FailWindowWrite(StgOutput);
  }
}

void WriteRasterWindow(const std::string& StgPath, const std::string& StgOutput, long LngRow,
                       long LngColumn, long LngRows, long LngColumns, const double* PtrCells) {
  WriteWindowOf(StgPath, StgOutput, LngRow, LngColumn, LngRows, LngColumns, PtrCells, true);
}

void WriteRasterWindow(const std::string& StgPath, const std::string& StgOutput, long LngRow,
                       long LngColumn, long LngRows, long LngColumns, const float* PtrCells) {
  WriteWindowOf(StgPath, StgOutput, LngRow, LngColumn, LngRows, LngColumns, PtrCells, true);
}

void WriteRasterWindowUnread(const std::string& StgPath, const std::string& StgOutput, long LngRows,
                             long LngColumns, const double* PtrCells) {
  WriteWindowOf(StgPath, StgOutput, 0, 0, LngRows, LngColumns, PtrCells, false);
}

void WriteRasterWindowUnread(const std::string& StgPath, const std::string& StgOutput, long LngRows,
                             long LngColumns, const float* PtrCells) {
  WriteWindowOf(StgPath, StgOutput, 0, 0, LngRows, LngColumns, PtrCells, false);
}

}  // namespace tessgrid::detail
