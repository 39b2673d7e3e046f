// util/LeastSquares.h - LeastSquaresSlope: the one definition of the least-squares slope sums,
// for one series and for a row of series at once. TVectorTools::Gradient and the map gradients
// share it (util/TVectorTools.cpp), so they agree to the bit.
#ifndef UTIL_LEASTSQUARES_H
#define UTIL_LEASTSQUARES_H

#include <cstddef>

namespace tessgrid::detail {

/// Returns (n Sxy - Sx Sy) / (n Sxx - Sx Sx) over the first LngCount pairs, every sum started at
/// 0.0 and added in index order, n being LngCount as a double. Reads the arrays only; allocates
/// nothing.
double LeastSquaresSlope(const double* PtrX, const double* PtrY, std::size_t LngCount);

/// Writes to PtrOut, for each of LngColumns cells c, LeastSquaresSlope over the pairs
/// (PtrX[k], PtrRows[k][c]), k = 0 .. LngCount - 1, whose value is not DblMissing: the same sums
/// in the same order, so the same bits (not-a-number for fewer than two values). A missing value
/// adds 0.0, which leaves every sum as it was. PtrSums is scratch of 5 x LngColumns doubles.
void LeastSquaresSlopeRow(const double* PtrX, const double* const* PtrRows, std::size_t LngCount,
                          std::size_t LngColumns, double DblMissing, double* PtrSums,
                          double* PtrOut);

}  // namespace tessgrid::detail

#endif  // UTIL_LEASTSQUARES_H
