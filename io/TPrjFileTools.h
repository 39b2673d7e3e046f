// io/TPrjFileTools.h - TPrjFileTools: the coordinate-system sidecar (.prj) beside a grid file.
// io/TPrjFileTools.cpp holds it; the file writes go through the safe replace of the grid writer.
#ifndef IO_TPRJFILETOOLS_H
#define IO_TPRJFILETOOLS_H

#include <string>
#include <vector>

#include "tessgrid_export.h"

/// Static tools for the sidecar that tells other programs a grid's coordinate system: a text
/// file beside the grid, named after it with the extension ".prj" (elevation.asc has
/// elevation.prj; a name without an extension gets ".prj" appended). Only the last part of the
/// path counts: in "maps.v2/dem" the grid has no extension, and neither has ".hidden".
///
/// The library never interprets the text. Two sidecars describe the same coordinate system when
/// their texts are equal once leading and trailing white space is dropped and CR LF and lone CR
/// line ends read as LF. A grid without a sidecar conflicts with none.
class TESSGRID_EXPORT TPrjFileTools {
 public:
  TPrjFileTools() = delete;

  /// Returns the name of the sidecar of the named grid file.
  static std::string GetPrjFileName(std::string StgGridFileName);

  /// Returns true and sets the text to the content of the grid's sidecar, or returns false and
  /// leaves the text alone when there is no sidecar. Reads at most 64 KiB and never waits.
  /// Throws, as std::string, with the sidecar's name N: "Unable to open file N" when it exists
  /// but cannot be opened (a folder, no read permission); "Unable to read file N: not a regular
  /// file" for a device, a pipe or a socket (also at the end of a link), which is not opened;
  /// "Unable to read file N: larger than 64 KiB" for a larger file; "Unable to read file N"
  /// when reading fails. Lets std::bad_alloc pass.
  static bool LoadPrjFile(std::string StgGridFileName, std::string& StgText);

  /// Returns whether the two sidecar texts describe the same coordinate system.
  static bool SamePrjText(std::string StgTextA, std::string StgTextB);

  /// Checks that the sidecars of the named grids all describe one coordinate system.
  /// Throws "inputs have different coordinate systems: " followed by the names of the first
  /// sidecar and of the first one that differs from it, separated by ", ", as std::string; and
  /// the failures of LoadPrjFile, in the order of the names.
  static void CheckPrjFiles(std::vector<std::string> VecGridFileNames);

  /// Writes the text, unchanged, as the sidecar of the named grid, replacing an earlier one only
  /// once everything is written.
  /// Throws "Unable to open file " or "Unable to write file " followed by the sidecar's name, as
  /// std::string, as the grid writer does.
  static void WritePrjFile(std::string StgText, std::string StgGridFileName);

  /// Removes the sidecar of the named grid, if it has one.
  /// Throws "Unable to remove file " followed by the sidecar's name, as std::string, when it
  /// exists and cannot be removed.
  static void RemovePrjFile(std::string StgGridFileName);
};

#endif  // IO_TPRJFILETOOLS_H
