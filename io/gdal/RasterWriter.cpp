// io/gdal/RasterWriter.cpp - maps written as rasters of GDAL's formats: the output types, the
// check that every cell fits its type, the GeoTIFF defaults and the write itself.
// The contracts are in io/gdal/Rasters.h.
#include <cpl_string.h>
#include <ogr_spatialref.h>

#include <cfloat>
#include <cmath>
#include <sstream>

#include "io/NumberText.h"
#include "io/gdal/GdalSession.h"
#include "io/gdal/Rasters.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// A type's GDAL name and type, its range, and whether it holds whole numbers only.
struct TTypeRule {
  TRasterType Type;
  const char* PtrName;
  GDALDataType GdalType;
  double DblLowest;
  double DblHighest;
  bool BlnWhole;
};

constexpr TTypeRule kArrRules[] = {
    {TRasterType::kFloat64, "Float64", GDT_Float64, -DBL_MAX, DBL_MAX, false},
    {TRasterType::kFloat32, "Float32", GDT_Float32, -FLT_MAX, FLT_MAX, false},
    {TRasterType::kInt32, "Int32", GDT_Int32, -2147483648.0, 2147483647.0, true},
    {TRasterType::kInt16, "Int16", GDT_Int16, -32768.0, 32767.0, true},
    {TRasterType::kByte, "Byte", GDT_Byte, 0.0, 255.0, true},
};

const TTypeRule& RuleOf(TRasterType Type) {
  for (const TTypeRule& Rule : kArrRules) {
    if (Rule.Type == Type) {
      return Rule;
    }
  }
  return kArrRules[0];
}

std::string Shown(double DblValue) {
  static const TNumberFormat kFormat = NumberFormatOf(std::ostringstream());
  return NumberText(DblValue, kFormat);
}

// Infinities and NaN fit the floating-point types only: a no-data value may be either.
bool Fits(const TTypeRule& Rule, double DblValue) {
  if (!std::isfinite(DblValue)) {
    return !Rule.BlnWhole;
  }
  return DblValue >= Rule.DblLowest && DblValue <= Rule.DblHighest &&
         (!Rule.BlnWhole || DblValue == std::trunc(DblValue));
}

std::string RangeText(const TTypeRule& Rule) {
  return std::string(Rule.PtrName) + (Rule.BlnWhole ? " (a whole number from " : " (") +
         Shown(Rule.DblLowest) + " to " + Shown(Rule.DblHighest) + ")";
}

[[noreturn]] void FailWrite(const std::string& StgOutput) {
  Fail("Unable to write file " + StgOutput + ": " + GdalMessage());
}

GDALDriver* WritingDriver(const std::string& StgFormat) {
  UseGdal();
  GDALDriver* PtrDriver = GetGDALDriverManager()->GetDriverByName(StgFormat.c_str());
  if (PtrDriver == nullptr || PtrDriver->GetMetadataItem(GDAL_DCAP_RASTER) == nullptr ||
      (PtrDriver->GetMetadataItem(GDAL_DCAP_CREATE) == nullptr &&
       PtrDriver->GetMetadataItem(GDAL_DCAP_CREATECOPY) == nullptr)) {
    return nullptr;
  }
  return PtrDriver;
}

}  // namespace

bool RasterTypeOf(const std::string& StgName, TRasterType& Type) {
  for (const TTypeRule& Rule : kArrRules) {
    if (StgName == Rule.PtrName) {
      Type = Rule.Type;
      return true;
    }
  }
  return false;
}

const char* RasterTypeName(TRasterType Type) {
  return RuleOf(Type).PtrName;
}

std::vector<std::string> DefaultGeoTiffOptions(TRasterType Type) {
  const bool BlnFloat = Type == TRasterType::kFloat64 || Type == TRasterType::kFloat32;
  return {"TILED=YES", "COMPRESS=DEFLATE", BlnFloat ? "PREDICTOR=3" : "PREDICTOR=2",
          "BIGTIFF=IF_SAFER"};
}

void CheckRasterFormat(const std::string& StgFormat) {
  if (WritingDriver(StgFormat) == nullptr) {
    Fail("GDAL has no raster format " + StgFormat + " that it can write");
  }
}

void CheckFitsType(const TMap& Map, double DblNoData, TRasterType Type,
                   const std::string& StgOutput) {
  const TTypeRule& Rule = RuleOf(Type);
  if (!Fits(Rule, DblNoData)) {
    Fail(StgOutput + ": the NODATA_value " + Shown(DblNoData) + " does not fit " + RangeText(Rule) +
         "; choose another with --nodata");
  }
  // The no-data value must come back as it was declared, or no cell would match it.
  const bool BlnSingle = Type == TRasterType::kFloat32;
  const bool BlnNaNNoData = std::isnan(DblNoData);
  const float FltNoData = static_cast<float>(DblNoData);
  if (BlnSingle && !BlnNaNNoData && static_cast<double>(FltNoData) != DblNoData) {
    Fail(StgOutput + ": the NODATA_value " + Shown(DblNoData) +
         " is no Float32 value; choose another with --nodata");
  }
  for (std::size_t LngRow = 0; LngRow < Map.MbrVecValues.size(); ++LngRow) {
    const std::vector<double>& VecRow = Map.MbrVecValues[LngRow];
    for (std::size_t LngColumn = 0; LngColumn < VecRow.size(); ++LngColumn) {
      const double DblCell = VecRow[LngColumn];
      if (DblCell == DblNoData || (BlnNaNNoData && std::isnan(DblCell))) {
        continue;
      }
      const bool BlnOutside = !Fits(Rule, DblCell);
      if (BlnOutside || (BlnSingle && static_cast<float>(DblCell) == FltNoData)) {
        Fail(StgOutput + ": the result holds " + Shown(DblCell) + " at row " +
             std::to_string(LngRow) + ", column " + std::to_string(LngColumn) +
             (BlnOutside
                  ? ", which does not fit " + RangeText(Rule)
                  : ", which Float32 cannot tell from the NODATA_value " + Shown(DblNoData)));
      }
    }
  }
}

void WriteRaster(const TMap& Map, const TGridLayout& Layout, const TRasterTarget& Target,
                 const std::string& StgPath, const std::string& StgOutput) {
  GDALDriver* PtrDriver = WritingDriver(Target.StgFormat);
  if (PtrDriver == nullptr) {
    Fail("GDAL has no raster format " + Target.StgFormat + " that it can write");
  }
  OGRSpatialReference Crs;
  if (!Target.StgCrsText.empty() && Crs.importFromWkt(Target.StgCrsText.c_str()) != OGRERR_NONE) {
    Fail(StgOutput + ": GDAL does not understand the coordinate system of " + Target.StgCrsOrigin);
  }
  // The user's options come last, so that each replaces a default of the same key.
  CPLStringList Options;
  for (const std::string& StgOption : Target.VecOptions) {
    char* PtrKey = nullptr;
    const char* PtrValue = CPLParseNameValue(StgOption.c_str(), &PtrKey);
    if (PtrKey != nullptr && PtrValue != nullptr) {
      Options.SetNameValue(PtrKey, PtrValue);
    }
    CPLFree(PtrKey);
  }
  const int IntColumns = static_cast<int>(Layout.LngColumns);
  const int IntRows = static_cast<int>(Layout.LngRows);
  const GDALDataType GdalType = RuleOf(Target.Type).GdalType;
  // Formats that are written in one pass (PNG, GDAL's own ASCII grid) take a copy of a raster
  // made in memory.
  const bool BlnDirect = PtrDriver->GetMetadataItem(GDAL_DCAP_CREATE) != nullptr;
  GDALDriver* PtrMaker = BlnDirect ? PtrDriver : GetGDALDriverManager()->GetDriverByName("MEM");
  TDatasetPtr PtrDataset(PtrMaker->Create(BlnDirect ? StgPath.c_str() : "", IntColumns, IntRows, 1,
                                          GdalType, BlnDirect ? Options.List() : nullptr));
  if (!PtrDataset) {
    FailWrite(StgOutput);
  }
  const double DblCellSize = Layout.DblCellSize;
  double ArrTransform[6] = {Layout.DblWest,
                            DblCellSize,
                            0.0,
                            Layout.DblSouth + static_cast<double>(Layout.LngRows) * DblCellSize,
                            0.0,
                            -DblCellSize};
  GDALRasterBand& Band = *PtrDataset->GetRasterBand(1);
  if (PtrDataset->SetGeoTransform(ArrTransform) != CE_None ||
      (!Target.StgCrsText.empty() && PtrDataset->SetSpatialRef(&Crs) != CE_None) ||
      Band.SetNoDataValue(Layout.DblNoData) != CE_None) {
    FailWrite(StgOutput);
  }
  int IntBlockColumns = 0;
  int IntBlockRows = 0;
  Band.GetBlockSize(&IntBlockColumns, &IntBlockRows);
  for (int IntRow = 0; IntRow < IntRows; ++IntRow) {
    // GDAL takes a writable buffer for both directions; it only reads it here.
    double* PtrRow = const_cast<double*>(Map.MbrVecValues[static_cast<std::size_t>(IntRow)].data());
    if (Band.RasterIO(GF_Write, 0, IntRow, IntColumns, 1, PtrRow, IntColumns, 1, GDT_Float64, 0, 0,
                      nullptr) != CE_None) {
      FailWrite(StgOutput);
    }
    // A row of blocks is complete: written out now rather than held in GDAL's cache.
    if (BlnDirect && IntBlockRows > 0 && (IntRow + 1) % IntBlockRows == 0 &&
        Band.FlushCache(false) != CE_None) {
      FailWrite(StgOutput);
    }
  }
  if (!BlnDirect) {
    TDatasetPtr PtrCopy(PtrDriver->CreateCopy(StgPath.c_str(), PtrDataset.get(), FALSE,
                                              Options.List(), nullptr, nullptr));
    if (!PtrCopy) {
      FailWrite(StgOutput);
    }
    CPLErrorReset();
    PtrCopy.reset();
  } else {
    // Closing flushes the last blocks; a failure there is a failure of the write.
    CPLErrorReset();
    PtrDataset.reset();
  }
  if (CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal) {
    FailWrite(StgOutput);
  }
}

}  // namespace tessgrid::detail
