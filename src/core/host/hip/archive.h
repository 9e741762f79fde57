// The scene file container: a cpio ("odc") archive or its MIME text form, read into sections.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace scanflow::hip {

struct Section {
    std::string name;  // "obj/geo1/file1.parm", ".start"
    std::string body;
};

struct Archive {
    // In file order; a deque, which grows without moving what it holds (millions of them).
    std::deque<Section> sections;
    // The scene's own sections (".start", ".variables", ...) by name, the ones asked for by name;
    // a node's sections are read in file order, and a scene of a million nodes has three million
    // of them.
    std::unordered_map<std::string, size_t> index;
    // Set when the file was damaged: what came before the damage is kept (`sections`).
    std::string damage;

    void add(std::string name, std::string body);
    const std::string* find(const std::string& name) const;
};

enum class Kind { Cpio, Text, LimitedCommercial, NonCommercial, Unknown };

// The kind of a scene file by its first bytes (never by its name).
Kind detect(const std::string& head);

// Reads the scene file. Files of a locked format and files that are no scene are HostErrors
// naming the file; a truncated or corrupt archive keeps what was read and records the damage.
// Each section of a cpio archive is offered to `take` as it is read, and one it takes is not
// kept: a reader can have a large scene's sections without holding them all.
Archive read_archive(const std::string& path,
                     const std::function<bool(const Section&)>& take = nullptr);
Archive parse_archive(const std::string& path, const std::string& data);
// Why the scene file cannot be read at all (a licence tier this reader does not open), or nothing.
std::optional<std::string> refusal(const std::string& path);

}  // namespace scanflow::hip
