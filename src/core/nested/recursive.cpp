#include "nested/recursive.h"

#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "base/console.h"
#include "base/errors.h"
#include "base/text.h"
#include "base/timed.h"
#include "nested/redshift.h"
#include "nested/vrscene.h"
#include "util/paths.h"
#include "util/regex.h"
#include "util/sequence_key.h"

namespace scanflow {

namespace {

// The file name of `path` with every run of digits replaced, joined again with its directory.
std::string digits_replaced(const std::string& path, const std::string& replacement, Flavour f) {
    static const Regex digits(R"(\d+)", Regex::IgnoreCase);
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "" : path.substr(0, slash);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string replaced = digits.replace_all(name, replacement);
    return dir.empty() ? replaced : join(dir, replaced, f);
}

// One open file: the names its reader gave, and the descents of the name being handled.
struct Frame {
    std::string dir;
    std::vector<const std::string*> named;  // kept once in the walk's names
    size_t next = 0;
    std::vector<std::string> descents;
    size_t next_descent = 0;
};

class Walk {
public:
    Walk(const NestedInputs& in, Repeats repeats)
        : in_(in), f_(in.flavour), files_once_(repeats == Repeats::FilesOnce) {}

    std::vector<std::string> run(const std::string& ass_path) {
        // Depth first, with an explicit stack instead of C++ recursion.
        std::vector<Frame> stack;
        if (auto first = open(ass_path)) stack.push_back(std::move(*first));
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next_descent < frame.descents.size()) {
                std::string d = frame.descents[frame.next_descent++];
                if (visited(slashes_forward(d))) continue;
                console::print("child " + d);
                if (auto child = open(d)) stack.push_back(std::move(*child));
                continue;
            }
            if (frame.next >= frame.named.size()) {
                stack.pop_back();
                continue;
            }
            handle_name(frame, *frame.named[frame.next++]);
        }
        return std::move(result_);
    }

private:
    std::string visit_key(const std::string& p) const {
        return in_.module.IS_WIN ? ascii_lower(p) : p;
    }
    bool visited(const std::string& p) const { return in_.run.all_ass.count(visit_key(p)) > 0; }
    bool exists(const std::string& p) const { return in_.listings.exists(os_path(p, f_)); }

    std::optional<Frame> open(const std::string& raw) {
        std::string path = slashes_forward(raw);
        if (!exists(path) || visited(path)) return std::nullopt;
        console::print("asset path : " + path);
        in_.run.all_ass.insert(visit_key(path));
        Frame frame;
        frame.dir = dirname(path, f_);
        // A deep stage names every file below it again, and every level of it is open at once:
        // its frames hold each name once for the whole walk.
        std::vector<std::string> named = read_names(path);
        frame.named.reserve(named.size());
        for (auto& name : named) frame.named.push_back(&*names_.insert(std::move(name)).first);
        return frame;
    }

    // The reader chosen by the file's ending.
    std::vector<std::string> read_names(const std::string& path) {
        if (ends_with_any(path, {".ass", ".ass.gz"})) {
            if (in_.read_ahead)
                if (auto names = in_.read_ahead->take("ass:" + path)) return std::move(*names);
            return get_ass_path(os_path(path, f_), in_.arnold);
        }
        if (ends_with_any(path, {".usd", ".usdc", ".USD", ".usda"}))
            return get_stage_references(path, in_.stage(), &stage_memo_);
        if (ends_with(path, ".vrscene")) return read_in_vrscene(path, in_.listings, f_);
        if (ends_with(path, ".rs"))
            return get_file_from_rs_cmd(
                path, RedshiftReads{in_.run.rs_asseted, in_.listings, in_.environment});
        return {};
    }

    void handle_name(Frame& frame, std::string i) {
        bool relative = !isabs(i, f_);
        if (relative) i = normpath(join(frame.dir, i, f_), f_);
        // A file handled already was widened and descended into the first time.
        if (files_once_ && handled_files_.count(i)) return;
        result_.push_back(i);
        if (relative && !exists(i)) return;  // listed, neither widened nor descended into
        if (files_once_ && in_.listings.isfile(slashes_forward(i))) handled_files_.insert(i);
        widen(i);
        if (ends_with_any(i, {".ass", ".ass.gz", ".usda", ".usd", ".USD", ".usdc", ".bgeo.sc",
                              ".vrscene", ".rs"}))
            plan_descents(frame, i);
    }

    // A converted texture's source images beside it; a volume's whole sequence.
    void widen(const std::string& i) {
        if (i.find(".tx") != std::string::npos)
            for (auto& m : glob(replace_all(i, ".tx", "*"), in_.listings, f_)) result_.push_back(m);
        if (i.find(".vdb") != std::string::npos)
            for (auto& m : glob(digits_replaced(slashes_forward(i), "*", f_), in_.listings, f_))
                result_.push_back(m);
    }

    void plan_descents(Frame& frame, const std::string& i) {
        const std::string& pattern = pattern_of(i);
        // A name without frame digits is its own pattern: recording it would mark the file
        // visited before it is opened, so only real patterns are recorded.
        bool is_pattern = pattern != slashes_forward(i);
        if (is_pattern && in_.run.all_ass.count(pattern)) return;  // a sequence already analysed
        // A file opened already, named again, and no pattern: the plan could find only itself.
        if (!is_pattern && visited(pattern) && pattern.find_first_of("*?[") == std::string::npos) {
            frame.descents.clear();
            frame.next_descent = 0;
            return;
        }
        if (is_pattern) in_.run.all_ass.insert(pattern);
        std::vector<std::string> descent;
        auto matches = glob(pattern, in_.listings, f_);
        if (!matches.empty()) add_sequence_file(matches, descent);
        if (exists(i)) descent.push_back(i);
        for (const auto& d : descent) read_ass_ahead(slashes_forward(d), in_);
        frame.descents = std::move(descent);
        frame.next_descent = 0;
    }

    // The sequence pattern of a name; a deep stage names the layers below it again at every
    // level.
    const std::string& pattern_of(const std::string& i) {
        auto [at, added] = patterns_.try_emplace(i);
        if (added) at->second = sequence_key(digits_replaced(slashes_forward(i), "*[0-9]", f_));
        return at->second;
    }

    const NestedInputs& in_;
    Flavour f_;
    std::vector<std::string> result_;
    std::unordered_map<std::string, std::string> patterns_;
    std::unordered_set<std::string> names_;
    StageMemo stage_memo_;
    bool files_once_;
    std::unordered_set<std::string> handled_files_;
};

}  // namespace

void read_ass_ahead(const std::string& path, const NestedInputs& in) {
    if (!in.read_ahead || in.arnold || !ends_with_any(path, {".ass", ".ass.gz"})) return;
    std::vector<std::string> frames = TraceFrame::current();
    if (frames.empty() || frames.back() != "ass_usd_usda_asset")
        frames.push_back("ass_usd_usda_asset");
    std::string file = os_path(path, in.flavour);
    in.read_ahead->submit(
        "ass:" + path, [file] { return read_ass_file_names(file); }, std::move(frames));
}

std::vector<std::string> ass_usd_usda_asset(const std::string& ass_path, const NestedInputs& in,
                                            Repeats repeats) {
    return timed(2, "ass_usd_usda_asset", [&] { return Walk(in, repeats).run(ass_path); });
}

}  // namespace scanflow
