#include "host/value_json.h"

namespace scanflow {

Json value_json(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::None:
            return nullptr;
        case Value::Kind::Int:
            return v.as_int();
        case Value::Kind::Float:
            return v.as_float();
        case Value::Kind::String:
            return v.as_string();
        case Value::Kind::List: {
            Json out = Json::array();
            for (const auto& item : v.items()) out.push_back(value_json(item));
            return out;
        }
    }
    return nullptr;
}

}  // namespace scanflow
