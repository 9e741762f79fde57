#include "run/tip_codes.h"

#include <utility>

namespace scanflow::tip {

std::string_view meaning(std::string_view code) {
    static constexpr std::pair<std::string_view, std::string_view> kMeanings[] = {
        {kMissingFiles, "files the scene needs are missing"},
        {kCameraErrors, "a render node's camera is wrong"},
        {kCameraWarnings, "a render node's camera may be wrong"},
        {kUnsupportedSliceType, "a distributed simulation uses a slice type the farm cannot run"},
        {kTooManySlices, "a distributed simulation has more than 16 slices"},
        {kNoRenderNode, "the scene has no render, output or simulation node to run"},
        {kNeedsGpuPlatform,
         "render nodes or render settings need a GPU platform (denoiser or render mode)"},
        {kVrayExportMode, "a V-Ray render node's export mode cannot run on the farm"},
        {kMissingOutputDriver, "a distributed simulation's output driver does not exist"},
        {kMissingSimControl, "a distributed simulation's controls or cluster node does not exist"},
        {kMissingCamera, "a render node's camera does not exist"},
        {kProtectedPaths, "files lie in the farm's own software folders and are not uploaded"},
        {kProblemNodes, "nodes with parameters that could not be evaluated"},
        {kArnoldGpuDenoise, "Arnold render nodes use OptiX denoising, which needs a GPU platform"},
        {kUnconfiguredRenderer, "renderers the scene uses are not among the task's plug-ins"},
        {kOpenglNeedsGpu, "an OpenGL render node needs a GPU platform"},
        {kOutsideRoots, "paths outside the confinement roots were neither listed nor read"},
    };
    for (const auto& [known, words] : kMeanings)
        if (known == code) return words;
    return "";
}

}  // namespace scanflow::tip
