// engine/CellWiseCombiner.h - the no-data model on a series stream: each input row's declared
// no-data becomes the library's as it is read, each result row is checked and takes its output's
// declared value as it is combined. engine/CellWiseCombiner.cpp holds it; every face's cell-wise
// runs use it, the tool over files and rasters, Python over arrays (engine/MemoryRun.h).
#ifndef ENGINE_CELLWISECOMBINER_H
#define ENGINE_CELLWISECOMBINER_H

#include <cstddef>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "engine/CellRule.h"
#include "engine/Engine.h"
#include "engine/NoDataModel.h"

namespace tessgrid::detail {

/// Result r of a row comes from inputs r to r + LngWindow - 1: one result from all the inputs,
/// or one for each window of a moving series. Input rows whose declared no-data is not -9999 are
/// taken (ToLibraryNoData's rule, its failure for a -9999 data cell); rows of -9999 inputs are
/// read where they lie. A result row that lost a cell (TCellRule::Row) fails at once with
/// CheckDataKept's failure when there is one result, else is kept for ThrowLost; then the row
/// takes its output's no-data value (ToDeclaredNoData), the first data cell equal to it kept
/// for ThrowHeld; then CheckRow may check it further.
class TCellWiseCombiner : public TSeriesCombiner {
 public:
  /// Result r goes to VecOutputs[r], which declares VecNoData[r]; Progress, when given, learns
  /// the rows combined so far.
  TCellWiseCombiner(const std::vector<TInputGrid>& VecGrids, TCellRule& Rule, std::size_t LngWindow,
                    std::vector<std::string> VecOutputs, std::vector<double> VecNoData,
                    std::function<void(std::size_t)> Progress = nullptr);

  std::size_t ResultsPerRow() const override { return MbrVecOutputs.size(); }
  void RowsCombined(std::size_t LngRows) override;
  bool TakesRowsOf(std::size_t LngInput) const override;
  void TakeRow(std::size_t LngInput, std::size_t LngRow, double* PtrCells) override;
  void CombineRow(long LngWorker, std::size_t LngRow, const double* const* PtrRows,
                  double* PtrOut) override;

  /// Returns whether a failure is kept for the end: the outputs will not be used.
  bool Failing();

  /// Throws, in the library path's order, CheckDataKept's failure for the first result that
  /// lost a cell, else for each output in turn ThrowHeld's.
  void ThrowHeld() const;

  /// Throws CheckDataKept's failure for the first result that lost a cell, if any.
  void ThrowLost() const;

  /// Throws ToDeclaredNoData's failure for the first data cell of result r equal to its no-data
  /// value, else ThrowChecked's.
  void ThrowHeld(std::size_t LngR) const;

 protected:
  static constexpr std::size_t kLngNone = std::numeric_limits<std::size_t>::max();

  /// A cell whose failure is kept for the end, the first by result, then row, then column.
  struct TCell {
    std::size_t LngResult = kLngNone;
    std::size_t LngRow = kLngNone;
    std::size_t LngColumn = kLngNone;
    double DblValue = 0.0;
  };

  /// Checks row LngRow of result r further, after it took its output's no-data value; keeps its
  /// failures with Keep. Called from any worker.
  virtual void CheckRow(std::size_t LngR, std::size_t LngRow, const double* PtrResult,
                        std::size_t LngColumns) {
    static_cast<void>(LngR);
    static_cast<void>(LngRow);
    static_cast<void>(PtrResult);
    static_cast<void>(LngColumns);
  }

  /// Throws the failure CheckRow kept for result r, if any.
  virtual void ThrowChecked(std::size_t LngR) const { static_cast<void>(LngR); }

  /// Keeps the cell in Cell when it comes before the one kept there.
  void Keep(TCell& Cell, std::size_t LngResult, std::size_t LngRow, std::size_t LngColumn,
            double DblValue);

  /// Returns the output of result r and the value it declares.
  const std::string& Output(std::size_t LngR) const { return MbrVecOutputs[LngR]; }
  double NoData(std::size_t LngR) const { return MbrVecNoData[LngR]; }

 private:
  const std::vector<TInputGrid>& MbrVecGrids;
  TCellRule& MbrRule;
  std::size_t MbrLngWindow;                      ///< inputs of each result
  std::vector<std::string> MbrVecOutputs;        ///< of each result
  std::vector<double> MbrVecNoData;              ///< the value each output declares
  std::function<void(std::size_t)> MbrProgress;  ///< learns the rows combined; may be empty
  std::mutex MbrMutex;                           ///< guards the cells below
  TCell MbrLost;                                 ///< of several results: first cell lost
  std::vector<TCell> MbrVecHeld;  ///< per result: first data cell equal to the no-data value
};

}  // namespace tessgrid::detail

#endif  // ENGINE_CELLWISECOMBINER_H
