// ops/LibraryNoData.h - kDblLibraryNoData: the no-data value of every map the library builds.
// Header only; the row kernels and everything that hands maps to the library key on it.
#ifndef OPS_LIBRARYNODATA_H
#define OPS_LIBRARYNODATA_H

namespace tessgrid::detail {

/// The no-data value of every map the library's constructors build, and so of every result of
/// its operations: the value every library operation keys on.
constexpr double kDblLibraryNoData = -9999.0;

}  // namespace tessgrid::detail

#endif  // OPS_LIBRARYNODATA_H
