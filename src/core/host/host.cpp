#include "host/host.h"

#include "base/errors.h"

namespace scanflow {

namespace {

class UnavailableHost : public Host {
public:
    explicit UnavailableHost(std::string reason) : reason_(std::move(reason)) {}
    std::string kind() const override { return "none"; }
    void load_hip(const std::string&) override { fail(); }
    void setSimulationEnabled(bool) override { fail(); }
    void setUpdateMode(UpdateMode) override { fail(); }
    void setFrame(double) override { fail(); }
    double frame() override { fail(); }
    std::string hscript(const std::string&) override { fail(); }
    std::optional<std::string> getenv(const std::string&) override { fail(); }
    std::vector<int> applicationVersion() override { fail(); }
    std::string applicationVersionString() override { fail(); }
    NodePtr node(const std::string&) override { fail(); }
    GeometryPtr load_geometry(const std::string&) override { fail(); }
    bool has_takes() override { fail(); }
    std::pair<double, double> global_frame_range() override { fail(); }
    std::string current_scene_path() override { fail(); }

private:
    [[noreturn]] void fail() const { throw HostError("no scene host: " + reason_); }
    std::string reason_;
};

}  // namespace

std::shared_ptr<Host> make_unavailable_host(std::string reason) {
    return std::make_shared<UnavailableHost>(std::move(reason));
}

}  // namespace scanflow
