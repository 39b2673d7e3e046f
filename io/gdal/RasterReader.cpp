// io/gdal/RasterReader.cpp - TRasterReader: one band of a raster GDAL opens, checked against the
// map model (north-up, square cells) and read in row windows of whole blocks.
// The contracts are in io/gdal/Rasters.h.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ogr_spatialref.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <sstream>

#include "io/FileDescriptor.h"
#include "io/GridReader.h"
#include "io/NumberText.h"
#include "io/gdal/GdalSession.h"
#include "io/gdal/Rasters.h"
#include "model/Fail.h"

namespace tessgrid::detail {

struct TRasterReader::TOpen {
  std::string StgFileName;
  TDatasetPtr PtrDataset;
  GDALRasterBand* PtrBand = nullptr;  ///< owned by the dataset
  TGridHeader Header;
  TRasterFacts Facts;
  std::string StgCrsText;
};

namespace {

// Rows a window of ReadMap holds at least, when the raster's blocks are fewer rows.
constexpr long kLngWindowRows = 64;

// The open option of a raster read on its caller's thread alone: formats that decode blocks on
// GDAL's threads (GDAL_NUM_THREADS) take it, the others ignore it.
const char* const kPtrOwnThreadOnly[] = {"NUM_THREADS=1", nullptr};

// The first word of every ASCII grid the lenient rule reads.
constexpr const char* kPtrGridKeys[] = {"ncols",     "nrows",       "xllcorner", "yllcorner",
                                        "xllcenter", "yllcenter",   "cellsize",  "dx",
                                        "dy",        "nodata_value"};

bool EndsWithAsc(const std::string& StgFileName) {
  if (StgFileName.size() < 4) {
    return false;
  }
  std::string StgEnd = StgFileName.substr(StgFileName.size() - 4);
  std::transform(StgEnd.begin(), StgEnd.end(), StgEnd.begin(),
                 [](unsigned char ChrC) { return static_cast<char>(std::tolower(ChrC)); });
  return StgEnd == ".asc";
}

// True for a regular file whose first word is a key of the ASCII grid header. A file that cannot
// be opened is left to the own reader too, which reports it in its words.
bool RegularNonGrid(const std::string& StgFileName) {
  struct stat FileStat {};
  if (::stat(StgFileName.c_str(), &FileStat) != 0 || !S_ISREG(FileStat.st_mode)) {
    return false;
  }
  const TFileDescriptor File(::open(StgFileName.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC));
  if (File.Get() < 0) {
    return false;
  }
  char ChrStart[64] = {};
  const ssize_t LngRead = ::read(File.Get(), ChrStart, sizeof ChrStart);
  if (LngRead < 0) {
    return false;
  }
  std::size_t LngAt = 0;
  const std::size_t LngEnd = static_cast<std::size_t>(LngRead);
  while (LngAt < LngEnd && std::isspace(static_cast<unsigned char>(ChrStart[LngAt])) != 0) {
    ++LngAt;
  }
  std::string StgWord;
  while (LngAt < LngEnd && (std::isalpha(static_cast<unsigned char>(ChrStart[LngAt])) != 0 ||
                            ChrStart[LngAt] == '_')) {
    StgWord += static_cast<char>(std::tolower(static_cast<unsigned char>(ChrStart[LngAt])));
    ++LngAt;
  }
  return std::none_of(std::begin(kPtrGridKeys), std::end(kPtrGridKeys),
                      [&StgWord](const char* PtrKey) { return StgWord == PtrKey; });
}

std::string Shown(double DblValue) {
  static const TNumberFormat kFormat = NumberFormatOf(std::ostringstream());
  return NumberText(DblValue, kFormat);
}

// The geometry of the map model: a north-up geotransform with square cells.
void CheckGeotransform(const std::string& StgName, const double (&ArrTransform)[6]) {
  if (ArrTransform[2] != 0.0 || ArrTransform[4] != 0.0) {
    Fail(StgName + ": the raster is rotated; tessgrid-tool takes north-up grids only");
  }
  if (ArrTransform[5] > 0.0) {
    Fail(StgName + ": rows run from south to north; tessgrid-tool takes north-up grids only");
  }
  // Programs that store the height as a computed quotient leave it a few units in the last
  // place from the width; anything more is a cell of another shape.
  const double DblWidth = ArrTransform[1];
  const double DblHeight = -ArrTransform[5];
  if (!(DblWidth > 0.0) || std::fabs(DblWidth - DblHeight) > 1e-9 * DblWidth) {
    Fail(StgName + ": cells are not square (" + Shown(DblWidth) + " by " + Shown(DblHeight) +
         "); tessgrid-tool takes square cells only");
  }
}

}  // namespace

std::unique_ptr<TRasterReader> TRasterReader::OpenIfRaster(const std::string& StgFileName,
                                                           int IntBand, bool BlnSideBySide) {
  if (StgFileName == "-" || EndsWithAsc(StgFileName) || !RegularNonGrid(StgFileName)) {
    return nullptr;
  }
  UseGdal();
  auto PtrOpen = std::make_unique<TOpen>();
  PtrOpen->StgFileName = StgFileName;
  PtrOpen->PtrDataset.reset(GDALDataset::Open(StgFileName.c_str(),
                                              GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr,
                                              BlnSideBySide ? kPtrOwnThreadOnly : nullptr));
  if (!PtrOpen->PtrDataset) {
    // No driver took the file: it is no raster. A driver that took it and failed said why.
    if (CPLGetLastErrorType() == CE_None) {
      return nullptr;
    }
    Fail("Unable to read file " + StgFileName + ": " + GdalMessage());
  }
  GDALDataset& Dataset = *PtrOpen->PtrDataset;
  GDALDriver* PtrDriver = Dataset.GetDriver();
  // GDAL's ASCII grid driver is stricter than the own lenient reader and rounds nothing better.
  if (PtrDriver != nullptr && std::strcmp(PtrDriver->GetDescription(), "AAIGrid") == 0) {
    return nullptr;
  }
  const int IntBands = Dataset.GetRasterCount();
  if (IntBand < 1 || IntBand > IntBands) {
    Fail(StgFileName + ": no band " + std::to_string(IntBand) + " (the raster has " +
         std::to_string(IntBands) + ")");
  }
  GDALRasterBand& Band = *Dataset.GetRasterBand(IntBand);
  PtrOpen->PtrBand = &Band;
  if (GDALDataTypeIsComplex(Band.GetRasterDataType()) != 0) {
    Fail(StgFileName + ": band " + std::to_string(IntBand) +
         " holds complex numbers; tessgrid-tool takes real ones only");
  }
  double ArrTransform[6] = {0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
  if (Dataset.GetGeoTransform(ArrTransform) != CE_None) {
    Fail(StgFileName +
         ": the raster has no geotransform; tessgrid-tool needs one to place its "
         "cells");
  }
  CheckGeotransform(StgFileName, ArrTransform);

  TGridHeader& Header = PtrOpen->Header;
  Header.LngColumns = Dataset.GetRasterXSize();
  Header.LngRows = Dataset.GetRasterYSize();
  Header.DblXll = ArrTransform[0];
  Header.DblYll = ArrTransform[3] + static_cast<double>(Header.LngRows) * ArrTransform[5];
  Header.DblCellSize = ArrTransform[1];
  int IntHasNoData = 0;
  const double DblNoData = Band.GetNoDataValue(&IntHasNoData);
  Header.BlnNoDataRead = IntHasNoData != 0;
  Header.DblNoData = Header.BlnNoDataRead ? DblNoData : -9999.0;

  TRasterFacts& Facts = PtrOpen->Facts;
  Facts.StgFormat = PtrDriver != nullptr ? PtrDriver->GetDescription() : "";
  Facts.StgType = GDALGetDataTypeName(Band.GetRasterDataType());
  // GDAL before 3.7 has no Int8: such cells are Byte marked as signed.
  const char* PtrPixelType = Band.GetMetadataItem("PIXELTYPE", "IMAGE_STRUCTURE");
  if (Band.GetRasterDataType() == GDT_Byte && PtrPixelType != nullptr &&
      std::strcmp(PtrPixelType, "SIGNEDBYTE") == 0) {
    Facts.StgType = "Int8";
  }
  Facts.LngBands = IntBands;
  int IntBlockColumns = 0;
  int IntBlockRows = 0;
  Band.GetBlockSize(&IntBlockColumns, &IntBlockRows);
  Facts.LngBlockColumns = std::max(1, IntBlockColumns);
  Facts.LngBlockRows = std::max(1, IntBlockRows);
  if (const OGRSpatialReference* PtrCrs = Dataset.GetSpatialRef()) {
    const char* PtrName = PtrCrs->GetName();
    Facts.StgCrsName = PtrName != nullptr ? PtrName : "";
    char* PtrWkt = nullptr;
    if (PtrCrs->exportToWkt(&PtrWkt) == OGRERR_NONE && PtrWkt != nullptr) {
      PtrOpen->StgCrsText = PtrWkt;
    }
    CPLFree(PtrWkt);
  }
  return std::unique_ptr<TRasterReader>(new TRasterReader(std::move(PtrOpen)));
}

TRasterReader::TRasterReader(std::unique_ptr<TOpen> PtrOpen) : MbrPtrOpen(std::move(PtrOpen)) {}

TRasterReader::~TRasterReader() = default;

const TGridHeader& TRasterReader::Header() const {
  return MbrPtrOpen->Header;
}

const TRasterFacts& TRasterReader::Facts() const {
  return MbrPtrOpen->Facts;
}

const std::string& TRasterReader::CrsText() const {
  return MbrPtrOpen->StgCrsText;
}

void TRasterReader::ReadRows(long LngFirst, long LngCount,
                             const std::function<double*(long)>& RowAt) {
  const TGridHeader& Header = MbrPtrOpen->Header;
  if (LngFirst < 0 || LngCount < 1 || LngCount > Header.LngRows - LngFirst) {
    Fail("Row window is outside the raster in TRasterReader::ReadRows");
  }
  UseGdal();
  const std::size_t LngColumns = static_cast<std::size_t>(Header.LngColumns);
  const int IntColumns = static_cast<int>(Header.LngColumns);
  // Each run of rows that lie one after the other in memory is one call. The window's blocks
  // stay in GDAL's cache from one run to the next, and go once the window is read: no later
  // window reads them again, so memory follows the window rather than the raster.
  for (long LngStart = 0; LngStart < LngCount;) {
    double* const PtrStart = RowAt(LngStart);
    long LngEnd = LngStart + 1;
    while (LngEnd < LngCount &&
           RowAt(LngEnd) == PtrStart + static_cast<std::size_t>(LngEnd - LngStart) * LngColumns) {
      ++LngEnd;
    }
    const int IntRun = static_cast<int>(LngEnd - LngStart);
    if (MbrPtrOpen->PtrBand->RasterIO(GF_Read, 0, static_cast<int>(LngFirst + LngStart), IntColumns,
                                      IntRun, PtrStart, IntColumns, IntRun, GDT_Float64, 0, 0,
                                      nullptr) != CE_None) {
      const std::string StgMessage = GdalMessage();
      MbrPtrOpen->PtrBand->FlushCache(false);
      Fail("Unable to read file " + MbrPtrOpen->StgFileName + ": " + StgMessage);
    }
    if (!Header.BlnNoDataRead) {
      const std::size_t LngCells = static_cast<std::size_t>(IntRun) * LngColumns;
      const double* PtrFound = std::find(PtrStart, PtrStart + LngCells, -9999.0);
      if (PtrFound != PtrStart + LngCells) {
        MbrPtrOpen->PtrBand->FlushCache(false);
        const std::size_t LngCell = static_cast<std::size_t>(PtrFound - PtrStart);
        Fail("File format error: cell at row " +
             std::to_string(static_cast<std::size_t>(LngFirst + LngStart) + LngCell / LngColumns) +
             ", column " + std::to_string(LngCell % LngColumns) + " of " + MbrPtrOpen->StgFileName +
             " holds -9999 but the raster declares no no-data value");
      }
    }
    LngStart = LngEnd;
  }
  MbrPtrOpen->PtrBand->FlushCache(false);
}

void TRasterReader::ReadRows(long LngFirst, long LngCount, double* PtrRows) {
  const std::size_t LngColumns = static_cast<std::size_t>(MbrPtrOpen->Header.LngColumns);
  ReadRows(LngFirst, LngCount, [PtrRows, LngColumns](long LngRow) {
    return PtrRows + static_cast<std::size_t>(LngRow) * LngColumns;
  });
}

std::unique_ptr<TMap> TRasterReader::ReadMap() {
  const TGridHeader& Header = MbrPtrOpen->Header;
  const std::size_t LngColumns = static_cast<std::size_t>(Header.LngColumns);
  // Whole blocks at a time, and rasters stored in strips of a few rows a few dozen at once, so
  // that each call to GDAL carries enough rows to be worth it.
  const long LngBlockRows = MbrPtrOpen->Facts.LngBlockRows;
  const long LngWindowRows = LngBlockRows * std::max(1L, kLngWindowRows / LngBlockRows);
  std::vector<std::vector<double>> VecRows(static_cast<std::size_t>(Header.LngRows));
  std::vector<double> VecWindow(static_cast<std::size_t>(LngWindowRows) * LngColumns);
  for (long LngFirst = 0; LngFirst < Header.LngRows; LngFirst += LngWindowRows) {
    const long LngCount = std::min(LngWindowRows, Header.LngRows - LngFirst);
    ReadRows(LngFirst, LngCount, VecWindow.data());
    for (long LngRow = 0; LngRow < LngCount; ++LngRow) {
      const double* PtrRow = VecWindow.data() + static_cast<std::size_t>(LngRow) * LngColumns;
      VecRows[static_cast<std::size_t>(LngFirst + LngRow)].assign(PtrRow, PtrRow + LngColumns);
    }
  }
  return MapOfGrid(Header, VecRows);
}

}  // namespace tessgrid::detail
