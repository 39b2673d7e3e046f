// engine/RegridRows.cpp - the target grid of inputs on different lattices, and the row source that
// gathers an input's cells onto it by hoisted column and row partners. The contract is in
// engine/RegridRows.h.
#include "engine/RegridRows.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <utility>

#include "io/NumberText.h"
#include "model/AxisCoordinates.h"
#include "model/Fail.h"
#include "ops/LibraryNoData.h"
#include "ops/PartnerLookup.h"

namespace tessgrid::detail {

namespace {

// An extent edge this close to a lattice line, in cells, lies on it: extents computed by running
// sums differ from the lattice's multiplication in their last bits.
constexpr double kDblOnLine = 1e-6;

// Input rows a regridding source holds at once, in bytes: a window of most rasters' blocks.
constexpr std::size_t kLngBufferBytes = std::size_t{16} << 20;

// The most cells a target grid may hold: its rows are indexed as long and its cells counted in
// bytes.
constexpr double kDblMostCells = 1152921504606846976.0;  // 2^60

struct TExtent {
  double DblWest;
  double DblSouth;
  double DblEast;
  double DblNorth;
};

// The edges the grid reader gives the header's grid.
TExtent ExtentOf(const TGridHeader& Header) {
  return {
      Header.DblXll, Header.DblYll,
      RunningSumAt(Header.DblXll, Header.DblCellSize, static_cast<std::size_t>(Header.LngColumns)),
      RunningSumAt(Header.DblYll, Header.DblCellSize, static_cast<std::size_t>(Header.LngRows))};
}

std::string Shown(double DblValue) {
  static const TNumberFormat kFormat = NumberFormatOf(std::ostringstream());
  return NumberText(DblValue, kFormat);
}

void CheckGrid(const TGridHeader& Header, const std::string& StgName) {
  if (Header.LngColumns <= 0 || Header.LngRows <= 0) {
    Fail(StgName + " has no cells");
  }
  if (!(Header.DblCellSize > 0.0) || !std::isfinite(Header.DblCellSize)) {
    Fail(StgName + ": the cell size must be a finite number above 0");
  }
}

// The input whose lattice the rule picks; the earliest among equals.
std::size_t LatticeInput(const std::vector<TGridHeader>& VecInputs, TLatticeRule Rule) {
  std::size_t LngChosen = 0;
  for (std::size_t LngI = 1; LngI < VecInputs.size() && Rule != TLatticeRule::kFirst; ++LngI) {
    const double DblSize = VecInputs[LngI].DblCellSize;
    const double DblChosen = VecInputs[LngChosen].DblCellSize;
    if (Rule == TLatticeRule::kFinest ? DblSize < DblChosen : DblSize > DblChosen) {
      LngChosen = LngI;
    }
  }
  return LngChosen;
}

// Lattice lines from the origin, in cells, of a coordinate: outward rounds down for a western
// or southern edge (BlnLow) and up for the others, inward the other way.
double LinesTo(double DblCoordinate, double DblOrigin, double DblSize, bool BlnLow,
               bool BlnOutward) {
  const double DblCells = (DblCoordinate - DblOrigin) / DblSize;
  return BlnLow == BlnOutward ? std::floor(DblCells + kDblOnLine)
                              : std::ceil(DblCells - kDblOnLine);
}

}  // namespace

bool ExtentRuleOf(const std::string& StgName, TExtentRule& Rule) {
  if (StgName == "union" || StgName == "intersect") {
    Rule = StgName == "union" ? TExtentRule::kUnion : TExtentRule::kIntersect;
    return true;
  }
  return false;
}

bool LatticeRuleOf(const std::string& StgName, TLatticeRule& Rule) {
  if (StgName == "finest" || StgName == "coarsest" || StgName == "first") {
    Rule = StgName == "finest"     ? TLatticeRule::kFinest
           : StgName == "coarsest" ? TLatticeRule::kCoarsest
                                   : TLatticeRule::kFirst;
    return true;
  }
  return false;
}

TGridHeader TargetGrid(const std::vector<TGridHeader>& VecInputs,
                       const std::vector<std::string>& VecNames, const TTargetChoice& Choice) {
  for (std::size_t LngI = 0; LngI < VecInputs.size(); ++LngI) {
    CheckGrid(VecInputs[LngI], VecNames[LngI]);
  }
  if (Choice.OptGrid) {
    CheckGrid(*Choice.OptGrid, Choice.StgGridName);
  }
  TGridHeader Lattice =
      Choice.OptGrid
          ? *Choice.OptGrid
          : VecInputs[LatticeInput(VecInputs, Choice.OptLattice.value_or(TLatticeRule::kFinest))];
  Lattice.DblNoData = kDblLibraryNoData;
  Lattice.BlnNoDataRead = true;
  if (Choice.OptGrid && !Choice.OptExtent) {
    return Lattice;
  }
  const bool BlnUnion = Choice.OptExtent.value_or(TExtentRule::kUnion) == TExtentRule::kUnion;
  TExtent Area = ExtentOf(VecInputs.front());
  for (const TGridHeader& Header : VecInputs) {
    const TExtent Input = ExtentOf(Header);
    const auto Pick = [BlnUnion](double DblA, double DblB, bool BlnLow) {
      return BlnUnion == BlnLow ? std::min(DblA, DblB) : std::max(DblA, DblB);
    };
    Area = {Pick(Area.DblWest, Input.DblWest, true), Pick(Area.DblSouth, Input.DblSouth, true),
            Pick(Area.DblEast, Input.DblEast, false), Pick(Area.DblNorth, Input.DblNorth, false)};
  }
  if (!(Area.DblEast > Area.DblWest) || !(Area.DblNorth > Area.DblSouth)) {
    Fail("the grids do not overlap, so they have no intersection");
  }
  const double DblSize = Lattice.DblCellSize;
  const double DblWest = LinesTo(Area.DblWest, Lattice.DblXll, DblSize, true, BlnUnion);
  const double DblEast = LinesTo(Area.DblEast, Lattice.DblXll, DblSize, false, BlnUnion);
  const double DblSouth = LinesTo(Area.DblSouth, Lattice.DblYll, DblSize, true, BlnUnion);
  const double DblNorth = LinesTo(Area.DblNorth, Lattice.DblYll, DblSize, false, BlnUnion);
  if (!BlnUnion && (!(DblEast > DblWest) || !(DblNorth > DblSouth))) {
    Fail("the area the grids share holds no whole cell of the target grid (cell size " +
         Shown(DblSize) + ")");
  }
  const double DblColumns = DblEast - DblWest;
  const double DblRows = DblNorth - DblSouth;
  if (!std::isfinite(DblColumns) || !std::isfinite(DblRows) ||
      !(DblColumns * DblRows <= kDblMostCells)) {
    Fail("the target grid would hold more cells than memory can index");
  }
  // Exactly the lattice's origin where the extent starts there, so that its own input pairs
  // cell for cell.
  Lattice.DblXll = DblWest == 0.0 ? Lattice.DblXll : Lattice.DblXll + DblWest * DblSize;
  Lattice.DblYll = DblSouth == 0.0 ? Lattice.DblYll : Lattice.DblYll + DblSouth * DblSize;
  Lattice.LngColumns = static_cast<long>(DblColumns);
  Lattice.LngRows = static_cast<long>(DblRows);
  return Lattice;
}

namespace {

// The partner index of each target line, -1 where the overlay's pairing finds none.
std::vector<long> PartnerIndices(const TPartnerLines& Lines, long LngDim) {
  std::vector<long> VecIndices(Lines.MbrVecIndices.size(), -1);
  for (std::size_t LngI = 0; LngI < VecIndices.size(); ++LngI) {
    const long LngIndex = Lines.MbrVecIndices[LngI];
    if (!Fails(Lines.MbrVecFaults[LngI]) && LngIndex >= 0 && LngIndex < LngDim) {
      VecIndices[LngI] = LngIndex;
    }
  }
  return VecIndices;
}

}  // namespace

TRegridRowSource::TRegridRowSource(std::unique_ptr<TRowSource> PtrInput, const TGridHeader& Target)
    : MbrPtrInput(std::move(PtrInput)),
      MbrHeader(Target),
      MbrLngInputColumns(std::max(0L, MbrPtrInput->Header().LngColumns)),
      MbrLngInputRows(std::max(0L, MbrPtrInput->Header().LngRows)) {
  const TGridHeader& Input = MbrPtrInput->Header();
  MbrHeader.DblNoData = Input.DblNoData;
  MbrHeader.BlnNoDataRead = Input.BlnNoDataRead;
  // The target's centres from the edges the reader would give it, paired with the input's
  // edges as the overlay pairs a base map's centres with its partner's.
  TGridEdges Centres = ReaderEdges(Target.DblXll, Target.DblYll, Target.DblCellSize,
                                   static_cast<std::size_t>(Target.LngColumns),
                                   static_cast<std::size_t>(Target.LngRows));
  EdgesToCentres(Centres.VecX, 'X');
  EdgesToCentres(Centres.VecY, 'Y');
  const TGridEdges Edges = ReaderEdges(Input.DblXll, Input.DblYll, Input.DblCellSize,
                                       static_cast<std::size_t>(MbrLngInputColumns),
                                       static_cast<std::size_t>(MbrLngInputRows));
  MbrVecColumns =
      PartnerIndices(FindPartnerLines(Centres.VecX.data(), Centres.VecX.size(), Edges.VecX.data(),
                                      Edges.VecX.size(), MbrLngInputColumns, 'X'),
                     MbrLngInputColumns);
  MbrVecRows =
      PartnerIndices(FindPartnerLines(Centres.VecY.data(), Centres.VecY.size(), Edges.VecY.data(),
                                      Edges.VecY.size(), MbrLngInputRows, 'Y'),
                     MbrLngInputRows);
  // The columns inside the input are one run, since both grids' columns rise eastwards; where
  // each takes the next input column the run is one copy.
  while (MbrLngRunFirst < MbrVecColumns.size() && MbrVecColumns[MbrLngRunFirst] < 0) {
    ++MbrLngRunFirst;
  }
  MbrLngRunEnd = MbrLngRunFirst;
  MbrBlnStraight = true;
  while (MbrLngRunEnd < MbrVecColumns.size() && MbrVecColumns[MbrLngRunEnd] >= 0) {
    MbrBlnStraight =
        MbrBlnStraight && (MbrLngRunEnd == MbrLngRunFirst ||
                           MbrVecColumns[MbrLngRunEnd] == MbrVecColumns[MbrLngRunEnd - 1] + 1);
    ++MbrLngRunEnd;
  }
  const long LngFit = static_cast<long>(
      kLngBufferBytes /
      (sizeof(double) * static_cast<std::size_t>(std::max(1L, MbrLngInputColumns))));
  MbrLngWindow = std::max(1L, std::min(MbrPtrInput->WindowRows(), LngFit));
}

long TRegridRowSource::WindowRows() const {
  // Nothing is decoded here: a window only bounds the rows gathered at once.
  return 16;
}

void TRegridRowSource::ReadWindow() {
  const long LngFirst = MbrLngBufferEnd;
  const long LngCount = std::min(MbrLngWindow, MbrLngInputRows - LngFirst);
  const std::size_t LngColumns = static_cast<std::size_t>(MbrLngInputColumns);
  MbrVecBuffer.resize(static_cast<std::size_t>(MbrLngWindow) * LngColumns);
  double* const PtrBuffer = MbrVecBuffer.data();
  MbrPtrInput->ReadRows(LngFirst, LngCount, [PtrBuffer, LngColumns](long LngK) {
    return PtrBuffer + static_cast<std::size_t>(LngK) * LngColumns;
  });
  MbrLngBufferFirst = LngFirst;
  MbrLngBufferEnd = LngFirst + LngCount;
}

const double* TRegridRowSource::InputRow(long LngRow) {
  while (LngRow >= MbrLngBufferEnd) {
    ReadWindow();
  }
  return MbrVecBuffer.data() + static_cast<std::size_t>(LngRow - MbrLngBufferFirst) *
                                   static_cast<std::size_t>(MbrLngInputColumns);
}

void TRegridRowSource::ReadRows(long LngFirst, long LngCount,
                                const std::function<double*(long)>& RowAt) {
  const std::size_t LngColumns = MbrVecColumns.size();
  const double DblNoData = MbrHeader.DblNoData;
  const std::size_t LngRunFirst = MbrLngRunFirst;
  const std::size_t LngRunEnd = MbrLngRunEnd;
  const bool BlnStraight = MbrBlnStraight;
  const long* const PtrColumns = MbrVecColumns.data();
  long LngLastInput = -1;
  const double* PtrLast = nullptr;
  for (long LngK = 0; LngK < LngCount; ++LngK) {
    double* const PtrOut = RowAt(LngK);
    const long LngInputRow = MbrVecRows[static_cast<std::size_t>(LngFirst + LngK)];
    if (LngInputRow < 0 || LngRunEnd == LngRunFirst) {
      std::fill(PtrOut, PtrOut + LngColumns, DblNoData);
    } else if (LngInputRow == LngLastInput) {
      std::copy(PtrLast, PtrLast + LngColumns, PtrOut);
    } else {
      const double* const PtrIn = InputRow(LngInputRow);
      std::fill(PtrOut, PtrOut + LngRunFirst, DblNoData);
      if (BlnStraight) {
        std::copy(PtrIn + PtrColumns[LngRunFirst], PtrIn + PtrColumns[LngRunEnd - 1] + 1,
                  PtrOut + LngRunFirst);
      } else {
        for (std::size_t LngC = LngRunFirst; LngC < LngRunEnd; ++LngC) {
          PtrOut[LngC] = PtrIn[PtrColumns[LngC]];
        }
      }
      std::fill(PtrOut + LngRunEnd, PtrOut + LngColumns, DblNoData);
    }
    LngLastInput = LngInputRow < 0 || LngRunEnd == LngRunFirst ? -1 : LngInputRow;
    PtrLast = PtrOut;
  }
  if (LngFirst + LngCount >= MbrHeader.LngRows) {
    while (MbrLngBufferEnd < MbrLngInputRows) {
      ReadWindow();
    }
  }
}

}  // namespace tessgrid::detail
