#include "scan/sequence.h"

#include <algorithm>
#include <random>
#include <set>

#include "entry/console.h"
#include "entry/errors.h"
#include "entry/state.h"
#include "entry/timed.h"
#include "util/flavour.h"
#include "util/regex.h"

namespace scanflow {

namespace {

const Regex& backtick_expression() {
    static const Regex re("`[^`]+`");
    return re;
}

std::vector<std::string> digit_runs(std::string_view text) {
    std::vector<std::string> runs;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] >= '0' && text[i] <= '9') {
            size_t start = i;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
            runs.emplace_back(text.substr(start, i - start));
        } else {
            ++i;
        }
    }
    return runs;
}

std::string replace_first(const std::string& text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    if (at == std::string::npos || from.empty()) return text;
    return text.substr(0, at) + to + text.substr(at + from.size());
}

// Directory part and last component, split at the last "/" or "\".
std::pair<std::string, std::string> split_file(const std::string& path) {
    size_t at = path.find_last_of("/\\");
    if (at == std::string::npos) return {"", path};
    std::string dir = path.substr(0, at);
    if (dir.empty()) dir = path.substr(0, 1);
    return {dir, path.substr(at + 1)};
}

std::string normalised_join(const std::string& dir, const std::string& file) {
    Flavour f = current_flavour();
    return normpath(dir.empty() ? file : join(dir, file, f), f);
}

bool truthy(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::None:
            return false;
        case Value::Kind::Int:
            return v.as_int() != 0;
        case Value::Kind::Float:
            return v.as_float() != 0.0;
        case Value::Kind::String:
            return !v.as_string().empty();
        case Value::Kind::List:
            return !v.items().empty();
    }
    return false;
}

std::string random_marker() {
    static std::mt19937 engine{std::random_device{}()};
    std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::shuffle(letters.begin(), letters.end(), engine);
    return "<*" + letters.substr(0, 3) + "*>";
}

std::string resolve(Parm& parm, std::set<std::string>& chain) {
    std::string original = parm.unexpandedString();
    const std::string backup = original;
    if (original.find("`padzero") != std::string::npos ||
        original.find("`chs(\"offsettime\")`") != std::string::npos ||
        original.find("`detail(-1,\"iteration\",0)`") != std::string::npos)
        return original;
    std::string self = parm.path();
    chain.insert(self);
    for (const auto& expression : backtick_expression().find_all(original)) {
        parm.revertToDefaults();
        parm.set(Value::text(expression));
        ParmPtr referenced = parm.getReferencedParm();
        if (!referenced) continue;
        std::string text;
        try {
            text = referenced->unexpandedString();
        } catch (const std::exception&) {
            text = referenced->evalAsString();
        }
        std::string ref_path = referenced->path();
        std::string value;
        bool has_value = false;
        // A reference back into the chain being resolved ends there: it is evaluated instead of
        // followed, so that reference cycles end.
        if (backtick_expression().matches_anywhere(text) && ref_path != self &&
            !chain.count(ref_path)) {
            value = resolve(*referenced, chain);
            has_value = !value.empty();
        } else {
            Value v = referenced->eval();
            has_value = truthy(v);
            value = v.str();
        }
        if (has_value) original = replace_first(original, expression, value);
    }
    parm.revertToDefaults();
    parm.set(Value::text(backup));
    chain.erase(self);
    return original;
}

}  // namespace

std::string parm_repr(Parm& parm) {
    std::string name, node;
    try {
        name = parm.name();
        NodePtr owner = parm.node();
        node = owner ? owner->path() : "";
    } catch (const std::exception&) {
    }
    return "<hou.Parm " + name + " in " + node + ">";
}

std::string convertReference(Parm& parm) {
    std::set<std::string> chain;
    return resolve(parm, chain);
}

void RY_GetSequen(Parm& parm) {
    timed(2, "RY_GetSequen", [&] {
        // 1. References.
        std::string pattern;
        try {
            pattern = slashes_forward(convertReference(parm));
        } catch (const std::exception& e) {
            console::print(parm_repr(parm));
            std::string value;
            try {
                value = parm.eval().str();
            } catch (const std::exception& inner) {
                value = inner.what();
            }
            console::print(value);
            console::print("traceback.format_exc():\n" + format_trace(TraceFrame::current(), e));
            request_exit(556);
        }
        // 2. Raw text; a keyframed parameter gives it only without its keyframes.
        std::string raw;
        try {
            raw = parm.unexpandedString();
        } catch (const std::exception&) {
            parm.deleteAllKeyframes();
            raw = parm.unexpandedString();
        }
        // 3. Expression rules on the raw file name.
        if (raw.find("clamp") != std::string::npos) {
            static const Regex clamp(R"((`clamp\(.*?\)`))", Regex::IgnoreCase);
            static const Regex digits(R"(\d+)", Regex::IgnoreCase);
            auto [dir, file] = split_file(raw);
            pattern = normalised_join(dir, digits.replace_all(clamp.replace_all(file, "*"), "*"));
        }
        if (raw.find("padzero") != std::string::npos) {
            static const Regex padzero(R"(`padzero\((\d+),.*?\)`)", Regex::IgnoreCase);
            static const Regex digits(R"(\d+)", Regex::IgnoreCase);
            auto [dir, file] = split_file(raw);
            pattern = normalised_join(dir, digits.replace_all(padzero.replace_all(file, "*"), "*"));
        }
        if (raw.find("`chs(\"offsettime\")`") != std::string::npos) {
            auto [dir, file] = split_file(raw);
            pattern = normalised_join(dir, replace_all(file, "`chs(\"offsettime\")`", "*"));
        }
        // 4, 5.
        parm.revertToDefaults();
        const std::string marker = random_marker();
        // 6. Node-type rules.
        NodePtr node = parm.node();
        std::string type = node ? node->type_name() : "";
        if (type == "filemerge") {
            std::string var = node->evalParm("merge_var").str();
            long long size = node->evalParm("cachesize").as_int();
            pattern = replace_all(pattern, "$" + var, "*[0-" + std::to_string(size + 1) + "]");
        } else if (type == "filemerge::2.0") {
            std::string var = node->evalParm("merge_var").str();
            pattern = replace_all(pattern, "$" + var, "*[0-9]");
            static const Regex dotted(R"(\..*?\.)", Regex::IgnoreCase);
            auto [dir, file] = split_file(pattern);
            pattern = normalised_join(dir, dotted.replace_all(file, "*"));
        } else if (type == "file") {
            if (pattern.find(".fbx#") != std::string::npos)
                pattern = pattern.substr(0, pattern.find('#'));
        } else if (type == "filecache::2.0" || type == "labs::filecache::1.0" ||
                   type == "labs::filecache::2.0" || type == "vellumio::2.0") {
            if (node->evalParm("filemethod").as_int() == 0) {
                host().setFrame(1);
                std::string first = node->evalParm("sopoutput").str();
                std::string framestr = node->evalParm("framestr").str();
                if (first.find(framestr) != std::string::npos) {
                    static const Regex digits(R"(\d+)", Regex::IgnoreCase);
                    auto [dir, file] = split_file(first);
                    pattern = normalised_join(dir, digits.replace_all(file, "*"));
                } else {
                    host().setFrame(2);
                    std::string second = node->evalParm("sopoutput").str();
                    if (first != second) {
                        auto first_runs = digit_runs(first);
                        auto second_runs = digit_runs(second);
                        for (const auto& run : first_runs) {
                            size_t at = static_cast<size_t>(
                                std::find(first_runs.begin(), first_runs.end(), run) -
                                first_runs.begin());
                            if (at >= second_runs.size())
                                throw Error("list index out of range: " + second +
                                                " has fewer numbers than " + first,
                                            "IndexError");
                            if (run != second_runs[at]) pattern = replace_first(first, run, "*");
                        }
                    }
                }
            }
        }
        // 7. Frame variables behind the marker.
        static const Regex ff(R"(\$FF)");
        static const Regex frame(R"(\$F[0-9]*|\$T)");
        pattern = frame.replace_all(ff.replace_all(pattern, marker), marker);
        // 8. Host expansion of everything else.
        parm.set(Value::text(pattern));
        Value expanded = parm.eval();
        if (truthy(expanded)) pattern = replace_all(expanded.str(), marker, "$F");
        // 9. Restore.
        parm.set(Value::text(raw));
        // 11. Record.
        std::string path = parm.path();
        ModuleState& s = state();
        s.GLOBAL_ALL_ORIGINOL_LIST.push_back(pattern);
        s.GLOBAL_ALL_ORIGINOL_JSON[path] = slashes_forward(pattern);
        s.ALL_NODE[path] = pattern;
    });
}

}  // namespace scanflow
