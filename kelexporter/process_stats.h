// The exporter's own process figures, from /proc.
#pragma once

#include "metrics_text.h"

namespace kelexporter {

// What /proc says of this process now; a figure that cannot be read stays 0.
ProcessStats ReadProcessStats();

}  // namespace kelexporter
