// The codes of the tips the submission client shows, each named once.
#pragma once

#include <string_view>

namespace scanflow::tip {

inline constexpr const char* kMissingFiles = "50001";
inline constexpr const char* kCameraErrors = "50002";
inline constexpr const char* kCameraWarnings = "50003";
inline constexpr const char* kUnsupportedSliceType = "50007";
inline constexpr const char* kTooManySlices = "50008";
inline constexpr const char* kNoRenderNode = "50010";
inline constexpr const char* kNeedsGpuPlatform = "50011";
inline constexpr const char* kVrayExportMode = "50012";
inline constexpr const char* kMissingOutputDriver = "50013";
inline constexpr const char* kMissingSimControl = "50014";
inline constexpr const char* kMissingCamera = "50016";
inline constexpr const char* kProtectedPaths = "50104";
inline constexpr const char* kProblemNodes = "50105";
inline constexpr const char* kArnoldGpuDenoise = "50107";
inline constexpr const char* kUnconfiguredRenderer = "50108";
inline constexpr const char* kOpenglNeedsGpu = "50110";
inline constexpr const char* kOutsideRoots = "50111";

// What a tip means, in words for a person; "" for a code that is not a tip of ours.
std::string_view meaning(std::string_view code);

}  // namespace scanflow::tip
