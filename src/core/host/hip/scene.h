// A scene read from a .hip file: the node tree, parameters and channels, variables, timeline and
// asset libraries, with the evaluation of parameter values at a frame.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "host/hip/archive.h"
#include "host/hip/asset_definitions.h"
#include "host/hip/expr.h"
#include "host/hip/parm_templates.h"
#include "host/hip/sections.h"
#include "host/value.h"
#include "util/environment.h"

namespace scanflow::hip {

struct NodeData {
    std::string path;  // "/obj/geo1"
    std::string type;
    NodeData* parent_node = nullptr;  // the parent's data, once the scene is linked
    std::vector<NodeData*> children;  // in the scene's order; nodes are never removed
    std::vector<ParmEntry> entries;
    // Channels and spare parameters, which few nodes have: made for a node that has them (a
    // scene of a million nodes holds no empty tables).
    struct Extras {
        std::map<std::string, Channel> channels;
        Templates templates;  // of the node's spare parameters, as the scene saved them
    };
    std::unique_ptr<Extras> extras;
    // Of its asset type's parameters, when the type's definition was found.
    const Templates* definition = nullptr;
    NodeDef def;
    // The first `loaded` entries are the loaded ones, which revertToDefaults restores.
    uint32_t loaded = 0;
    bool matchesdef = false;
    bool from_definition = false;  // made from its locked asset's definition, not saved

    // "" for the root, "/" for the root networks.
    std::string_view parent_path() const {
        if (path == "/") return {};
        size_t slash = path.rfind('/');
        return slash == 0 ? std::string_view("/") : std::string_view(path).substr(0, slash);
    }
    // The channel of that name; null when the node has none.
    const Channel* channel(const std::string& name) const {
        if (!extras) return nullptr;
        auto found = extras->channels.find(name);
        return found == extras->channels.end() ? nullptr : &found->second;
    }
    Extras& own_extras() {
        if (!extras) extras = std::make_unique<Extras>();
        return *extras;
    }
    // The loaded state is now what the entries hold.
    void loaded_as_now() {
        loaded = static_cast<uint32_t>(entries.size());
        for (auto& entry : entries)
            for (auto& c : entry.components) c.changed = false;
    }
};

struct Evaluation;

// A parameter component: which entry of which node, and which component of it.
struct ParmRef {
    NodeData* node = nullptr;
    size_t entry = 0;
    size_t component = 0;
    std::string name;
};

// Whether `path` is absolute with nothing to resolve: no empty, "." or ".." part.
bool is_resolved_path(std::string_view path);

class Scene {
public:
    // Builds the scene from the archive of `path` (the file's real location sets $HIP).
    Scene(const Archive& archive, const std::string& path);
    // Reads the scene file at `path`, each node's sections as they come: a large scene is never
    // held whole beside its nodes. `damage` is what the archive's damage was, if any.
    static std::shared_ptr<Scene> read(const std::string& path, std::string* damage);

    NodeData* node(std::string_view path);
    // The sections that could not be parsed, each naming file, section and line; their nodes
    // loaded without those values.
    const std::vector<std::string>& damage() const { return damage_; }
    std::vector<ParmRef> parms(NodeData& node);
    std::optional<ParmRef> parm(NodeData& node, const std::string& name);
    // The tuple entry of that name.
    std::optional<size_t> tuple(NodeData& node, const std::string& name);

    Value eval(const ParmRef& parm);
    // Gives a component a value of its own (no channel); the loaded value is kept for revert.
    void set_component(const ParmRef& parm, Component::Kind kind, std::string text);
    // The component as loaded again; nothing for a component added after the load.
    void revert_component(const ParmRef& parm);
    std::string raw_text(const ParmRef& parm);  // unexpandedString
    std::optional<ParmRef> referenced(const ParmRef& parm);

    std::optional<std::string> variable(const std::string& name, const NodeData* node);
    // Where variables the scene does not set come from (none until given).
    void use_environment(Environment environment) { environment_ = std::move(environment); }
    std::optional<std::string> library_of(const NodeData& node);
    // The type's name as asset libraries write it: "[ns::]Category/name[::version]".
    // `guessed` tells whether the category was guessed from the top network alone.
    std::string full_type(const NodeData& node, bool* guessed = nullptr);

    // What the scene's asset instances came to: counted by expand_assets.
    struct AssetFigures {
        size_t instances = 0;  // nodes of an asset type
        size_t definitions_found = 0;
        size_t expanded = 0;      // locked instances given their definition's contents
        size_t nodes_inside = 0;  // nodes made from definitions
    };
    // Gives asset instances their definitions: the parameter templates of each instance's type
    // (so unsaved parameters read its defaults), and to each locked instance the nodes its
    // definition contains that the scene did not save, nested instances among them. Definitions
    // come from the scene, then from the libraries it names or keeps beside it and the asset search
    // path; a library outside `confinement` (when there is one) is not read.
    void expand_assets(const Confinement* confinement);
    const AssetFigures& asset_figures() const { return asset_figures_; }
    std::vector<std::string> menu_labels(const ParmRef& parm);
    bool inside_locked_asset(const NodeData& node);

    double frame = 1;
    std::string save_version;
    std::string current_take;  // "" when the scene was saved in its root take
    Timeline timeline;

    // A node path relative to `from`, made absolute ("." and ".." resolved).
    std::string resolve_path(const std::string& from, const std::string& relative) const;

private:
    friend class Scope;
    explicit Scene(const std::string& path);
    NodeData& ensure_node(const std::string& node_path);
    // Reads the section when it is one of a node's; whether it was. `where` names the file.
    bool read_node_section(const Section& section, const std::string& where);
    // What the scene reads once its nodes are read: from the archive's other sections.
    void complete(const Archive& archive, const std::string& path);
    void read_values(NodeData& node, const std::string& kind, const std::string& body,
                     const std::string& where);
    void link_children();
    void read_scene_facts(const Archive& archive);
    void read_asset_libraries(const Archive& archive);
    // Applies the overrides of the take the scene was saved in.
    void apply_current_take(const Archive& archive, const std::string& path);
    // A component's value, evaluated once per evaluation.
    Value eval_component(const ParmRef& parm, int depth, Evaluation& evaluation);
    Value component_value(const ParmRef& parm, int depth, Evaluation& evaluation);
    ExprValue channel_value(NodeData& node, const std::string& name, const Channel& ch,
                            bool as_string, int depth, Evaluation& evaluation);
    std::vector<std::string> component_names(const NodeData& node, const ParmEntry& entry) const;
    const ParmTemplate* template_of(const NodeData& node, const std::string& tuple) const;
    // The ordinal menu of a tuple: its template's, else the one its name has on any node type.
    const ParmTemplate* menu_of(const NodeData& node, const std::string& tuple) const;
    std::optional<ParmRef> unsaved_parm(NodeData& node, const std::string& name);
    // Appends the tuple with its template's defaults; false when they are not all known.
    bool add_default_entry(NodeData& node, const std::string& tuple, const ParmTemplate& known);

    std::string hip_path_;
    Environment environment_ = Environment::of({});
    // The nodes; a deque, so that a node never moves and the index keys are views of its path.
    std::deque<NodeData> store_;
    std::unordered_map<std::string_view, NodeData*> nodes_;
    std::vector<NodeData*> order_;   // every node, depth first as saved
    NodeData* last_read_ = nullptr;  // a node's sections follow each other
    // The loaded text and channel of each changed component whose own differ from them.
    struct LoadedText {
        std::string text, channel;
    };
    std::map<std::tuple<const NodeData*, size_t, size_t>, LoadedText> loaded_texts_;
    std::vector<std::string> damage_;
    std::vector<std::pair<std::string, std::string>> variables_;
    std::map<std::string, std::string> fallbacks_, preferences_;
    std::vector<std::string> libraries_;
    std::vector<std::string> embedded_, dummy_types_;

    // Asset definitions.
    const AssetDefinition* known_definition(const NodeData& node);
    const AssetDefinition* definition_of(const NodeData& node,
                                         const std::optional<std::string>& library,
                                         const Confinement* confinement);
    void read_library(const std::string& path, const Confinement* confinement);
    void read_searched_libraries(const Confinement* confinement);
    std::vector<std::string> searched_library_files(const Confinement* confinement);
    // The contents network of a locked instance as its children; the nodes made.
    std::vector<NodeData*> add_contents(NodeData& instance, const AssetDefinition& definition);
    AssetDefinitions definitions_;
    // The type names of a library file, or nothing when it cannot be read.
    const std::vector<std::string>* library_types(const std::string& path);
    std::map<std::string, std::optional<std::vector<std::string>>> library_types_;
    std::set<std::string> libraries_read_;
    bool searched_libraries_read_ = false;
    AssetFigures asset_figures_;
};

// The type names in an INDX archive (embedded or stub asset definitions).
std::vector<std::string> indx_entries(const std::string& data);

}  // namespace scanflow::hip
