// Parsers of the node sections of a scene: parameters (.parm), channels (.chn), node definitions
// (.def, .init), and the scene sections (.variables, .start, asset-library lists).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace scanflow::hip {

// One component of a saved parameter.
struct Component {
    enum Kind : unsigned char { Number, Bare, Quoted, Channel } kind = Bare;
    // Set when the component is changed after the load; `loaded_kind` is then the kind it was
    // loaded with (its text and channel, when they differ from the present ones, the scene keeps).
    bool changed = false;
    Kind loaded_kind = Bare;
    std::string text;     // the value (unescaped); the cached value for a channel reference
    std::string channel;  // the channel that drives the component
};

struct ParmEntry {
    std::string name;  // the tuple's name
    std::vector<Component> components;
    unsigned locks = 0;
};

// Parses a .parm section; a malformed one is a ParseError naming `where` and the offset.
std::vector<ParmEntry> parse_parms(const std::string& body, const std::string& where);

struct Segment {
    double length = 0;          // seconds
    std::vector<double> value;  // values at the segment's start and end
    std::vector<double> slope;  // slopes (per second) at the start and end
    std::string expr;
    std::string language;  // "" = the node's default, or "python"
};

struct Channel {
    double start = 0;  // seconds
    std::optional<double> default_value;
    std::optional<std::string> default_string;
    std::vector<Segment> segments;
};

std::map<std::string, Channel> parse_channels(const std::string& body, const std::string& where);

// What the scene layer reads of a node's definition section: of its flags (a dozen on every
// node of a saved scene) the bypass flag, and the expression language.
struct NodeDef {
    bool bypass = false;
    std::string exprlanguage;  // empty when the node keeps the scene's
    std::vector<std::pair<int, std::string>>
        inputs;  // input index -> source name ("(N)": indirect)
};

NodeDef parse_def(const std::string& body);
// The type name of a .init section ("type = geo").
std::string parse_init_type(const std::string& body);
// "set -g NAME = 'value'" lines.
std::vector<std::pair<std::string, std::string>> parse_variables(const std::string& body);

// The takes of a scene: for each take its parent and the parameter blocks it overrides, by node.
struct Take {
    std::string name;
    std::string parent;                                          // "" for the root take
    std::vector<std::pair<std::string, std::string>> overrides;  // node path, .parm block
};
std::vector<Take> parse_takes(const std::string& body, const std::string& where);
// The take the scene was saved in (".cwd": "takeset NAME").
std::string parse_current_take(const std::string& body);

struct Timeline {
    double fps = 24;
    double tcur = 0;
    double tstart = 0, tend = 10;     // global range, seconds
    double rfstart = 1, rfend = 240;  // playback range, frames
};
Timeline parse_start(const std::string& body);

}  // namespace scanflow::hip
