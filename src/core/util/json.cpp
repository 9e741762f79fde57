#include "util/json.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "entry/console.h"
#include "entry/errors.h"

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

std::string py_repr_str(const std::string& text) {
    bool has_single = text.find('\'') != std::string::npos;
    bool has_double = text.find('"') != std::string::npos;
    char quote = has_single && !has_double ? '"' : '\'';
    std::string out(1, quote);
    for (unsigned char c : text) {
        if (c == static_cast<unsigned char>(quote) || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back(quote);
    return out;
}

std::string py_repr(const Json& value) {
    switch (value.type()) {
        case Json::value_t::null:
            return "None";
        case Json::value_t::boolean:
            return value.get<bool>() ? "True" : "False";
        case Json::value_t::string:
            return py_repr_str(value.get<std::string>());
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
                out += py_repr_str(item.key()) + ": " + py_repr(item.value());
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
