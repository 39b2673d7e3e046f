// io/gdal/RasterWriter.cpp - maps written as rasters of GDAL's formats: the output types, the
// check that every cell fits its type, the GeoTIFF defaults and the write itself.
// The contracts are in io/gdal/Rasters.h.
#include <cpl_string.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <sstream>

#include "io/NumberText.h"
#include "io/gdal/CoordinateSystems.h"
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

void CheckNoDataFitsType(double DblNoData, TRasterType Type, const std::string& StgOutput) {
  const TTypeRule& Rule = RuleOf(Type);
  if (!Fits(Rule, DblNoData)) {
    Fail(StgOutput + ": the NODATA_value " + Shown(DblNoData) + " does not fit " + RangeText(Rule) +
         "; choose another with --nodata");
  }
  // The no-data value must come back as it was declared, or no cell would match it.
  if (Type == TRasterType::kFloat32 && !std::isnan(DblNoData) &&
      static_cast<double>(static_cast<float>(DblNoData)) != DblNoData) {
    Fail(StgOutput + ": the NODATA_value " + Shown(DblNoData) +
         " is no Float32 value; choose another with --nodata");
  }
}

long CellNotFitting(const double* PtrCells, std::size_t LngColumns, double DblNoData,
                    TRasterType Type) {
  const TTypeRule& Rule = RuleOf(Type);
  const bool BlnSingle = Type == TRasterType::kFloat32;
  const bool BlnNaNNoData = std::isnan(DblNoData);
  const float FltNoData = static_cast<float>(DblNoData);
  for (std::size_t LngColumn = 0; LngColumn < LngColumns; ++LngColumn) {
    const double DblCell = PtrCells[LngColumn];
    if (DblCell == DblNoData || (BlnNaNNoData && std::isnan(DblCell))) {
      continue;
    }
    // A Float32 cell that rounds to the no-data value would read back as no-data.
    if (!Fits(Rule, DblCell) || (BlnSingle && static_cast<float>(DblCell) == FltNoData)) {
      return static_cast<long>(LngColumn);
    }
  }
  return -1;
}

void FailCellNotFitting(double DblCell, std::size_t LngRow, std::size_t LngColumn, double DblNoData,
                        TRasterType Type, const std::string& StgOutput) {
  const TTypeRule& Rule = RuleOf(Type);
  Fail(StgOutput + ": the result holds " + Shown(DblCell) + " at row " + std::to_string(LngRow) +
       ", column " + std::to_string(LngColumn) +
       (Fits(Rule, DblCell)
            ? ", which Float32 cannot tell from the NODATA_value " + Shown(DblNoData)
            : ", which does not fit " + RangeText(Rule)));
}

void CheckFitsType(const TMap& Map, double DblNoData, TRasterType Type,
                   const std::string& StgOutput) {
  CheckNoDataFitsType(DblNoData, Type, StgOutput);
  for (std::size_t LngRow = 0; LngRow < Map.MbrVecValues.size(); ++LngRow) {
    const std::vector<double>& VecRow = Map.MbrVecValues[LngRow];
    const long LngColumn = CellNotFitting(VecRow.data(), VecRow.size(), DblNoData, Type);
    if (LngColumn >= 0) {
      FailCellNotFitting(VecRow[static_cast<std::size_t>(LngColumn)], LngRow,
                         static_cast<std::size_t>(LngColumn), DblNoData, Type, StgOutput);
    }
  }
}

struct TRasterRowWriter::TOpen {
  std::string StgPath;
  std::string StgOutput;
  GDALDriver* PtrDriver = nullptr;  ///< the format's driver
  CPLStringList Options;            ///< the creation options, the user's last
  bool BlnDirect = false;           ///< the driver creates the raster; else a copy of one in memory
  TDatasetPtr PtrDataset;           ///< the raster, or the one in memory
  GDALRasterBand* PtrBand = nullptr;
  int IntColumns = 0;
  int IntBlockRows = 1;  ///< rows of the band's blocks
  int IntWritten = 0;    ///< rows written so far
};

TRasterRowWriter::TRasterRowWriter(const TGridLayout& Layout, const TRasterTarget& Target,
                                   const std::string& StgPath, const std::string& StgOutput)
    : MbrPtrOpen(std::make_unique<TOpen>()) {
  TOpen& Open = *MbrPtrOpen;
  Open.StgPath = StgPath;
  Open.StgOutput = StgOutput;
  Open.PtrDriver = WritingDriver(Target.StgFormat);
  if (Open.PtrDriver == nullptr) {
    Fail("GDAL has no raster format " + Target.StgFormat + " that it can write");
  }
  OGRSpatialReference Crs;
  if (!Target.StgCrsText.empty() && !ReadCoordinateSystem(Target.StgCrsText, Crs)) {
    Fail(StgOutput + ": GDAL does not understand the coordinate system of " + Target.StgCrsOrigin);
  }
  // The user's options come last, so that each replaces a default of the same key.
  for (const std::string& StgOption : Target.VecOptions) {
    char* PtrKey = nullptr;
    const char* PtrValue = CPLParseNameValue(StgOption.c_str(), &PtrKey);
    if (PtrKey != nullptr && PtrValue != nullptr) {
      Open.Options.SetNameValue(PtrKey, PtrValue);
    }
    CPLFree(PtrKey);
  }
  Open.IntColumns = static_cast<int>(Layout.LngColumns);
  Open.BlnDirect = Open.PtrDriver->GetMetadataItem(GDAL_DCAP_CREATE) != nullptr;
  GDALDriver* PtrMaker =
      Open.BlnDirect ? Open.PtrDriver : GetGDALDriverManager()->GetDriverByName("MEM");
  Open.PtrDataset.reset(PtrMaker->Create(
      Open.BlnDirect ? StgPath.c_str() : "", Open.IntColumns, static_cast<int>(Layout.LngRows), 1,
      RuleOf(Target.Type).GdalType, Open.BlnDirect ? Open.Options.List() : nullptr));
  if (!Open.PtrDataset) {
    FailWrite(StgOutput);
  }
  const double DblCellSize = Layout.DblCellSize;
  double ArrTransform[6] = {Layout.DblWest,
                            DblCellSize,
                            0.0,
                            Layout.DblSouth + static_cast<double>(Layout.LngRows) * DblCellSize,
                            0.0,
                            -DblCellSize};
  Open.PtrBand = Open.PtrDataset->GetRasterBand(1);
  if (Open.PtrDataset->SetGeoTransform(ArrTransform) != CE_None ||
      (!Target.StgCrsText.empty() && Open.PtrDataset->SetSpatialRef(&Crs) != CE_None) ||
      Open.PtrBand->SetNoDataValue(Layout.DblNoData) != CE_None) {
    FailWrite(StgOutput);
  }
  int IntBlockColumns = 0;
  Open.PtrBand->GetBlockSize(&IntBlockColumns, &Open.IntBlockRows);
  Open.IntBlockRows = std::max(1, Open.IntBlockRows);
}

TRasterRowWriter::~TRasterRowWriter() = default;

void TRasterRowWriter::Write(const std::function<const double*(std::size_t)>& RowAt,
                             std::size_t LngRows) {
  TOpen& Open = *MbrPtrOpen;
  UseGdal();
  for (std::size_t LngK = 0; LngK < LngRows; ++LngK) {
    // GDAL takes a writable buffer for both directions; it only reads it here.
    double* PtrRow = const_cast<double*>(RowAt(LngK));
    if (Open.PtrBand->RasterIO(GF_Write, 0, Open.IntWritten, Open.IntColumns, 1, PtrRow,
                               Open.IntColumns, 1, GDT_Float64, 0, 0, nullptr) != CE_None) {
      FailWrite(Open.StgOutput);
    }
    ++Open.IntWritten;
    // A row of blocks is complete: written out now rather than held in GDAL's cache, and never
    // before, so that no block goes out half filled.
    if (Open.BlnDirect && Open.IntWritten % Open.IntBlockRows == 0 &&
        Open.PtrBand->FlushCache(false) != CE_None) {
      FailWrite(Open.StgOutput);
    }
  }
}

void TRasterRowWriter::Finish() {
  TOpen& Open = *MbrPtrOpen;
  UseGdal();
  if (!Open.BlnDirect) {
    TDatasetPtr PtrCopy(Open.PtrDriver->CreateCopy(Open.StgPath.c_str(), Open.PtrDataset.get(),
                                                   FALSE, Open.Options.List(), nullptr, nullptr));
    if (!PtrCopy) {
      FailWrite(Open.StgOutput);
    }
    CPLErrorReset();
    PtrCopy.reset();
  } else {
    // Closing flushes the last blocks; a failure there is a failure of the write.
    CPLErrorReset();
    Open.PtrDataset.reset();
  }
  if (CPLGetLastErrorType() == CE_Failure || CPLGetLastErrorType() == CE_Fatal) {
    FailWrite(Open.StgOutput);
  }
}

void WriteRaster(const TMap& Map, const TGridLayout& Layout, const TRasterTarget& Target,
                 const std::string& StgPath, const std::string& StgOutput) {
  TRasterRowWriter Writer(Layout, Target, StgPath, StgOutput);
  Writer.Write([&Map](std::size_t LngRow) { return Map.MbrVecValues[LngRow].data(); },
               Map.MbrVecValues.size());
  Writer.Finish();
}

}  // namespace tessgrid::detail
