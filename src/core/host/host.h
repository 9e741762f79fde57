// The scene interface: every step of the analysis reaches the loaded scene through these
// operations and nothing more. One implementation forwards to the host application's scripting
// module; another reads scene files itself.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/value.h"
#include "util/confinement.h"

namespace scanflow {

class Node;
class Parm;
class ParmTuple;
class Geometry;
class GeoElement;
using NodePtr = std::shared_ptr<Node>;
using ParmPtr = std::shared_ptr<Parm>;
using ParmTuplePtr = std::shared_ptr<ParmTuple>;
using GeometryPtr = std::shared_ptr<Geometry>;
using GeoElementPtr = std::shared_ptr<GeoElement>;

// A USD stage held by a node; the USD facade knows what to do with it.
class StageHandle {
public:
    virtual ~StageHandle() = default;
};
using StagePtr = std::shared_ptr<StageHandle>;

class Parm {
public:
    virtual ~Parm() = default;
    virtual Value eval() = 0;
    virtual std::string evalAsString() = 0;
    virtual NodePtr evalAsNode() = 0;  // null when the value names no node
    virtual std::string unexpandedString() = 0;
    virtual void set(const Value& value) = 0;
    virtual bool isLocked() = 0;
    virtual void lock(bool on) = 0;
    virtual void deleteAllKeyframes() = 0;
    virtual void revertToDefaults() = 0;
    virtual ParmPtr getReferencedParm() = 0;
    virtual std::vector<std::string> menuLabels() = 0;
    virtual std::string path() = 0;
    virtual std::string name() = 0;
    virtual NodePtr node() = 0;
};

class ParmTuple {
public:
    virtual ~ParmTuple() = default;
    virtual std::string name() = 0;
    virtual Value eval() = 0;  // a list, one item per component
    virtual std::vector<ParmPtr> parms() = 0;
};

class Node {
public:
    virtual ~Node() = default;
    virtual std::vector<NodePtr> allSubChildren() = 0;
    // Calls `visit` with each node below this one, in the order of allSubChildren; a visited
    // node lives for its call only (a scene of a million nodes is walked without holding them).
    virtual void for_each_below(const std::function<void(Node&)>& visit) {
        for (auto& node : allSubChildren()) visit(*node);
    }
    virtual std::vector<ParmPtr> parms() = 0;
    virtual ParmPtr parm(const std::string& name) = 0;            // null when absent
    virtual ParmTuplePtr parmTuple(const std::string& name) = 0;  // null when absent
    virtual Value evalParm(const std::string& name) = 0;
    virtual std::string path() = 0;
    virtual std::string name() = 0;
    virtual std::string type_name() = 0;                         // type().name()
    virtual std::optional<std::string> type_library_path() = 0;  // type().definition()
    virtual bool isBypassed() = 0;
    virtual bool isInsideLockedHDA() = 0;
    virtual std::vector<NodePtr> inputAncestors() = 0;
    virtual NodePtr parent() = 0;  // null for the root
    virtual GeometryPtr geometry() = 0;
    virtual StagePtr stage() = 0;
    virtual void allowEditingOfContents() = 0;
    virtual void setSelected(bool on, bool clear_all_selected) = 0;
};

// A point or primitive of a geometry.
class GeoElement {
public:
    virtual ~GeoElement() = default;
    virtual Value attribValue(const std::string& name) = 0;
    // File names of the clip catalogue, when the primitive offers one.
    virtual std::optional<std::vector<std::string>> clip_file_names() = 0;
    // The file name of the rig, when the primitive offers a rig that has one.
    virtual std::optional<std::string> rig_file_name() = 0;
};

class Geometry {
public:
    virtual ~Geometry() = default;
    virtual std::vector<GeoElementPtr> points() = 0;
    virtual std::vector<GeoElementPtr> prims() = 0;
    virtual std::vector<std::string> pointAttribs() = 0;  // attribute names
};

enum class UpdateMode { Manual, OnMouseUp };

class Host {
public:
    virtual ~Host() = default;
    virtual std::string kind() const = 0;                // "hou" or "hip"
    virtual void load_hip(const std::string& path) = 0;  // LoadWarning on a partial load
    virtual void setSimulationEnabled(bool on) = 0;
    virtual void setUpdateMode(UpdateMode mode) = 0;
    virtual void setFrame(double frame) = 0;
    virtual double frame() = 0;
    virtual std::string hscript(const std::string& command) = 0;
    virtual std::optional<std::string> getenv(const std::string& name) = 0;
    virtual std::vector<int> applicationVersion() = 0;
    virtual std::string applicationVersionString() = 0;
    virtual NodePtr node(const std::string& path) = 0;  // null when no node has that path
    virtual GeometryPtr load_geometry(const std::string& path) = 0;
    virtual bool has_takes() = 0;
    // The scene's global animation range ($FSTART, $FEND).
    virtual std::pair<double, double> global_frame_range() = 0;
    // The file of the scene the host holds now.
    virtual std::string current_scene_path() = 0;
    // Whether the host application cooks contents of `node` that this host cannot read, and
    // those contents hold a render or output driver (a built-in asset whose network lives in
    // the host's installation). The host application itself sees every node.
    virtual bool hides_output_drivers(Node& node) {
        (void)node;
        return false;
    }
    // Why this host cannot open the scene file at all, so that nothing would be analysed; nothing
    // when it can (the host application opens every scene it saved).
    virtual std::optional<std::string> refusal(const std::string& path) {
        (void)path;
        return std::nullopt;
    }
    // Which environment variables the scene's values may expand: those the confinement admits,
    // every one when it is null. The host application expands values itself: it is not told.
    virtual void confine_variables(std::shared_ptr<const Confinement> confinement) {
        (void)confinement;
    }
};

// A host for a process that has none: every operation fails with a HostError that says why.
std::shared_ptr<Host> make_unavailable_host(std::string reason);

}  // namespace scanflow
