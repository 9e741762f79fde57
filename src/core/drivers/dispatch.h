// The top-level driver: dispatches the file to analyse by its extension.
#pragma once

#include <string>

#include "drivers/related.h"

namespace scanflow {

class AnalysisAssets : public Related {
public:
    AnalysisAssets(const Services& services, const RunParameters& param_dict);
    // A scene (.hip, .hiplc) goes to the scene driver, a USD file (.usd, .usda, .usdc) to the
    // USD-file driver; anything else, or a file that does not exist, to nothing.
    void doit();
    // Runs the scene flow on the scene the host holds (the command line's test mode).
    void doit_test();
    RunParameters param_dict;
};

// The extension of a file name: from its last dot on, "" when there is none (a leading dot of
// a hidden name does not count).
std::string file_extension(const std::string& path);

}  // namespace scanflow
