#include "host/hip/asset_definitions.h"

#include <cstdint>

#include "util/inflate.h"

namespace scanflow::hip {

namespace {

bool read_u32(std::string_view data, size_t at, uint32_t* value) {
    if (at > data.size() || data.size() - at < 4) return false;
    *value = (static_cast<uint32_t>(static_cast<unsigned char>(data[at])) << 24) |
             (static_cast<uint32_t>(static_cast<unsigned char>(data[at + 1])) << 16) |
             (static_cast<uint32_t>(static_cast<unsigned char>(data[at + 2])) << 8) |
             static_cast<uint32_t>(static_cast<unsigned char>(data[at + 3]));
    return true;
}

struct IndexRow {
    std::string name;
    uint32_t offset = 0, size = 0;
};

}  // namespace

std::vector<IndxEntry> indx_archive(std::string_view data) {
    std::vector<IndxEntry> entries;
    if (data.substr(0, 4) != "INDX") return entries;
    uint32_t description = 0, count = 0;
    if (!read_u32(data, 8, &description)) return entries;
    size_t pos = 12 + static_cast<size_t>(description);
    if (!read_u32(data, pos, &count)) return entries;
    pos += 4;
    std::vector<IndexRow> rows;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t length = 0;
        if (!read_u32(data, pos, &length) || data.size() - pos - 4 < length) break;
        IndexRow row;
        row.name = std::string(data.substr(pos + 4, length));
        pos += 4 + length;
        uint32_t mtime = 0;
        if (!read_u32(data, pos, &row.offset) || !read_u32(data, pos + 4, &row.size) ||
            !read_u32(data, pos + 8, &mtime))
            break;
        pos += 12;
        rows.push_back(std::move(row));
    }
    // The data follows the index; each entry lies at its offset from there.
    for (auto& row : rows) {
        if (pos > data.size() || row.offset > data.size() - pos ||
            row.size > data.size() - pos - row.offset)
            break;
        entries.push_back(IndxEntry{std::move(row.name), data.substr(pos + row.offset, row.size)});
    }
    return entries;
}

std::vector<AssetDefinition> read_definitions(std::string_view library, const std::string& source) {
    std::vector<AssetDefinition> definitions;
    for (const auto& entry : indx_archive(library)) {
        // The table of contents and the library's own marker are no definitions.
        if (entry.name == "INDEX_SECTION" || entry.name.find('/') == std::string::npos) continue;
        AssetDefinition definition;
        definition.type = entry.name;
        definition.source = source;
        for (const auto& part : indx_archive(entry.data)) {
            if (part.name == "DialogScript") {
                definition.templates = parse_parm_templates(std::string(part.data));
            } else if (part.name == "Contents.gz" || part.name == "Contents") {
                definition.contents = std::string(part.data);
                definition.compressed = part.name == "Contents.gz";
            }
        }
        definitions.push_back(std::move(definition));
    }
    return definitions;
}

Archive contents_archive(const AssetDefinition& definition) {
    std::string where = definition.source + " (" + definition.type + ")";
    std::string inflated;
    std::string_view data = definition.contents;
    if (definition.compressed) {
        std::string why;
        std::optional<std::string> plain = inflate_data(data, &why);
        if (!plain) {
            Archive damaged;
            damaged.damage = where + ": the contents network is not read: " + why;
            return damaged;
        }
        inflated = std::move(*plain);
        data = inflated;
    }
    // A few bytes of header come before the archive itself.
    size_t start = data.substr(0, 64).find("070707");
    if (start == std::string_view::npos) return Archive{};
    return parse_archive(where, std::string(data.substr(start)));
}

std::string type_without_category(const std::string& type) {
    size_t slash = type.find('/');
    if (slash == std::string::npos) return type;
    size_t ns = type.rfind("::", slash);
    std::string prefix = ns == std::string::npos ? "" : type.substr(0, ns + 2);
    return prefix + type.substr(slash + 1);
}

void AssetDefinitions::add(std::vector<AssetDefinition> definitions) {
    for (auto& definition : definitions) {
        if (by_type_.count(definition.type)) continue;
        owned_.push_back(std::make_unique<AssetDefinition>(std::move(definition)));
        const AssetDefinition* kept = owned_.back().get();
        by_type_[kept->type] = kept;
        by_saved_type_[type_without_category(kept->type)].push_back(kept);
    }
}

const AssetDefinition* AssetDefinitions::find(const std::string& full_type,
                                              const std::string& node_type) const {
    if (auto it = by_type_.find(full_type); it != by_type_.end()) return it->second;
    auto same = by_saved_type_.find(node_type);
    if (same != by_saved_type_.end() && same->second.size() == 1) return same->second.front();
    return nullptr;
}

}  // namespace scanflow::hip
