#include "run/recorded_variants.h"

#include <algorithm>

#include "base/console.h"
#include "base/text.h"

namespace scanflow {

void LayerVariants::record(RecordedVariant variant) {
    auto same = std::find_if(variants.begin(), variants.end(),
                             [&](const RecordedVariant& v) { return v.key == variant.key; });
    if (same == variants.end())
        variants.push_back(std::move(variant));
    else
        *same = std::move(variant);
}

namespace {

// As the interpreter shows the value once it is a record member: tuples become lists.
std::string value_repr(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::None:
            return "None";
        case Value::Kind::Int:
            return std::to_string(v.as_int());
        case Value::Kind::Float:
            return console::float_text(v.as_float());
        case Value::Kind::String:
            return python_quoted(v.as_string(), Quoted::Text);
        case Value::Kind::List: {
            std::string out = "[";
            for (size_t i = 0; i < v.items().size(); ++i)
                out += (i ? ", " : "") + value_repr(v.items()[i]);
            return out + "]";
        }
    }
    return {};
}

}  // namespace

std::string variants_repr(const RecordedVariants& recorded, const std::string& layer) {
    std::string out = "[";
    for (const LayerVariants& entry : recorded) {
        if (entry.layer != layer) continue;
        std::string one = "{";
        for (const RecordedVariant& v : entry.variants) {
            one += (one.size() > 1 ? ", " : "") + python_quoted(v.key, Quoted::Text) + ": ";
            one += v.for_prims ? "{'variantset': " + value_repr(v.variantset) +
                                     ", 'variantname': " + value_repr(v.variantname) + "}"
                               : python_quoted(v.selection, Quoted::Text);
        }
        out += (out.size() > 1 ? ", " : "") + one + "}";
    }
    return out + "]";
}

}  // namespace scanflow
