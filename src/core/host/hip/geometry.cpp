#include "host/hip/geometry.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "base/budgets.h"
#include "base/errors.h"
#include "util/binary_json.h"
#include "util/json.h"
#include "util/sc_reader.h"
#include "util/stream_reader.h"

namespace scanflow::hip {

namespace {

// The binary form decoded whole: containers under construction, a map keeping its pending key;
// reading stops at the end of the top-level value.
class BinaryDecode {
public:
    void begin(bool map) { stack_.push_back({map ? Json::object() : Json::array(), std::nullopt}); }
    void end() {
        Json v = std::move(stack_.back().value);
        stack_.pop_back();
        emit(std::move(v));
    }
    bool wants_value() const { return true; }
    void value(const Json* v) { emit(*v); }
    bool done() const { return result_.has_value(); }
    std::optional<Json>& result() { return result_; }

private:
    struct Frame {
        Json value;
        std::optional<std::string> key;
    };
    void emit(Json v) {
        if (stack_.empty()) {
            result_ = std::move(v);
            return;
        }
        Frame& top = stack_.back();
        if (top.value.is_array()) {
            top.value.push_back(std::move(v));
        } else if (!top.key) {
            top.key = v.is_string() ? v.get<std::string>() : v.dump();
        } else {
            top.value[*top.key] = std::move(v);
            top.key.reset();
        }
    }
    std::vector<Frame> stack_;
    std::optional<Json> result_;
};

Json decode_binary(const std::string& data, const std::string& path) {
    StringSource source(data, path);
    BinaryJsonReader<StringSource> reader(source);
    BinaryDecode decode;
    reader.read(decode);
    if (!decode.result()) reader.fail("geometry ends inside a container");
    return std::move(*decode.result());
}

// A value of a key/value array ["k1", v1, "k2", v2 ...].
const Json* member(const Json& kv, const std::string& key) {
    if (kv.is_object()) return kv.contains(key) ? &kv.at(key) : nullptr;
    if (!kv.is_array()) return nullptr;
    for (size_t i = 0; i + 1 < kv.size(); i += 2)
        if (kv[i].is_string() && kv[i].get<std::string>() == key) return &kv[i + 1];
    return nullptr;
}

Value to_value(const Json& j) {
    if (j.is_string()) return Value::text(j.get<std::string>());
    if (j.is_number_integer() || j.is_boolean())
        return Value::integer(j.is_boolean() ? j.get<bool>() : j.get<long long>());
    if (j.is_number()) return Value::real(j.get<double>());
    if (j.is_array()) {
        std::vector<Value> items;
        for (const auto& x : j) items.push_back(to_value(x));
        return items.size() == 1 ? items[0] : Value::list(std::move(items));
    }
    return Value();
}

struct Attribute {
    std::string name;
    std::vector<Value> values;  // per element
};

// Per-element values of one attribute, for the storage forms "arrays" and "tuples".
Attribute read_attribute(const Json& attr, size_t count) {
    Attribute out;
    if (!attr.is_array() || attr.size() < 2) return out;
    if (const Json* name = member(attr[0], "name")) out.name = name->get<std::string>();
    const Json* type = member(attr[0], "type");
    const Json& data = attr[1];
    auto per_element = [&](const Json* block) -> std::vector<Json> {
        std::vector<Json> items;
        if (!block) return items;
        if (const Json* raw = member(*block, "rawpagedata")) {
            // Paged storage: pages of `pagesize` elements; a constant page holds one tuple.
            const Json* size_j = member(*block, "size");
            const Json* page_j = member(*block, "pagesize");
            const Json* flags = member(*block, "constantpageflags");
            size_t tuple = size_j ? static_cast<size_t>(size_j->get<long long>()) : 1;
            size_t page = page_j ? static_cast<size_t>(page_j->get<long long>()) : 1024;
            size_t at = 0;
            for (size_t p0 = 0, page_index = 0; p0 < count; p0 += page, ++page_index) {
                size_t n = std::min(page, count - p0);
                bool constant = flags && flags->is_array() && !flags->empty() &&
                                (*flags)[0].is_array() && page_index < (*flags)[0].size() &&
                                (*flags)[0][page_index].get<bool>();
                for (size_t e = 0; e < n; ++e) {
                    size_t base = constant ? at : at + e * tuple;
                    Json t = Json::array();
                    for (size_t c = 0; c < tuple && base + c < raw->size(); ++c)
                        t.push_back((*raw)[base + c]);
                    items.push_back(tuple == 1 && !t.empty() ? t[0] : t);
                }
                at += constant ? tuple : n * tuple;
            }
        } else if (const Json* arrays = member(*block, "arrays")) {
            if (arrays->is_array() && !arrays->empty()) {
                for (const auto& v : (*arrays)[0]) items.push_back(v);
            }
        } else if (const Json* tuples = member(*block, "tuples")) {
            for (const auto& v : *tuples) items.push_back(v);
        }
        return items;
    };
    if (type && *type == "string") {
        const Json* strings = member(data, "strings");
        auto indices = per_element(member(data, "indices"));
        for (const auto& i : indices) {
            long long k = i.is_array() && !i.empty() ? i[0].get<long long>()
                          : i.is_number()            ? i.get<long long>()
                                                     : -1;
            out.values.push_back(
                strings && k >= 0 && static_cast<size_t>(k) < strings->size()
                    ? Value::text((*strings)[static_cast<size_t>(k)].get<std::string>())
                    : Value::text(""));
        }
    } else {
        for (const auto& v : per_element(member(data, "values"))) out.values.push_back(to_value(v));
    }
    out.values.resize(count);
    return out;
}

class HipElement : public GeoElement {
public:
    HipElement(std::shared_ptr<std::vector<Attribute>> attributes, size_t index)
        : attributes_(std::move(attributes)), index_(index) {}
    Value attribValue(const std::string& name) override {
        for (const auto& a : *attributes_)
            if (a.name == name) return a.values[index_];
        throw HostError("no attribute " + name, "hou.OperationFailed");
    }
    std::optional<std::vector<std::string>> clip_file_names() override { return std::nullopt; }
    std::optional<std::string> rig_file_name() override { return std::nullopt; }

private:
    std::shared_ptr<std::vector<Attribute>> attributes_;
    size_t index_;
};

class HipGeometry : public Geometry {
public:
    HipGeometry(std::shared_ptr<std::vector<Attribute>> points, size_t point_count,
                std::shared_ptr<std::vector<Attribute>> prims, size_t prim_count)
        : points_(std::move(points)),
          prims_(std::move(prims)),
          point_count_(point_count),
          prim_count_(prim_count) {}
    std::vector<GeoElementPtr> points() override {
        std::vector<GeoElementPtr> out;
        for (size_t i = 0; i < point_count_; ++i)
            out.push_back(std::make_shared<HipElement>(points_, i));
        return out;
    }
    std::vector<GeoElementPtr> prims() override {
        std::vector<GeoElementPtr> out;
        for (size_t i = 0; i < prim_count_; ++i)
            out.push_back(std::make_shared<HipElement>(prims_, i));
        return out;
    }
    std::vector<std::string> pointAttribs() override {
        std::vector<std::string> names;
        for (const auto& a : *points_) names.push_back(a.name);
        return names;
    }

private:
    std::shared_ptr<std::vector<Attribute>> points_, prims_;
    size_t point_count_, prim_count_;
};

}  // namespace

std::string read_geometry_bytes(const std::string& path) {
    if (!ScReader::is_sc(path)) return read_all(path);
    ScReader in(path);
    std::string out;
    for (int c; (c = in.get()) != -1;) out.push_back(static_cast<char>(c));
    return out;
}

Json decode_geometry(const std::string& data, const std::string& path) {
    if (!data.empty() && static_cast<unsigned char>(data[0]) == 0x7f)
        return decode_binary(data, path);
    if (json_nesting_depth(data) > budget::kJsonDepth)
        throw ParseError(
            path, 0,
            "geometry JSON nested deeper than " + std::to_string(budget::kJsonDepth) + " levels");
    try {
        return Json::parse(data);
    } catch (const Json::exception& e) {
        throw ParseError(path, 0, std::string("geometry JSON: ") + e.what());
    }
}

GeometryPtr load_geometry_file(const std::string& path) {
    Json geo = decode_geometry(read_geometry_bytes(path), path);
    auto count = [&](const char* key) {
        const Json* n = member(geo, key);
        return n && n->is_number() ? static_cast<size_t>(n->get<long long>()) : size_t{0};
    };
    size_t points = count("pointcount"), prims = count("primitivecount");
    auto point_attrs = std::make_shared<std::vector<Attribute>>();
    auto prim_attrs = std::make_shared<std::vector<Attribute>>();
    if (const Json* attributes = member(geo, "attributes")) {
        if (const Json* list = member(*attributes, "pointattributes"))
            for (const auto& a : *list) point_attrs->push_back(read_attribute(a, points));
        if (const Json* list = member(*attributes, "primitiveattributes"))
            for (const auto& a : *list) prim_attrs->push_back(read_attribute(a, prims));
    }
    return std::make_shared<HipGeometry>(point_attrs, points, prim_attrs, prims);
}

}  // namespace scanflow::hip
