// The USD variant selections the scan records for the layers a stage reads, per layer file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/value.h"

namespace scanflow {

// One selection: from a Set Variant node, a prim pattern with the variant set and variant as
// the host evaluated them; from a stage manager, a variant set's name with its selection.
struct RecordedVariant {
    std::string key;  // the prim pattern, or the variant set's name
    bool for_prims = false;
    Value variantset, variantname;  // for a prim pattern
    std::string selection;          // for a variant set's name
};

// What one node recorded for one layer file; a node that found nothing to record leaves an
// entry without a layer.
struct LayerVariants {
    std::optional<std::string> layer;
    std::vector<RecordedVariant> variants;  // each key once, the last recording kept

    void record(RecordedVariant variant);
};

using RecordedVariants = std::vector<LayerVariants>;

// The interpreter's repr() of what was recorded for `layer`, one dictionary per recording:
// [{'/world/a': {'variantset': 'look', 'variantname': 'red'}}].
std::string variants_repr(const RecordedVariants& recorded, const std::string& layer);

}  // namespace scanflow
