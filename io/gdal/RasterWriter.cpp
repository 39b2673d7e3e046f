// io/gdal/RasterWriter.cpp - maps written as rasters of GDAL's formats: the output types, the
// checks that every cell fits its type and that the format keeps it, the GeoTIFF defaults, the
// write itself and the reading back that proves it. The contracts are in io/gdal/Rasters.h.
#include <cpl_string.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>

#include "io/NumberText.h"
#include "io/gdal/CoordinateSystems.h"
#include "io/gdal/GdalSession.h"
#include "io/gdal/Rasters.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// A type's GDAL name and type, its range, whether it holds whole numbers only, and its bits.
struct TTypeRule {
  TRasterType Type;
  const char* PtrName;
  GDALDataType GdalType;
  double DblLowest;
  double DblHighest;
  bool BlnWhole;
  int IntBits;
};

constexpr TTypeRule kArrRules[] = {
    {TRasterType::kFloat64, "Float64", GDT_Float64, -DBL_MAX, DBL_MAX, false, 64},
    {TRasterType::kFloat32, "Float32", GDT_Float32, -FLT_MAX, FLT_MAX, false, 32},
    {TRasterType::kInt32, "Int32", GDT_Int32, -2147483648.0, 2147483647.0, true, 32},
    {TRasterType::kUInt32, "UInt32", GDT_UInt32, 0.0, 4294967295.0, true, 32},
    {TRasterType::kInt16, "Int16", GDT_Int16, -32768.0, 32767.0, true, 16},
    {TRasterType::kUInt16, "UInt16", GDT_UInt16, 0.0, 65535.0, true, 16},
    {TRasterType::kByte, "Byte", GDT_Byte, 0.0, 255.0, true, 8},
};

// Formats whose "file" is no file of the cells: memory, a description of other rasters, a
// service or a database.
constexpr const char* kPtrNoFileFormats[] = {"MEM", "VRT", "WMS", "WMTS", "PostGISRaster", "NGW"};

constexpr const char* kPtrChanges = "; the cells would not read back as written";

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

bool SameName(const char* PtrA, const char* PtrB) {
  return EQUAL(PtrA, PtrB);
}

// The creation options of the target, each key once: the user's come last and replace the
// defaults of the same key.
// "A", "A or B", "A, B or C".
std::string Alternatives(const std::vector<std::string>& VecNames) {
  std::string StgText;
  for (std::size_t LngI = 0; LngI < VecNames.size(); ++LngI) {
    StgText += (LngI == 0 ? "" : LngI + 1 == VecNames.size() ? " or " : ", ") + VecNames[LngI];
  }
  return StgText;
}

void CheckHoldsType(GDALDriver& Driver, const TTypeRule& Rule, const std::string& StgOutput) {
  const char* PtrTypes = Driver.GetMetadataItem(GDAL_DMD_CREATIONDATATYPES);
  if (PtrTypes == nullptr) {
    return;  // the format does not say; reading the raster back tells
  }
  const CPLStringList Listed(CSLTokenizeString(PtrTypes));
  std::vector<std::string> VecHeld;
  for (const TTypeRule& Candidate : kArrRules) {
    if (Listed.FindString(Candidate.PtrName) >= 0) {
      VecHeld.emplace_back(Candidate.PtrName);
    }
  }
  if (std::find(VecHeld.begin(), VecHeld.end(), Rule.PtrName) != VecHeld.end()) {
    return;
  }
  const std::string StgFormat = Driver.GetDescription();
  if (VecHeld.empty()) {
    Fail(StgOutput + ": GDAL's format " + StgFormat +
         " holds none of the cell types tessgrid-tool writes; choose another with --format");
  }
  Fail(StgOutput + ": GDAL's format " + StgFormat + " holds " + Alternatives(VecHeld) +
       " cells, not " + Rule.PtrName + "; choose one with --type");
}

[[noreturn]] void FailOption(const std::string& StgOutput, const char* PtrKey, const char* PtrValue,
                             const std::string& StgDoes) {
  Fail(StgOutput + ": the creation option " + PtrKey + "=" + PtrValue + " " + StgDoes +
       kPtrChanges);
}

// The options of GeoTIFF and Cloud-Optimized GeoTIFF that change what a cell reads back as.
void CheckGeoTiffOptions(const CPLStringList& Options, const TTypeRule& Rule, bool BlnCog,
                         const std::string& StgOutput) {
  if (const char* PtrCompress = Options.FetchNameValue("COMPRESS")) {
    if (SameName(PtrCompress, "JPEG")) {
      FailOption(StgOutput, "COMPRESS", PtrCompress, "compresses with loss");
    }
    // COG's WEBP is lossless at quality 100, GeoTIFF's when asked.
    if (SameName(PtrCompress, "WEBP") &&
        !(BlnCog ? CPLAtof(Options.FetchNameValueDef("QUALITY", "75")) == 100.0
                 : CPLTestBool(Options.FetchNameValueDef("WEBP_LOSSLESS", "NO")))) {
      FailOption(StgOutput, "COMPRESS", PtrCompress,
                 BlnCog ? "compresses with loss unless QUALITY=100"
                        : "compresses with loss unless WEBP_LOSSLESS=YES");
    }
    if (STARTS_WITH_CI(PtrCompress, "LERC")) {
      const char* PtrError = Options.FetchNameValueDef("MAX_Z_ERROR", "0");
      if (CPLAtof(PtrError) != 0.0) {
        FailOption(StgOutput, "MAX_Z_ERROR", PtrError,
                   std::string("lets LERC change each cell by up to ") + PtrError);
      }
    }
    if (SameName(PtrCompress, "JXL") &&
        !CPLTestBool(Options.FetchNameValueDef("JXL_LOSSLESS", "YES"))) {
      FailOption(StgOutput, "COMPRESS", PtrCompress,
                 "compresses with loss unless JXL_LOSSLESS=YES");
    }
  }
  if (const char* PtrBits = Options.FetchNameValue("NBITS")) {
    if (std::atoi(PtrBits) != Rule.IntBits) {
      FailOption(StgOutput, "NBITS", PtrBits,
                 "keeps " + std::to_string(std::atoi(PtrBits)) + " bits of each " + Rule.PtrName +
                     " cell");
    }
  }
  if (const char* PtrLsb = Options.FetchNameValue("DISCARD_LSB")) {
    FailOption(StgOutput, "DISCARD_LSB", PtrLsb, "drops the low bits of each cell");
  }
  if (const char* PtrPixel = Options.FetchNameValue("PIXELTYPE")) {
    if (Rule.Type == TRasterType::kByte && !SameName(PtrPixel, "DEFAULT")) {
      FailOption(StgOutput, "PIXELTYPE", PtrPixel, "makes Byte cells read as signed");
    }
  }
  if (!BlnCog) {
    return;
  }
  if (const char* PtrScheme = Options.FetchNameValue("TILING_SCHEME")) {
    if (!SameName(PtrScheme, "CUSTOM")) {
      FailOption(StgOutput, "TILING_SCHEME", PtrScheme, "resamples the grid to a tiling scheme");
    }
  }
  for (const char* PtrKey : {"TARGET_SRS", "RES", "EXTENT"}) {
    if (const char* PtrValue = Options.FetchNameValue(PtrKey)) {
      FailOption(StgOutput, PtrKey, PtrValue, "resamples the grid to another grid");
    }
  }
}

// Formats that compress every raster they write, with loss unless told otherwise.
void CheckLossyFormats(const CPLStringList& Options, const std::string& StgFormat,
                       const std::string& StgOutput) {
  std::string StgUnless;
  if (StgFormat == "JPEG") {
    StgUnless = "";
  } else if (StgFormat == "WEBP") {
    if (CPLTestBool(Options.FetchNameValueDef("LOSSLESS", "NO"))) {
      return;
    }
    StgUnless = " unless LOSSLESS=YES";
  } else if (StgFormat == "JP2OpenJPEG") {
    if (CPLAtof(Options.FetchNameValueDef("QUALITY", "25")) == 100.0 &&
        CPLTestBool(Options.FetchNameValueDef("REVERSIBLE", "NO")) &&
        !CPLTestBool(Options.FetchNameValueDef("YCBCR420", "NO"))) {
      return;
    }
    StgUnless = " unless QUALITY=100 and REVERSIBLE=YES";
  } else {
    return;
  }
  Fail(StgOutput + ": GDAL's format " + StgFormat + " compresses with loss" + StgUnless +
       kPtrChanges);
}

// A value as the band holds it, with every NaN and both zeros alike: what the digest of a row
// takes, on the way in and on the way back.
std::uint64_t CellBits(double DblValue) {
  if (std::isnan(DblValue)) {
    return 0x7ff8000000000000U;
  }
  if (DblValue == 0.0) {
    return 0;
  }
  std::uint64_t LngBits = 0;
  std::memcpy(&LngBits, &DblValue, sizeof LngBits);
  return LngBits;
}

// A digest of a row of cells, which any change of a single cell changes: each step is a
// bijection of the digest so far.
std::uint64_t RowDigest(const double* PtrCells, std::size_t LngColumns, bool BlnSingle) {
  std::uint64_t LngDigest = 0xcbf29ce484222325U;
  for (std::size_t LngColumn = 0; LngColumn < LngColumns; ++LngColumn) {
    const double DblCell = BlnSingle ? static_cast<double>(static_cast<float>(PtrCells[LngColumn]))
                                     : PtrCells[LngColumn];
    LngDigest = (LngDigest ^ CellBits(DblCell)) * 0x100000001b3U;
    LngDigest ^= LngDigest >> 29;
  }
  return LngDigest;
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

bool TypeHolds(TRasterType Type, double DblValue) {
  const TTypeRule& Rule = RuleOf(Type);
  if (Type == TRasterType::kFloat32 && std::isfinite(DblValue)) {
    return static_cast<double>(static_cast<float>(DblValue)) == DblValue;
  }
  return Fits(Rule, DblValue);
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

void CheckRasterTarget(const TRasterTarget& Target, const std::string& StgOutput) {
  GDALDriver* PtrDriver = WritingDriver(Target.StgFormat);
  if (PtrDriver == nullptr) {
    Fail("GDAL has no raster format " + Target.StgFormat + " that it can write");
  }
  const std::string StgFormat = PtrDriver->GetDescription();
  for (const char* PtrNoFile : kPtrNoFileFormats) {
    if (SameName(StgFormat.c_str(), PtrNoFile)) {
      Fail(StgOutput + ": GDAL's format " + StgFormat +
           " writes no file that holds the cells; choose another with --format");
    }
  }
  const TTypeRule& Rule = RuleOf(Target.Type);
  CheckHoldsType(*PtrDriver, Rule, StgOutput);
  const CPLStringList Options = NameValueList(Target.VecOptions);
  CheckLossyFormats(Options, StgFormat, StgOutput);
  if (StgFormat == "GTiff" || StgFormat == "COG") {
    CheckGeoTiffOptions(Options, Rule, StgFormat == "COG", StgOutput);
  }
}

const std::vector<std::string>& RasterCompanions() {
  static const std::vector<std::string> kVecCompanions = {".aux.xml", ".ovr", ".msk"};
  return kVecCompanions;
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
  GDALRasterBand* PtrBand = nullptr;      ///< the band being written
  int IntBands = 1;                       ///< bands of the raster, written one after the other
  TGridLayout Layout{};                   ///< the grid as it is to read back
  const TTypeRule* PtrRule = nullptr;     ///< the cells' type
  bool BlnCrs = false;                    ///< the raster is to hold a coordinate system
  std::vector<std::uint64_t> VecDigests;  ///< per row written: RowDigest as the band holds it
  int IntColumns = 0;
  int IntBlockRows = 1;  ///< rows of the band's blocks
  int IntWritten = 0;    ///< rows written so far, band after band

  // GDAL's message, with the writer's own path given as the output's name.
  std::string UserText(const std::string& StgMessage) const {
    std::string StgText = StgMessage;
    const std::size_t LngSlash = StgPath.rfind('/');
    const std::size_t LngOutputSlash = StgOutput.rfind('/');
    const std::string StgFolder =
        LngSlash == std::string::npos ? "" : StgPath.substr(0, LngSlash + 1);
    const std::string StgOutputFolder =
        LngOutputSlash == std::string::npos ? "" : StgOutput.substr(0, LngOutputSlash + 1);
    for (const auto& [StgFrom, StgTo] :
         {std::make_pair(StgPath, StgOutput), std::make_pair(StgFolder, StgOutputFolder)}) {
      if (StgFrom.empty()) {
        continue;
      }
      for (std::size_t LngAt = StgText.find(StgFrom); LngAt != std::string::npos;
           LngAt = StgText.find(StgFrom, LngAt + StgTo.size())) {
        StgText.replace(LngAt, StgFrom.size(), StgTo);
      }
    }
    return StgText;
  }

  [[noreturn]] void FailWrite(const TGdalFailureTrap& Trap) const {
    Fail("Unable to write file " + StgOutput + ": " +
         UserText(Trap.Failed() ? Trap.Message() : GdalMessage()));
  }

  [[noreturn]] void FailUnread(const TGdalFailureTrap& Trap) const {
    Fail("Unable to write file " + StgOutput + ": GDAL cannot read back what its format " +
         PtrDriver->GetDescription() + " wrote: " + UserText(Trap.Message()));
  }

  // A property the raster lacks is the format's doing, unless GDAL failed to read it: the
  // complaint, for ReadBack to confirm on a second reading.
  std::string Lacks(const TGdalFailureTrap& Trap, const std::string& StgHow) const {
    if (Trap.Failed()) {
      FailUnread(Trap);
    }
    return StgOutput + ": GDAL's format " + PtrDriver->GetDescription() + " reads back " + StgHow +
           "; the format or its options do not keep the grid as written";
  }

  // Opens the raster written and checks that it holds the grid, its no-data value, coordinate
  // system and every cell as they were written. A difference is read a second time before it
  // fails the run: GDAL may fail without a word (an allocation whose report itself found no
  // memory), and a raster that reads back whole the second time is the one written.
  void ReadBack() const;

  // One reading of ReadBack's: the difference found, or an empty text.
  std::string ReadBackOnce() const;

  // ReadBackOnce's reading of one band.
  std::string ReadBandBack(const TGdalFailureTrap& Trap, GDALDataset& Written, int IntBand) const;
};

void TRasterRowWriter::TOpen::ReadBack() const {
  if (ReadBackOnce().empty()) {
    return;
  }
  const std::string StgDifference = ReadBackOnce();
  if (!StgDifference.empty()) {
    Fail(StgDifference);
  }
}

std::string TRasterRowWriter::TOpen::ReadBackOnce() const {
  TGdalFailureTrap Trap;
  const TDatasetPtr PtrWritten(GDALDataset::Open(
      StgPath.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR));
  if (!PtrWritten || PtrWritten->GetRasterCount() < 1) {
    FailUnread(Trap);
  }
  GDALDataset& Written = *PtrWritten;
  if (Written.GetRasterXSize() != Layout.LngColumns || Written.GetRasterYSize() != Layout.LngRows) {
    return Lacks(Trap, std::to_string(Written.GetRasterXSize()) + " x " +
                           std::to_string(Written.GetRasterYSize()) + " cells, not " +
                           std::to_string(Layout.LngColumns) + " x " +
                           std::to_string(Layout.LngRows));
  }
  if (Written.GetRasterCount() != IntBands) {
    return Lacks(
        Trap, std::to_string(Written.GetRasterCount()) + " bands, not " + std::to_string(IntBands));
  }
  for (int IntBand = 1; IntBand <= IntBands; ++IntBand) {
    const std::string StgDifference = ReadBandBack(Trap, Written, IntBand);
    if (!StgDifference.empty()) {
      return StgDifference;
    }
  }
  return std::string();
}

std::string TRasterRowWriter::TOpen::ReadBandBack(const TGdalFailureTrap& Trap,
                                                  GDALDataset& Written, int IntBand) const {
  GDALRasterBand& Band = *Written.GetRasterBand(IntBand);
  if (Band.GetRasterDataType() != PtrRule->GdalType) {
    return Lacks(Trap, std::string(GDALGetDataTypeName(Band.GetRasterDataType())) + " cells, not " +
                           PtrRule->PtrName);
  }
  // Formats store the corner and cell size as text or as numbers of their own: what they keep
  // must place every cell where it was, to a millionth of a cell.
  double ArrTransform[6] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  const double DblCell = Layout.DblCellSize;
  const double DblNorth = Layout.DblSouth + static_cast<double>(Layout.LngRows) * DblCell;
  if (Written.GetGeoTransform(ArrTransform) != CE_None ||
      std::fabs(ArrTransform[0] - Layout.DblWest) > 1e-6 * DblCell ||
      std::fabs(ArrTransform[3] - DblNorth) > 1e-6 * DblCell ||
      std::fabs(ArrTransform[1] - DblCell) * static_cast<double>(Layout.LngColumns) >
          1e-6 * DblCell ||
      std::fabs(ArrTransform[5] + DblCell) * static_cast<double>(Layout.LngRows) > 1e-6 * DblCell ||
      ArrTransform[2] != 0.0 || ArrTransform[4] != 0.0) {
    return Lacks(Trap, "another corner or cell size");
  }
  int IntHasNoData = 0;
  const double DblNoData = Band.GetNoDataValue(&IntHasNoData);
  if (IntHasNoData == 0) {
    return Lacks(Trap, "without the NODATA_value " + Shown(Layout.DblNoData));
  }
  if (CellBits(DblNoData) != CellBits(Layout.DblNoData)) {
    return Lacks(Trap, "the NODATA_value " + Shown(DblNoData) + ", not " + Shown(Layout.DblNoData));
  }
  if (BlnCrs && Written.GetSpatialRef() == nullptr) {
    return Lacks(Trap, "without the coordinate system");
  }
  // Windows of whole blocks, dropped from GDAL's cache once read, as the reader reads.
  int IntBlockColumns = 0;
  int IntBlockRows = 0;
  Band.GetBlockSize(&IntBlockColumns, &IntBlockRows);
  const std::size_t LngColumns = static_cast<std::size_t>(Layout.LngColumns);
  IntBlockRows = std::max(1, IntBlockRows);
  const int IntWindow = IntBlockRows * std::max(1, 64 / IntBlockRows);
  std::vector<double> VecCells(static_cast<std::size_t>(IntWindow) * LngColumns);
  for (int IntFirst = 0; IntFirst < Layout.LngRows; IntFirst += IntWindow) {
    const int IntRows = std::min<int>(IntWindow, static_cast<int>(Layout.LngRows) - IntFirst);
    if (Band.RasterIO(GF_Read, 0, IntFirst, IntColumns, IntRows, VecCells.data(), IntColumns,
                      IntRows, GDT_Float64, 0, 0, nullptr) != CE_None ||
        Trap.Failed()) {
      FailUnread(Trap);
    }
    Band.FlushCache(false);
    // Cells GDAL did not keep come from the format or its options as well as from a failure
    // GDAL met without a word (an allocation whose report itself found no memory).
    for (int IntK = 0; IntK < IntRows; ++IntK) {
      const std::size_t LngRow = static_cast<std::size_t>(IntFirst + IntK);
      const std::size_t LngWritten =
          static_cast<std::size_t>(IntBand - 1) * static_cast<std::size_t>(Layout.LngRows) + LngRow;
      if (RowDigest(VecCells.data() + static_cast<std::size_t>(IntK) * LngColumns, LngColumns,
                    false) != VecDigests[LngWritten]) {
        return "Unable to write file " + StgOutput +
               ": GDAL reads back other cells than were written, in row " + std::to_string(LngRow) +
               (IntBands > 1 ? " of band " + std::to_string(IntBand) : std::string());
      }
    }
  }
  return std::string();
}

TRasterRowWriter::TRasterRowWriter(const TGridLayout& Layout, const TRasterTarget& Target,
                                   const std::string& StgPath, const std::string& StgOutput,
                                   int IntBands)
    : MbrPtrOpen(std::make_unique<TOpen>()) {
  CheckRasterTarget(Target, StgOutput);
  TOpen& Open = *MbrPtrOpen;
  Open.StgPath = StgPath;
  Open.StgOutput = StgOutput;
  Open.PtrDriver = WritingDriver(Target.StgFormat);
  Open.Layout = Layout;
  Open.PtrRule = &RuleOf(Target.Type);
  Open.BlnCrs = !Target.StgCrsText.empty();
  Open.IntBands = std::max(1, IntBands);
  Open.VecDigests.reserve(static_cast<std::size_t>(Layout.LngRows) *
                          static_cast<std::size_t>(Open.IntBands));
  OGRSpatialReference Crs;
  if (!Target.StgCrsText.empty() && !ReadCoordinateSystem(Target.StgCrsText, Crs)) {
    Fail(StgOutput + ": GDAL does not understand the coordinate system of " + Target.StgCrsOrigin);
  }
  Open.Options = NameValueList(Target.VecOptions);
  Open.IntColumns = static_cast<int>(Layout.LngColumns);
  Open.BlnDirect = Open.PtrDriver->GetMetadataItem(GDAL_DCAP_CREATE) != nullptr;
  GDALDriver* PtrMaker =
      Open.BlnDirect ? Open.PtrDriver : GetGDALDriverManager()->GetDriverByName("MEM");
  const TGdalFailureTrap Trap;
  Open.PtrDataset.reset(PtrMaker->Create(
      Open.BlnDirect ? StgPath.c_str() : "", Open.IntColumns, static_cast<int>(Layout.LngRows),
      Open.IntBands, Open.PtrRule->GdalType, Open.BlnDirect ? Open.Options.List() : nullptr));
  if (!Open.PtrDataset || Trap.Failed()) {
    Open.FailWrite(Trap);
  }
  const double DblCellSize = Layout.DblCellSize;
  double ArrTransform[6] = {Layout.DblWest,
                            DblCellSize,
                            0.0,
                            Layout.DblSouth + static_cast<double>(Layout.LngRows) * DblCellSize,
                            0.0,
                            -DblCellSize};
  Open.PtrBand = Open.PtrDataset->GetRasterBand(1);
  // A format that refuses a property without a word says nothing GDAL could pass on.
  const auto CheckTaken = [&Open, &Trap](bool BlnTaken, const std::string& StgWhat) {
    if (Trap.Failed()) {
      Open.FailWrite(Trap);
    }
    if (!BlnTaken) {
      Fail(Open.StgOutput + ": GDAL's format " + Open.PtrDriver->GetDescription() +
           " does not take " + StgWhat);
    }
  };
  CheckTaken(Open.PtrDataset->SetGeoTransform(ArrTransform) == CE_None,
             "the grid's corner and cell size");
  CheckTaken(Target.StgCrsText.empty() || Open.PtrDataset->SetSpatialRef(&Crs) == CE_None,
             "the coordinate system of " + Target.StgCrsOrigin);
  for (int IntBand = 1; IntBand <= Open.IntBands; ++IntBand) {
    CheckTaken(Open.PtrDataset->GetRasterBand(IntBand)->SetNoDataValue(Layout.DblNoData) == CE_None,
               "the NODATA_value " + Shown(Layout.DblNoData));
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
  const TGdalFailureTrap Trap;
  const bool BlnSingle = Open.PtrRule->Type == TRasterType::kFloat32;
  const int IntRows = static_cast<int>(Open.Layout.LngRows);
  for (std::size_t LngK = 0; LngK < LngRows; ++LngK) {
    if (Open.IntWritten == IntRows * Open.IntBands) {
      Fail("Every row is written in TRasterRowWriter::Write");
    }
    // A band is complete: its last blocks go out, and the next band begins.
    if (Open.IntWritten > 0 && Open.IntWritten % IntRows == 0) {
      if (Open.BlnDirect && (Open.PtrBand->FlushCache(false) != CE_None || Trap.Failed())) {
        Open.FailWrite(Trap);
      }
      Open.PtrBand = Open.PtrDataset->GetRasterBand(Open.IntWritten / IntRows + 1);
    }
    const int IntRow = Open.IntWritten % IntRows;
    // GDAL takes a writable buffer for both directions; it only reads it here.
    double* PtrRow = const_cast<double*>(RowAt(LngK));
    if (Open.PtrBand->RasterIO(GF_Write, 0, IntRow, Open.IntColumns, 1, PtrRow, Open.IntColumns, 1,
                               GDT_Float64, 0, 0, nullptr) != CE_None ||
        Trap.Failed()) {
      Open.FailWrite(Trap);
    }
    Open.VecDigests.push_back(
        RowDigest(PtrRow, static_cast<std::size_t>(Open.IntColumns), BlnSingle));
    ++Open.IntWritten;
    // A row of blocks is complete: written out now rather than held in GDAL's cache, and never
    // before, so that no block goes out half filled.
    if (Open.BlnDirect && (IntRow + 1) % Open.IntBlockRows == 0 &&
        (Open.PtrBand->FlushCache(false) != CE_None || Trap.Failed())) {
      Open.FailWrite(Trap);
    }
  }
}

void TRasterRowWriter::Finish() {
  TOpen& Open = *MbrPtrOpen;
  if (Open.IntWritten != Open.Layout.LngRows * Open.IntBands) {
    Fail("Not every row is written in TRasterRowWriter::Finish");
  }
  UseGdal();
  {
    const TGdalFailureTrap Trap;
    if (!Open.BlnDirect) {
      // Strict: a format that cannot hold what the copy holds fails rather than approximates.
      TDatasetPtr PtrCopy(Open.PtrDriver->CreateCopy(Open.StgPath.c_str(), Open.PtrDataset.get(),
                                                     TRUE, Open.Options.List(), nullptr, nullptr));
      if (!PtrCopy || Trap.Failed()) {
        Open.FailWrite(Trap);
      }
      Open.PtrDataset.reset();
    }
    // Closing flushes the last blocks; the trap holds any failure there.
    Open.PtrDataset.reset();
    if (Trap.Failed()) {
      Open.FailWrite(Trap);
    }
  }
  Open.ReadBack();
}

void WriteRaster(const TMap& Map, const TGridLayout& Layout, const TRasterTarget& Target,
                 const std::string& StgPath, const std::string& StgOutput) {
  TRasterRowWriter Writer(Layout, Target, StgPath, StgOutput);
  Writer.Write([&Map](std::size_t LngRow) { return Map.MbrVecValues[LngRow].data(); },
               Map.MbrVecValues.size());
  Writer.Finish();
}

void StageRasterFile(TOutputSet& Outputs, const std::string& StgOutput,
                     const std::function<void(const std::string&)>& Write) {
  Outputs.StageFile(StgOutput, Write, RasterCompanions());
}

}  // namespace tessgrid::detail
