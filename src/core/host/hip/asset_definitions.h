// Digital-asset definitions: the libraries that hold them (the scene's embedded definitions and
// asset library files, both the same index-and-data container), each definition's parameter
// templates and the network of nodes it contains.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/hip/archive.h"
#include "host/hip/parm_templates.h"

namespace scanflow::hip {

struct IndxEntry {
    std::string name;
    std::string_view data;  // a view of the archive's bytes
};

// The entries of an index-and-data archive, in index order. An index that leads outside the
// data ends the list there; data that is no such archive has no entries.
std::vector<IndxEntry> indx_archive(std::string_view data);

struct AssetDefinition {
    std::string type;     // as the libraries name it: "[ns::]Category/name[::version]"
    std::string source;   // "Embedded", or the library file it came from
    Templates templates;  // of its parameter dialog
    // The contents network as stored (compressed or not); empty when it has none.
    std::string contents;
    bool compressed = false;
};

// The definitions an index-and-data library holds.
std::vector<AssetDefinition> read_definitions(std::string_view library, const std::string& source);

// The nodes a definition contains, as a scene archive whose node sections are named below
// "hdaroot/" (the instance itself is "hdaroot"). A network that cannot be read is an empty
// archive with its damage recorded.
Archive contents_archive(const AssetDefinition& definition);

// A type name without its category: "ns::name::ver" for "ns::Category/name::ver", as a node's
// own type is saved.
std::string type_without_category(const std::string& type);

// Definitions by type, the first of each type kept.
class AssetDefinitions {
public:
    void add(std::vector<AssetDefinition> definitions);
    // The definition of a node's type: by its full name, else (when `node_type` is given) by
    // its saved type when only one category defines it.
    const AssetDefinition* find(const std::string& full_type, const std::string& node_type) const;
    size_t size() const { return by_type_.size(); }

private:
    std::vector<std::unique_ptr<AssetDefinition>> owned_;
    std::map<std::string, const AssetDefinition*> by_type_;
    std::map<std::string, std::vector<const AssetDefinition*>> by_saved_type_;
};

}  // namespace scanflow::hip
