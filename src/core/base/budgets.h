// The bounds on what a scene, and the files it names, can make the analysis do, in one place.
// A scene comes from a customer and the analysis runs on farm machines: each bound is far beyond
// what a real scene needs and small enough that a hostile input ends with an error naming it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scanflow::budget {

// Decompressed data: text and geometry compress by a few tens at most; past the floor, a ratio
// beyond this is a decompression bomb.
inline constexpr uint64_t kInflationRatio = 1000;
inline constexpr uint64_t kInflationFloor = 256ull << 20;

// Nesting of a JSON file the analysis reads and rewrites (task.json): the client's has four
// levels.
inline constexpr size_t kJsonDepth = 512;

}  // namespace scanflow::budget
