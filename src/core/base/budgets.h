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

// One parameter's evaluation, across every expression and parameter reference it reaches:
// nesting levels (each level is a few stack frames of the evaluators), tokens read and
// references followed, and the size of any text value it builds. Real scenes nest a few levels,
// read a few hundred tokens and build paths of a few hundred bytes.
inline constexpr int kEvalDepth = 1000;
inline constexpr uint64_t kEvalSteps = 20'000'000;
inline constexpr size_t kValueBytes = 64u << 20;

// One wildcard path's expansion: components holding wildcards, directories listed and names
// matched. A real path has a few wildcard components over a few thousand files; a folder of
// links back to itself, or a path of thousands of `/*`, would grow without end.
inline constexpr size_t kGlobDepth = 64;
inline constexpr size_t kGlobDirectories = 100'000;
inline constexpr size_t kGlobMatches = 2'000'000;

// Brackets nested in a USD text layer: the library parses them recursively, on the stack of
// the thread that opens the layer. Real layers nest prims a few tens deep.
inline constexpr size_t kUsdTextNesting = 1000;

// The part of a text line a reader keeps. Longer lines are read through, not kept: in the text
// formats read (V-Ray scenes hold whole meshes on one line) they hold data, not file names.
inline constexpr size_t kLineBytes = 16u << 20;

// Digital assets: instances inside the contents of instances, and the nodes made from
// definitions in all. Real assets nest a few levels and hold hundreds of nodes; a definition
// that contains an instance of itself would nest without end.
inline constexpr size_t kAssetNesting = 64;
inline constexpr size_t kAssetNodes = 1'000'000;

}  // namespace scanflow::budget
