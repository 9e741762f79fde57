#include "util/json.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"

namespace scanflow {

std::string dump_json(const Json& value, Unencodable policy) {
    auto handler =
        policy == Unencodable::Drop ? Json::error_handler_t::ignore : Json::error_handler_t::strict;
    return value.dump(4, ' ', false, handler);
}

Json read_json_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError(path, "cannot open " + path + ": " + std::strerror(errno));
    std::stringstream buffer;
    buffer << in.rdbuf();
    try {
        return Json::parse(buffer.str());
    } catch (const Json::exception& e) {
        throw FileError(path, "cannot read JSON from " + path + ": " + e.what());
    }
}

void write_file_atomic(const std::string& path, const std::string& text) {
    namespace fs = std::filesystem;
    fs::path target(path);
    fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string pattern = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw FileError(path, "cannot write " + path + ": " + std::strerror(errno));
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            ::unlink(pattern.c_str());
            throw FileError(path, "cannot write " + path + ": " + std::strerror(err));
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    ::fchmod(fd, 0644);
    if (::close(fd) != 0 || std::rename(pattern.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(pattern.c_str());
        throw FileError(path, "cannot write " + path + ": " + std::strerror(err));
    }
}

std::string value_text(const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    return value.dump();
}

}  // namespace scanflow

namespace scanflow {

std::string py_repr(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "None";
        case Json::value_t::boolean:
            return value.get<bool>() ? "True" : "False";
        case Json::value_t::string:
            return python_quoted(value.get<std::string>(), Quoted::Text);
        case Json::value_t::array: {
            std::string out = "[";
            bool first = true;
            for (const auto& item : value) {
                if (!first) out += ", ";
                first = false;
                out += py_repr(item);
            }
            return out + "]";
        }
        case Json::value_t::object: {
            std::string out = "{";
            bool first = true;
            for (const auto& item : value.items()) {
                if (!first) out += ", ";
                first = false;
                out += python_quoted(item.key(), Quoted::Text) + ": " + py_repr(item.value());
            }
            return out + "}";
        }
        case Json::value_t::number_float:
            return console::float_text(value.get<double>());
        default:
            return value.dump();
    }
}

}  // namespace scanflow
