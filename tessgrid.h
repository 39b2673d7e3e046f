// tessgrid.h - the whole public library in one include: the map model, grid files, the map
// operations, the support tools, the version macros, owning handles and failure texts.
#ifndef TESSGRID_H
#define TESSGRID_H

#include "io/TARCGISFileTools.h"
#include "model/TAxis.h"
#include "model/TAxisTools.h"
#include "model/TMap.h"
#include "model/TPoint.h"
#include "ops/TMapTools.h"
#include "tessgrid_message.h"
#include "tessgrid_owning.h"
#include "tessgrid_version.h"
#include "util/TPointTools.h"
#include "util/TStringTools.h"
#include "util/TVectorTools.h"

#endif  // TESSGRID_H
