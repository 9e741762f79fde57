#include "util/file_system.h"

namespace scanflow {

namespace {

class MachineFileSystem : public FileSystem {
public:
    Flavour flavour() const override { return native_flavour(); }
    os::ListError list_directory(
        const std::string& dir,
        const std::function<void(const os::DirItem&)>& each) const override {
        return os::list_directory(dir, each);
    }
    os::Facts stat(const std::string& path) const override { return os::stat(path); }
    bool exists_itself(const std::string& path) const override { return os::exists_itself(path); }
    std::optional<std::string> real_path(const std::string& path) const override {
        return os::real_path(path);
    }
    std::string current_directory() const override { return os::current_directory(); }
};

}  // namespace

const FileSystem& machine_file_system() {
    static const MachineFileSystem machine;
    return machine;
}

}  // namespace scanflow
