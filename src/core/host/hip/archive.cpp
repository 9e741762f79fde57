#include "host/hip/archive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "base/errors.h"
#include "base/os.h"
#include "util/file_handle.h"

namespace scanflow::hip {

namespace {

bool octal(const std::string& data, size_t at, size_t width, unsigned long long* value) {
    *value = 0;
    for (size_t i = at; i < at + width; ++i) {
        char c = data[i];
        if (c < '0' || c > '7') return false;
        *value = *value * 8 + static_cast<unsigned long long>(c - '0');
    }
    return true;
}

// Where an archive's bytes come from, in order: a file read as its sections are, so that a large
// scene is never held whole beside its sections, or bytes already in memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `n` more bytes appended to `out`; how many there were.
    virtual size_t append(std::string& out, size_t n) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(const std::string& data) : data_(data) {}
    size_t append(std::string& out, size_t n) override {
        size_t take = std::min(n, data_.size() - pos_);
        out.append(data_, pos_, take);
        pos_ += take;
        return take;
    }

private:
    const std::string& data_;
    size_t pos_ = 0;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    size_t append(std::string& out, size_t n) override {
        // A size read from a header is trusted only as far as the bytes are there: the string
        // grows a block at a time, never to a size the file does not hold.
        constexpr size_t kBlock = 1 << 20;
        const size_t start = out.size();
        size_t done = 0;
        while (done < n) {
            size_t step = std::min(n - done, kBlock);
            out.resize(start + done + step);
            size_t got = std::fread(&out[start + done], 1, step, file_);
            done += got;
            if (got < step) break;
        }
        out.resize(start + done);
        return done;
    }

private:
    std::FILE* file_;
};

void parse_cpio(const std::string& path, ByteSource& source, Archive& archive,
                const std::function<bool(const Section&)>& take) {
    constexpr size_t kHeader = 76;
    size_t pos = 0;
    std::string header;
    while (true) {
        auto damaged = [&](const std::string& what) {
            archive.damage = path + ": " + what + " at offset " + std::to_string(pos);
        };
        header.clear();
        const size_t got = source.append(header, kHeader);
        if (got == 0) return damaged("archive ends without its trailer");
        if (got < kHeader) return damaged("truncated section header");
        if (header.compare(0, 6, "070707") != 0) return damaged("no section header");
        unsigned long long name_size = 0, body_size = 0;
        if (!octal(header, 59, 6, &name_size) || !octal(header, 65, 11, &body_size))
            return damaged("corrupt section header");
        if (name_size == 0) return damaged("section without a name");
        std::string name;
        if (source.append(name, name_size) < name_size) return damaged("truncated section name");
        name.pop_back();  // its terminating byte
        std::string body;
        if (source.append(body, body_size) < body_size) return damaged("truncated section " + name);
        if (name == "TRAILER!!!") return;
        Section section{std::move(name), std::move(body)};
        if (!take || !take(section)) archive.add(std::move(section.name), std::move(section.body));
        pos += kHeader + name_size + body_size;
    }
}

int base64_value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Each line is padded on its own, so lines are decoded one by one and joined.
std::string decode_base64_lines(const std::string& text) {
    std::string out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned buffer = 0;
        int bits = 0;
        for (char c : line) {
            int v = base64_value(c);
            if (v < 0) continue;
            buffer = (buffer << 6) | static_cast<unsigned>(v);
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
            }
        }
    }
    return out;
}

void parse_mime(const std::string& path, const std::string& data, Archive& archive) {
    size_t b = data.find("boundary=\"");
    if (b == std::string::npos) {
        archive.damage = path + ": text scene without a part boundary at offset 0";
        return;
    }
    size_t b_end = data.find('"', b + 10);
    std::string boundary = "--" + data.substr(b + 10, b_end - b - 10);
    size_t pos = data.find(boundary, b_end);
    while (pos != std::string::npos) {
        size_t after = pos + boundary.size();
        if (data.compare(after, 2, "--") == 0) return;  // the closing delimiter
        size_t headers_end = data.find("\n\n", after);
        if (headers_end == std::string::npos) {
            archive.damage = path + ": truncated part header at offset " + std::to_string(pos);
            return;
        }
        std::string headers = data.substr(after, headers_end - after);
        size_t body_at = headers_end + 2;
        size_t next = data.find("\n" + boundary, body_at - 1);
        if (next == std::string::npos) {
            archive.damage = path + ": part without its end at offset " + std::to_string(pos);
            return;
        }
        std::string body = next < body_at ? "" : data.substr(body_at, next - body_at);
        size_t fn = headers.find("filename=\"");
        if (fn != std::string::npos) {
            size_t fn_end = headers.find('"', fn + 10);
            std::string name = headers.substr(fn + 10, fn_end - fn - 10);
            if (headers.find("Content-Transfer-Encoding: base64") != std::string::npos)
                body = decode_base64_lines(body);
            archive.add(std::move(name), std::move(body));
        }
        pos = next + 1;
    }
}

}  // namespace

void Archive::add(std::string name, std::string body) {
    if (!name.empty() && name[0] == '.') index[name] = sections.size();
    sections.push_back(Section{std::move(name), std::move(body)});
}

const std::string* Archive::find(const std::string& name) const {
    if (!name.empty() && name[0] == '.') {
        auto it = index.find(name);
        return it == index.end() ? nullptr : &sections[it->second].body;
    }
    // A later section of the same name replaces an earlier one.
    for (auto it = sections.rbegin(); it != sections.rend(); ++it)
        if (it->name == name) return &it->body;
    return nullptr;
}

Kind detect(const std::string& head) {
    if (head.compare(0, 6, "070707") == 0) return Kind::Cpio;
    if (head.compare(0, 18, "MIME-Version: 1.0\n") == 0) return Kind::Text;
    if (head.compare(0, 6, std::string("HouLC\x1a", 6)) == 0) return Kind::LimitedCommercial;
    if (head.compare(0, 6, std::string("HouNC\x1a", 6)) == 0) return Kind::NonCommercial;
    return Kind::Unknown;
}

namespace {

// Why a scene whose container tags a lower licence tier is refused. The sections are plain text
// in it, so the saving version can be named; the container itself is not decoded.
std::string tier_refusal(const std::string& path, const std::string& data, const char* tier,
                         const char* ext) {
    static const std::string key = "_HIP_SAVEVERSION = '";
    std::string saved = "an unknown version";
    if (size_t at = data.find(key); at != std::string::npos) {
        size_t end = data.find('\'', at + key.size());
        if (end != std::string::npos && end - at - key.size() < 32)
            saved = "Houdini " + data.substr(at + key.size(), end - at - key.size());
    }
    return path + " is a " + tier + " scene (" + ext + ", saved by " + saved +
           "): our scene reader does not open that licence tier; run the analysis inside the "
           "host application";
}

std::optional<std::string> refusal_of(const std::string& path, const std::string& data) {
    switch (detect(data.substr(0, 32))) {
        case Kind::LimitedCommercial:
            return tier_refusal(path, data, "limited-commercial", ".hiplc");
        case Kind::NonCommercial:
            return tier_refusal(path, data, "non-commercial", ".hipnc");
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> refusal(const std::string& path) {
    std::string why;
    FileHandle in(os::open_regular(path, &why));
    if (!in) return std::nullopt;
    // The save version is recorded near the start; a bounded head is enough to name it.
    std::string head(64 * 1024, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), in.get()));
    return refusal_of(path, head);
}

Archive parse_archive(const std::string& path, const std::string& data) {
    Archive archive;
    switch (detect(data.substr(0, 32))) {
        case Kind::Cpio: {
            MemorySource source(data);
            parse_cpio(path, source, archive, nullptr);
            break;
        }
        case Kind::Text:
            parse_mime(path, data, archive);
            break;
        case Kind::LimitedCommercial:
        case Kind::NonCommercial:
            throw HostError(*refusal_of(path, data), "hou.LoadError");
        case Kind::Unknown:
            throw HostError(path + " is not a Houdini scene file (unknown first bytes)",
                            "hou.LoadError");
    }
    return archive;
}

Archive read_archive(const std::string& path, const std::function<bool(const Section&)>& take) {
    std::string why;
    FileHandle file(os::open_regular(path, &why));
    auto unreadable = [&] {
        return HostError("Unable to open file: " + path + ": " + why, "hou.OperationFailed");
    };
    if (!file) throw unreadable();
    FileSource source(file.get());
    std::string data;
    source.append(data, 32);
    const bool cpio = detect(data) == Kind::Cpio;
    Archive archive;
    if (cpio) {
        std::rewind(file.get());
        parse_cpio(path, source, archive, take);
    } else {
        // Any other form is decoded, or refused, whole.
        constexpr size_t kBlock = 1 << 20;
        while (source.append(data, kBlock) == kBlock) continue;
    }
    if (std::ferror(file.get())) {
        why = "read error";
        throw unreadable();
    }
    if (cpio) return archive;
    return parse_archive(path, data);
}

}  // namespace scanflow::hip
