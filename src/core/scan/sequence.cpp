#include "scan/sequence.h"

#include <algorithm>
#include <random>
#include <set>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "base/timed.h"
#include "util/flavour.h"
#include "util/regex.h"

namespace scanflow {

namespace {

// The backtick expressions of a raw value, backticks included. A backtick after a backslash is
// a literal one, as the host reads it: it neither opens nor closes an expression.
std::vector<std::string> backtick_expressions(const std::string& text) {
    std::vector<std::string> found;
    auto literal = [&](size_t at) { return at > 0 && text[at - 1] == '\\'; };
    size_t open = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '`' || literal(i)) continue;
        if (open == std::string::npos) {
            open = i;
        } else if (i == open + 1) {
            open = i;  // an empty pair is no expression; this one may open the next
        } else {
            found.push_back(text.substr(open, i - open + 1));
            open = std::string::npos;
        }
    }
    return found;
}

// Directory part and last component, split at the last "/" or "\".
std::pair<std::string, std::string> split_file(const std::string& path) {
    size_t at = path.find_last_of("/\\");
    if (at == std::string::npos) return {"", path};
    std::string dir = path.substr(0, at);
    if (dir.empty()) dir = path.substr(0, 1);
    return {dir, path.substr(at + 1)};
}

std::string normalised_join(const std::string& dir, const std::string& file, Flavour f) {
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
    // Three distinct letters: the first steps of a shuffle, which is all a marker shows.
    for (size_t i = 0; i < 3; ++i) {
        std::uniform_int_distribution<size_t> pick(i, letters.size() - 1);
        std::swap(letters[i], letters[pick(engine)]);
    }
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
    for (const auto& expression : backtick_expressions(original)) {
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
        if (!backtick_expressions(text).empty() && ref_path != self && !chain.count(ref_path)) {
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

// Back slashes made forward ones, but for those that make the backtick after them a literal one.
std::string separators_forward(std::string text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\\' && (i + 1 >= text.size() || text[i + 1] != '`')) text[i] = '/';
    return text;
}

// The reference-resolved raw text; a reference that cannot be resolved ends the run with 556.
std::string resolved_references(Parm& parm) {
    try {
        return separators_forward(convertReference(parm));
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
        std::string where = "a parameter";
        try {
            where = parm.path();
        } catch (const std::exception&) {
        }
        request_exit(556, "cannot resolve the references of " + where + ": " + cause_of(e));
    }
}

// The parameter's raw text; a keyframed parameter gives it only without its keyframes.
std::string raw_text(Parm& parm) {
    try {
        return parm.unexpandedString();
    } catch (const std::exception&) {
        parm.deleteAllKeyframes();
        return parm.unexpandedString();
    }
}

// Frame expressions in the raw file name (clamp, padzero, offset time) become wildcards; a
// later rule that applies wins.
void apply_expression_rules(const std::string& raw, Flavour f, std::string& pattern) {
    static const Regex digits(R"(\d+)", Regex::IgnoreCase);
    if (raw.find("clamp") != std::string::npos) {
        static const Regex clamp(R"((`clamp\(.*?\)`))", Regex::IgnoreCase);
        auto [dir, file] = split_file(raw);
        pattern = normalised_join(dir, digits.replace_all(clamp.replace_all(file, "*"), "*"), f);
    }
    if (raw.find("padzero") != std::string::npos) {
        static const Regex padzero(R"(`padzero\((\d+),.*?\)`)", Regex::IgnoreCase);
        auto [dir, file] = split_file(raw);
        pattern = normalised_join(dir, digits.replace_all(padzero.replace_all(file, "*"), "*"), f);
    }
    if (raw.find("`chs(\"offsettime\")`") != std::string::npos) {
        auto [dir, file] = split_file(raw);
        pattern = normalised_join(dir, replace_all(file, "`chs(\"offsettime\")`", "*"), f);
    }
}

// A cache node's output at frames 1 and 2: the digits that differ become "*".
void apply_cache_rule(Node& node, Host& host, Flavour f, std::string& pattern) {
    if (node.evalParm("filemethod").as_int() != 0) return;
    host.setFrame(1);
    std::string first = node.evalParm("sopoutput").str();
    std::string framestr = node.evalParm("framestr").str();
    if (first.find(framestr) != std::string::npos) {
        static const Regex digits(R"(\d+)", Regex::IgnoreCase);
        auto [dir, file] = split_file(first);
        pattern = normalised_join(dir, digits.replace_all(file, "*"), f);
        return;
    }
    host.setFrame(2);
    std::string second = node.evalParm("sopoutput").str();
    if (first == second) return;
    auto first_runs = digit_runs(first);
    auto second_runs = digit_runs(second);
    for (const auto& run : first_runs) {
        size_t at = static_cast<size_t>(std::find(first_runs.begin(), first_runs.end(), run) -
                                        first_runs.begin());
        if (at >= second_runs.size())
            throw Error("list index out of range: " + second + " has fewer numbers than " + first,
                        "IndexError");
        if (run != second_runs[at]) pattern = replace_first(first, run, "*");
    }
}

// Merge indices, wedge numbers and cache outputs, by the type of the parameter's node.
void apply_node_type_rules(Parm& parm, Host& host, Flavour f, std::string& pattern) {
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
        pattern = normalised_join(dir, dotted.replace_all(file, "*"), f);
    } else if (type == "file") {
        if (pattern.find(".fbx#") != std::string::npos)
            pattern = pattern.substr(0, pattern.find('#'));
    } else if (type == "filecache::2.0" || type == "labs::filecache::1.0" ||
               type == "labs::filecache::2.0" || type == "vellumio::2.0") {
        apply_cache_rule(*node, host, f, pattern);
    }
}

// The host expands everything but the frame variables, which wait behind the marker and come
// back as "$F".
std::string expanded_by_host(Parm& parm, const std::string& pattern, const std::string& marker) {
    static const Regex ff(R"(\$FF)");
    static const Regex frame(R"(\$F[0-9]*|\$T)");
    std::string protected_text = frame.replace_all(ff.replace_all(pattern, marker), marker);
    parm.set(Value::text(protected_text));
    Value expanded = parm.eval();
    if (truthy(expanded)) return replace_all(expanded.str(), marker, "$F");
    return protected_text;
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

std::string RY_GetSequen(Parm& parm, Host& host, Flavour f) {
    return timed(2, "RY_GetSequen", [&] {
        std::string pattern = resolved_references(parm);
        std::string raw = raw_text(parm);
        apply_expression_rules(raw, f, pattern);
        parm.revertToDefaults();
        const std::string marker = random_marker();
        apply_node_type_rules(parm, host, f, pattern);
        pattern = expanded_by_host(parm, pattern, marker);
        parm.set(Value::text(raw));
        return pattern;
    });
}

void record_pattern(const std::string& parm_path, const std::string& pattern, ModuleState& module) {
    module.GLOBAL_ALL_ORIGINOL_LIST.push_back(pattern);
    module.ALL_NODE.record(parm_path, pattern);
}

}  // namespace scanflow
