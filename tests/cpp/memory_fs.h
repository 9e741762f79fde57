// A file system held in memory, with the path rules of either platform: Windows drives, shares,
// either separator and names without case on any machine, without touching the disk.
#pragma once

#include <atomic>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/file_system.h"

namespace scanflow::testing {

class MemoryFileSystem : public FileSystem {
public:
    // `cwd` is absolute in the flavour's shape ("C:/work", "/work").
    MemoryFileSystem(Flavour flavour, std::string cwd) : flavour_(flavour), cwd_(std::move(cwd)) {
        ensure_dir(cwd_);
    }

    void add_file(const std::string& path, int64_t size = 1, int64_t mtime = 1000) {
        Node& node = ensure(path, Node::File);
        node.size = size;
        node.mtime = mtime;
    }
    void add_dir(const std::string& path) { ensure_dir(path); }
    // How many directories were listed, to tell cached answers from fresh ones.
    int listings() const { return listings_; }

    Flavour flavour() const override { return flavour_; }

    os::ListError list_directory(
        const std::string& dir,
        const std::function<void(const os::DirItem&)>& each) const override {
        ++listings_;
        const Node* node = find(dir);
        if (!node) return os::ListError::NotFound;
        if (node->kind != Node::Dir) return os::ListError::NotDirectory;
        for (const auto& [key, child] : node->children)
            each(os::DirItem{child->name, child->kind == Node::Dir ? os::Kind::Dir : os::Kind::File,
                             false});
        return os::ListError::None;
    }
    os::Facts stat(const std::string& path) const override {
        const Node* node = find(path);
        if (!node) return {};
        return os::Facts{node->kind == Node::Dir ? os::Kind::Dir : os::Kind::File, node->size,
                         node->mtime};
    }
    bool exists_itself(const std::string& path) const override { return find(path) != nullptr; }
    std::optional<std::string> real_path(const std::string& path) const override {
        const Node* node = find(path);
        if (!node) return std::nullopt;
        return node->path;
    }
    std::string current_directory() const override { return cwd_; }

private:
    struct Node {
        enum Kind { File, Dir } kind = Dir;
        std::string name;  // as created
        std::string path;  // the real path, as created
        int64_t size = 0;
        int64_t mtime = 0;
        Node* parent = nullptr;
        std::map<std::string, std::unique_ptr<Node>> children;  // by name key
    };

    bool is_sep(char c) const { return flavour_.is_sep(c); }
    std::string name_key(const std::string& name) const {
        if (!flavour_.windows) return name;
        std::string key = name;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return key;
    }
    // The root a path starts from ("/", "C:", "//server/share") and its components; a relative
    // path starts from the working directory.
    std::pair<std::string, std::vector<std::string>> split(const std::string& path) const {
        std::string full = path;
        bool drive = flavour_.windows && full.size() >= 2 && full[1] == ':';
        bool share = flavour_.windows && full.size() >= 2 && is_sep(full[0]) && is_sep(full[1]);
        bool rooted = drive ? full.size() > 2 && is_sep(full[2]) : !full.empty() && is_sep(full[0]);
        if (!rooted && !share) full = cwd_ + "/" + full;
        std::vector<std::string> parts;
        std::string part;
        for (char c : full) {
            if (is_sep(c)) {
                if (!part.empty()) parts.push_back(part);
                part.clear();
            } else {
                part.push_back(c);
            }
        }
        if (!part.empty()) parts.push_back(part);
        std::string root = "/";
        if (flavour_.windows && !parts.empty() && parts[0].size() == 2 && parts[0][1] == ':') {
            root = parts[0];
            parts.erase(parts.begin());
        } else if (share && parts.size() >= 2) {
            root = "//" + parts[0] + "/" + parts[1];
            parts.erase(parts.begin(), parts.begin() + 2);
        }
        return {root, parts};
    }
    Node& make_root(const std::string& root) {
        auto& slot = roots_[name_key(root)];
        if (!slot) {
            slot = std::make_unique<Node>();
            slot->name = root;
            slot->path = root == "/" ? "/" : root + "/";
        }
        return *slot;
    }
    const Node* root_of(const std::string& root) const {
        auto it = roots_.find(name_key(root));
        return it == roots_.end() ? nullptr : it->second.get();
    }
    Node& ensure(const std::string& path, Node::Kind kind) {
        auto [root, parts] = split(path);
        Node* node = &make_root(root);
        for (size_t i = 0; i < parts.size(); ++i) {
            auto& slot = node->children[name_key(parts[i])];
            if (!slot) {
                slot = std::make_unique<Node>();
                slot->name = parts[i];
                slot->path = node->path + (node->path.back() == '/' ? "" : "/") + parts[i];
                slot->parent = node;
                slot->kind = i + 1 == parts.size() ? kind : Node::Dir;
            }
            node = slot.get();
        }
        return *node;
    }
    void ensure_dir(const std::string& path) { ensure(path, Node::Dir); }
    const Node* find(const std::string& path) const {
        auto [root, parts] = split(path);
        const Node* node = root_of(root);
        if (!node) return nullptr;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i] == ".") continue;
            if (parts[i] == "..") {
                if (node->parent) node = node->parent;
                continue;
            }
            if (node->kind != Node::Dir) return nullptr;
            auto it = node->children.find(name_key(parts[i]));
            if (it == node->children.end()) return nullptr;
            node = it->second.get();
        }
        return node;
    }

    Flavour flavour_;
    std::string cwd_;
    std::map<std::string, std::unique_ptr<Node>> roots_;
    mutable std::atomic<int> listings_{0};
};

}  // namespace scanflow::testing
