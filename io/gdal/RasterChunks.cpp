// io/gdal/RasterChunks.cpp - chunks compressed where they are computed and placed tile by tile.
// The contracts are in io/gdal/RasterChunks.h.
#include "io/gdal/RasterChunks.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "io/gdal/RasterWindows.h"
#include "model/Fail.h"

namespace tessgrid::detail {

namespace {

// A TIFF file opened through libtiff itself: GDAL has no call that writes a tile's compressed
// bytes as they are. libtiff's messages are kept for ours instead of printed.
class TTiffFile {
 public:
  TTiffFile(const std::string& StgPath, const char* PtrMode) {
    TIFFOpenOptions* PtrOptions = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(PtrOptions, Keep, this);
    TIFFOpenOptionsSetWarningHandlerExtR(PtrOptions, Ignore, nullptr);
    MbrPtrTiff = TIFFOpenExt(StgPath.c_str(), PtrMode, PtrOptions);
    TIFFOpenOptionsFree(PtrOptions);
  }
  ~TTiffFile() {
    if (MbrPtrTiff != nullptr) {
      TIFFClose(MbrPtrTiff);
    }
  }
  TTiffFile(const TTiffFile&) = delete;
  TTiffFile& operator=(const TTiffFile&) = delete;

  TIFF* Get() const { return MbrPtrTiff; }

  // libtiff's first complaint, or its words for a file it could not open.
  std::string Message() const {
    return MbrStgMessage.empty() ? "libtiff reported no cause" : MbrStgMessage;
  }

  // Writes what is pending (the tiles' directory) and closes; returns whether both succeeded.
  bool Close() {
    const bool BlnFlushed = TIFFFlush(MbrPtrTiff) == 1 && MbrStgMessage.empty();
    TIFFClose(MbrPtrTiff);
    MbrPtrTiff = nullptr;
    return BlnFlushed;
  }

  // The value of a layout tag, its default when the file states none.
  std::uint32_t Tag(std::uint32_t LngTag) const {
    std::uint32_t LngValue = 0;
    if (LngTag == TIFFTAG_TILEWIDTH || LngTag == TIFFTAG_TILELENGTH ||
        LngTag == TIFFTAG_IMAGEWIDTH || LngTag == TIFFTAG_IMAGELENGTH) {
      TIFFGetField(MbrPtrTiff, LngTag, &LngValue);
      return LngValue;
    }
    std::uint16_t IntValue = 0;
    TIFFGetFieldDefaulted(MbrPtrTiff, LngTag, &IntValue);
    return IntValue;
  }

 private:
  static int Keep(TIFF*, void* PtrUser, const char* PtrModule, const char* PtrFormat,
                  va_list Arguments) {
    auto* PtrFile = static_cast<TTiffFile*>(PtrUser);
    if (PtrFile->MbrStgMessage.empty()) {
      char ChrText[512];
      std::vsnprintf(ChrText, sizeof(ChrText), PtrFormat, Arguments);
      PtrFile->MbrStgMessage =
          std::string(PtrModule != nullptr ? PtrModule : "libtiff") + ": " + ChrText;
    }
    return 1;
  }
  static int Ignore(TIFF*, void*, const char*, const char*, va_list) { return 1; }

  TIFF* MbrPtrTiff = nullptr;  ///< null when it did not open, or once closed
  std::string MbrStgMessage;   ///< libtiff's first error; empty while there is none
};

// A tile copied: where it went in the raster and its bytes in the chunk's buffer.
struct TTileCopied {
  std::uint32_t LngTile;
  std::size_t LngStart;
  std::size_t LngBytes;
};

std::string ChunkText(long LngRow, long LngColumn) {
  return "the chunk at row " + std::to_string(LngRow) + ", column " + std::to_string(LngColumn);
}

// The tags that make a tile's bytes mean the same cells in both files.
const std::uint32_t kArrLayoutTags[] = {
    TIFFTAG_TILEWIDTH,     TIFFTAG_TILELENGTH,   TIFFTAG_COMPRESSION,     TIFFTAG_PREDICTOR,
    TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLEFORMAT, TIFFTAG_SAMPLESPERPIXEL, TIFFTAG_PLANARCONFIG};

// Whether the chunk covers whole tiles of the raster from (LngRow, LngColumn): it starts at a
// tile's corner and ends at one, or at the raster's edge.
bool CoversWholeTiles(const TTiffFile& Chunk, const TTiffFile& Raster, long LngRow,
                      long LngColumn) {
  const long LngTileWidth = Raster.Tag(TIFFTAG_TILEWIDTH);
  const long LngTileLength = Raster.Tag(TIFFTAG_TILELENGTH);
  const long LngWidth = Chunk.Tag(TIFFTAG_IMAGEWIDTH);
  const long LngLength = Chunk.Tag(TIFFTAG_IMAGELENGTH);
  const long LngRasterWidth = Raster.Tag(TIFFTAG_IMAGEWIDTH);
  const long LngRasterLength = Raster.Tag(TIFFTAG_IMAGELENGTH);
  return LngTileWidth > 0 && LngTileLength > 0 && LngRow >= 0 && LngColumn >= 0 &&
         LngRow % LngTileLength == 0 && LngColumn % LngTileWidth == 0 &&
         LngColumn + LngWidth <= LngRasterWidth && LngRow + LngLength <= LngRasterLength &&
         (LngWidth % LngTileWidth == 0 || LngColumn + LngWidth == LngRasterWidth) &&
         (LngLength % LngTileLength == 0 || LngRow + LngLength == LngRasterLength);
}

// Whether the LngRows x LngColumns cells from PtrFirst, rows LngStride cells apart, are all
// no-data: GDAL leaves such a tile out of a chunk.
template <typename TCell>
bool OnlyNoData(const TCell* PtrFirst, long LngRows, long LngColumns, std::size_t LngStride,
                double DblNoData) {
  const bool BlnNaN = std::isnan(DblNoData);
  for (long LngR = 0; LngR < LngRows; ++LngR) {
    const TCell* PtrRow = PtrFirst + static_cast<std::size_t>(LngR) * LngStride;
    for (long LngC = 0; LngC < LngColumns; ++LngC) {
      const double DblCell = static_cast<double>(PtrRow[LngC]);
      if (BlnNaN ? !std::isnan(DblCell) : DblCell != DblNoData) {
        return false;
      }
    }
  }
  return true;
}

// The check of a chunk just written, in place of decoding it again: every tile that holds a data
// cell is in the file, whole. Its bytes are then read back where they are placed.
template <typename TCell>
void CheckChunkTiles(const std::string& StgChunkPath, const std::string& StgOutput, long LngRows,
                     long LngColumns, double DblNoData, const TCell* PtrCells) {
  const std::string StgFailure = "Unable to write file " + StgOutput + ": ";
  const TTiffFile Chunk(StgChunkPath, "r");
  if (Chunk.Get() == nullptr) {
    Fail(StgFailure + Chunk.Message());
  }
  std::error_code Error;
  const std::uintmax_t LngFileSize = std::filesystem::file_size(StgChunkPath, Error);
  if (Error) {
    Fail(StgFailure + "the size of " + StgChunkPath + " cannot be read");
  }
  const long LngTileWidth = Chunk.Tag(TIFFTAG_TILEWIDTH);
  const long LngTileLength = Chunk.Tag(TIFFTAG_TILELENGTH);
  if (TIFFIsTiled(Chunk.Get()) == 0 || LngTileWidth <= 0 || LngTileLength <= 0) {
    Fail(StgFailure + StgChunkPath + " is not laid out in tiles");
  }
  const std::size_t LngStride = static_cast<std::size_t>(LngColumns);
  for (long LngY = 0; LngY < LngRows; LngY += LngTileLength) {
    for (long LngX = 0; LngX < LngColumns; LngX += LngTileWidth) {
      const std::uint32_t LngTile = TIFFComputeTile(Chunk.Get(), static_cast<std::uint32_t>(LngX),
                                                    static_cast<std::uint32_t>(LngY), 0, 0);
      const std::uint64_t LngSize = TIFFGetStrileByteCount(Chunk.Get(), LngTile);
      const std::uint64_t LngEnd = TIFFGetStrileOffset(Chunk.Get(), LngTile) + LngSize;
      const bool BlnWhole = LngSize > 0 && LngEnd <= LngFileSize;
      if (!BlnWhole &&
          (LngSize > 0 ||
           !OnlyNoData(PtrCells + static_cast<std::size_t>(LngY) * LngStride +
                           static_cast<std::size_t>(LngX),
                       std::min(LngTileLength, LngRows - LngY),
                       std::min(LngTileWidth, LngColumns - LngX), LngStride, DblNoData))) {
        Fail(StgFailure + StgChunkPath + " lacks the tile at row " + std::to_string(LngY) +
             ", column " + std::to_string(LngX) + " after GDAL wrote it");
      }
    }
  }
}

template <typename TCell>
void WriteChunkOf(const std::string& StgChunkPath, const std::string& StgOutput,
                  const TRasterTarget& Target, long LngRows, long LngColumns, double DblNoData,
                  const TCell* PtrCells) {
  // The chunk's place and coordinate system are the raster's business: only its tiles travel.
  TRasterTarget ChunkTarget = Target;
  ChunkTarget.StgCrsText.clear();
  const TGridLayout Layout{LngColumns, LngRows, 0.0, 0.0, 1.0, DblNoData};
  CreateRasterForWindows(Layout, ChunkTarget, StgChunkPath, StgOutput);
  WriteRasterWindowUnread(StgChunkPath, StgOutput, LngRows, LngColumns, PtrCells);
  CheckChunkTiles(StgChunkPath, StgOutput, LngRows, LngColumns, DblNoData, PtrCells);
}

}  // namespace

void WriteRasterChunk(const std::string& StgChunkPath, const std::string& StgOutput,
                      const TRasterTarget& Target, long LngRows, long LngColumns, double DblNoData,
                      const double* PtrCells) {
  WriteChunkOf(StgChunkPath, StgOutput, Target, LngRows, LngColumns, DblNoData, PtrCells);
}

void WriteRasterChunk(const std::string& StgChunkPath, const std::string& StgOutput,
                      const TRasterTarget& Target, long LngRows, long LngColumns, double DblNoData,
                      const float* PtrCells) {
  WriteChunkOf(StgChunkPath, StgOutput, Target, LngRows, LngColumns, DblNoData, PtrCells);
}

void CheckRasterChunk(const std::string& StgChunkPath, const std::string& StgOutput, long LngRows,
                      long LngColumns, double DblNoData, const double* PtrCells) {
  CheckChunkTiles(StgChunkPath, StgOutput, LngRows, LngColumns, DblNoData, PtrCells);
}

void PlaceRasterChunk(const std::string& StgChunkPath, const std::string& StgPath,
                      const std::string& StgOutput, long LngRow, long LngColumn) {
  const std::string StgFailure = "Unable to write file " + StgOutput + ": ";
  std::vector<unsigned char> VecBytes;
  std::vector<TTileCopied> VecCopied;
  {
    const TTiffFile Chunk(StgChunkPath, "r");
    if (Chunk.Get() == nullptr) {
      Fail(StgFailure + Chunk.Message());
    }
    TTiffFile Raster(StgPath, "r+");
    if (Raster.Get() == nullptr) {
      Fail(StgFailure + Raster.Message());
    }
    bool BlnSameLayout = TIFFIsTiled(Chunk.Get()) != 0 && TIFFIsTiled(Raster.Get()) != 0 &&
                         TIFFIsByteSwapped(Chunk.Get()) == TIFFIsByteSwapped(Raster.Get());
    for (const std::uint32_t LngTag : kArrLayoutTags) {
      BlnSameLayout = BlnSameLayout && Chunk.Tag(LngTag) == Raster.Tag(LngTag);
    }
    if (!BlnSameLayout) {
      Fail(StgFailure + ChunkText(LngRow, LngColumn) +
           " is not laid out in tiles as the raster is");
    }
    if (!CoversWholeTiles(Chunk, Raster, LngRow, LngColumn)) {
      Fail(StgFailure + ChunkText(LngRow, LngColumn) + " does not cover whole tiles of the raster");
    }
    const std::uint32_t LngTileWidth = Raster.Tag(TIFFTAG_TILEWIDTH);
    const std::uint32_t LngTileLength = Raster.Tag(TIFFTAG_TILELENGTH);
    const std::uint32_t LngWidth = Chunk.Tag(TIFFTAG_IMAGEWIDTH);
    const std::uint32_t LngLength = Chunk.Tag(TIFFTAG_IMAGELENGTH);
    for (std::uint32_t LngY = 0; LngY < LngLength; LngY += LngTileLength) {
      for (std::uint32_t LngX = 0; LngX < LngWidth; LngX += LngTileWidth) {
        const std::uint32_t LngFrom = TIFFComputeTile(Chunk.Get(), LngX, LngY, 0, 0);
        const std::uint64_t LngSize = TIFFGetStrileByteCount(Chunk.Get(), LngFrom);
        if (LngSize == 0) {
          continue;
        }
        const std::size_t LngStart = VecBytes.size();
        VecBytes.resize(LngStart + LngSize);
        const std::uint32_t LngTo =
            TIFFComputeTile(Raster.Get(), static_cast<std::uint32_t>(LngColumn) + LngX,
                            static_cast<std::uint32_t>(LngRow) + LngY, 0, 0);
        const tmsize_t LngBytes = static_cast<tmsize_t>(LngSize);
        if (TIFFReadRawTile(Chunk.Get(), LngFrom, VecBytes.data() + LngStart, LngBytes) !=
            LngBytes) {
          Fail(StgFailure + Chunk.Message());
        }
        // A write offset of 0 makes libtiff start the tile afresh: in its old place when the
        // bytes fit there (a chunk placed again by a task run twice), else at the file's end.
        TIFFSetWriteOffset(Raster.Get(), 0);
        if (TIFFWriteRawTile(Raster.Get(), LngTo, VecBytes.data() + LngStart, LngBytes) !=
            LngBytes) {
          Fail(StgFailure + Raster.Message());
        }
        VecCopied.push_back({LngTo, LngStart, static_cast<std::size_t>(LngSize)});
      }
    }
    if (!Raster.Close()) {
      Fail(StgFailure + Raster.Message());
    }
  }
  // As every raster output, what was written is read back, here as the bytes copied.
  const TTiffFile Written(StgPath, "r");
  if (Written.Get() == nullptr) {
    Fail(StgFailure + Written.Message());
  }
  std::vector<unsigned char> VecRead;
  for (const TTileCopied& Copied : VecCopied) {
    VecRead.resize(Copied.LngBytes);
    const tmsize_t LngBytes = static_cast<tmsize_t>(Copied.LngBytes);
    if (TIFFGetStrileByteCount(Written.Get(), Copied.LngTile) != Copied.LngBytes ||
        TIFFReadRawTile(Written.Get(), Copied.LngTile, VecRead.data(), LngBytes) != LngBytes ||
        !std::equal(VecRead.begin(), VecRead.end(), VecBytes.begin() + Copied.LngStart)) {
      Fail(StgFailure + "the tiles of " + ChunkText(LngRow, LngColumn) +
           " read back otherwise than they were copied");
    }
  }
  for (const std::string& StgName : {StgChunkPath, StgChunkPath + ".aux.xml"}) {
    std::error_code Error;
    std::filesystem::remove(StgName, Error);
    if (Error) {
      Fail("Unable to remove file " + StgName);
    }
  }
}

}  // namespace tessgrid::detail
