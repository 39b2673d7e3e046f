// engine/NoDataModel.h - the faces' data model at their edge: every input's declared no-data
// becomes the library's marker on the way in, and the value an output declares on the way out.
// engine/NoDataModel.cpp holds it; the tool and the Python module apply it to every grid they move.
#ifndef ENGINE_NODATAMODEL_H
#define ENGINE_NODATAMODEL_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "io/GridHeader.h"
#include "model/TMap.h"
#include "ops/LibraryNoData.h"

namespace tessgrid::detail {

/// An input grid as its file states it: the geometry of its header, exactly as read, and the
/// no-data value it declares. Outputs on its grid state the same, and pairing commands compare
/// inputs by it.
struct TInputGrid {
  std::string StgName;       ///< as given on the command line ("-" for standard input)
  long LngColumns = 0;       ///< ncols
  long LngRows = 0;          ///< nrows
  double DblWest = 0.0;      ///< xllcorner as read (a centre already turned into the corner)
  double DblSouth = 0.0;     ///< yllcorner as read
  double DblCellSize = 0.0;  ///< cellsize as read
  double DblNoData = kDblLibraryNoData;  ///< NODATA_value, NaN included; -9999 when none is stated
};

/// Returns what the file of a map just read states; the map must be as the reader returned it.
TInputGrid DescribeInput(const std::string& StgName, const TMap& Map);

/// Returns what a grid file states by its header alone: what DescribeInput gives for the map the
/// reader makes of it, whose edges run from the header's corner exactly.
TInputGrid DescribeHeader(const std::string& StgName, const TGridHeader& Header);

/// Turns the input's declared no-data cells (NaN cells for a NaN value) into -9999 and sets the
/// map's no-data value to -9999.
/// Throws "<name>: the cell at row <r>, column <c> holds -9999, a data value in this grid
/// (NODATA_value <v>), which tessgrid-tool cannot tell from no-data" for the first such cell.
void ToLibraryNoData(TMap& Map, const TInputGrid& Input);

/// ToLibraryNoData for one row of the input (row LngRow): turns its declared no-data cells into
/// -9999 up to the first cell that holds -9999 as data, and returns that cell's column, or -1.
long LibraryNoDataRow(double* PtrCells, std::size_t LngColumns, double DblDeclared);

/// Throws the failure of ToLibraryNoData for the input's cell at the row and column.
[[noreturn]] void FailNoDataHeld(const TInputGrid& Input, std::size_t LngRow,
                                 std::size_t LngColumn);

/// Makes every cell that is no-data in the input no-data in the result of a cell-wise command on
/// it, whatever the operation made of it; both maps have the same size.
void KeepNoData(const TMap& Input, TMap& Result);

/// Returns the result of a cell-wise operation on the input, now owned, with the input's no-data
/// cells made no-data (KeepNoData). When BlnComputed, a result cell of -9999 from a data cell
/// fails as CheckDataKept fails (it would pass for no-data); a -9999 the user gave as a value (a
/// replacement) is no-data as the user meant.
std::unique_ptr<TMap> Kept(const TMap& Input, TMap* PtrResult, bool BlnComputed);

/// Checks that no data cell became no-data: the result of a command that pairs the inputs cell
/// for cell (all of the result's size) is -9999 only where one of them is.
/// Throws "the result at row <r>, column <c> comes to -9999, which the library's operations take
/// for no-data; tessgrid-tool cannot keep it as data" for the first such cell.
void CheckDataKept(const std::vector<const TMap*>& VecInputs, const TMap& Result);

/// CheckDataKept for one row: returns the first column where the result (PtrResult) is -9999
/// although no input row (PtrInputs[0] to PtrInputs[LngInputs - 1]) is, or -1.
long DataLostColumn(const double* const* PtrInputs, std::size_t LngInputs, const double* PtrResult,
                    std::size_t LngColumns);

/// Throws the failure of CheckDataKept for the cell at the row and column (counted from 0).
[[noreturn]] void FailDataLost(std::size_t LngRow, std::size_t LngColumn);

/// Turns the result's no-data cells (-9999, and cells that are not finite) into the value the
/// output declares, and sets its no-data value to it.
/// Throws "<output>: the result holds <v> at row <r>, column <c>, a data value equal to the
/// NODATA_value it declares; choose another with --nodata" for the first data cell equal to it.
void ToDeclaredNoData(TMap& Map, double DblNoData, const std::string& StgOutput);

/// ToDeclaredNoData for one row: turns its no-data cells into DblNoData up to the first data cell
/// equal to it, and returns that cell's column, or -1.
long DeclaredNoDataRow(double* PtrCells, std::size_t LngColumns, double DblNoData);

/// Throws the failure of ToDeclaredNoData for the cell at the row and column.
[[noreturn]] void FailNoDataWritten(const std::string& StgOutput, double DblNoData,
                                    std::size_t LngRow, std::size_t LngColumn);

/// Returns the value the map's user means by a command's number: the grid's declared no-data
/// value stands for no-data.
double ToLibraryValue(double DblValue, const TInputGrid& Input);

/// Returns whether the map lies on the input's grid: the same size and cell size, and corners
/// that differ by at most 1e-6 of a cell.
bool OnGridOf(const TMap& Map, const TInputGrid& Input);

/// OnGridOf for a grid described by its numbers, the corners as DescribeInput states them.
bool OnGridOf(const TInputGrid& Grid, const TInputGrid& Input);

/// Returns whether the library's result on the grid is written with the grid's own corners and
/// pairs every cell with itself: the result the library builds on the grid's centre axes lies on
/// the grid (OnGridOf), and its cells hold their centres, so that a cell's lookups find the cell
/// itself. Told from the numbers alone (a header may claim more than its file holds): a grid
/// with cells, a positive cell size, and corners not so far out that the centres leave the cells.
/// Where it holds for aligned grids, their cell rule row by row is the library operation.
bool OrdinaryGrid(const TInputGrid& Grid);

/// Checks that the grids pair cell for cell by column and row: the same ncols, nrows and
/// cellsize, and corners within 1e-6 of a cell.
/// Throws "grids are not aligned: a.asc and b.asc differ in xllcorner (1000 vs 900000)" for the
/// first entry that differs (ncols, nrows, cellsize, xllcorner, yllcorner, in that order) between
/// the first grid and a later one.
void CheckAligned(const std::vector<const TInputGrid*>& VecGrids);

}  // namespace tessgrid::detail

#endif  // ENGINE_NODATAMODEL_H
