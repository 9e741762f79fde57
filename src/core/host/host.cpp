#include "host/host.h"

#include "entry/errors.h"

namespace scanflow {
namespace {
std::shared_ptr<Host>& current() {
    static std::shared_ptr<Host> h;
    return h;
}
std::string& missing_reason() {
    static std::string reason = "the host application's module 'hou' is not available";
    return reason;
}
}  // namespace

Host& host() {
    if (!current()) throw HostError("no scene host: " + missing_reason());
    return *current();
}

void set_host(std::shared_ptr<Host> h) {
    current() = std::move(h);
}
void set_no_host_reason(std::string reason) {
    missing_reason() = std::move(reason);
}
bool has_host() {
    return current() != nullptr;
}

}  // namespace scanflow
