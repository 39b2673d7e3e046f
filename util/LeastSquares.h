// util/LeastSquares.h - LeastSquaresSlope: the one definition of the least-squares slope sums.
// TVectorTools::Gradient and the map gradients share it (util/TVectorTools.cpp), so both agree
// to the bit.
#ifndef UTIL_LEASTSQUARES_H
#define UTIL_LEASTSQUARES_H

#include <cstddef>

namespace tessgrid::detail {

/// Returns (n Sxy - Sx Sy) / (n Sxx - Sx Sx) over the first LngCount pairs, every sum started at
/// 0.0 and added in index order, n being LngCount as a double. Reads the arrays only; allocates
/// nothing.
double LeastSquaresSlope(const double* PtrX, const double* PtrY, std::size_t LngCount);

}  // namespace tessgrid::detail

#endif  // UTIL_LEASTSQUARES_H
