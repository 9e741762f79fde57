#include "util/tx_counterparts.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "base/text.h"
#include "util/exclusions.h"
#include "util/paths.h"
#include "util/work_pool.h"

namespace scanflow {

namespace {

const std::vector<std::string>& tx_extensions() {
    static const std::vector<std::string> list{
        ".tga", ".dds",   ".jpg", ".png", ".iff",  ".exr",  ".tiff", ".jpeg",
        ".hdr", ".bmp",   ".rat", ".psd", ".psb",  ".ies",  ".gif",  ".rla",
        ".rlb", ".pix",   ".sgi", ".rgb", ".rgba", ".si",   ".tif",  ".tif23",
        ".qtl", ".tif16", ".tx",  ".vst", ".yuv",  ".ptex", ".tex",  ".dpx"};
    return list;
}

// A path in the form that tells whether it lies below a directory: normalised, with "/"
// separators, in lower case on Windows.
std::string directory_key(const std::string& path, Flavour f) {
    std::string n = slashes_forward(normpath(path, f));
    return f.windows ? ascii_lower(n) : n;
}

// What every path is checked against, made once for all of them.
struct Checks {
    std::string hh_dir;  // the host installation directory's key and a final "/"; "" when unset
    std::vector<std::string> lowered_prefixes;
};

Checks checks_for(const std::string& hh, std::vector<std::string>& protect_path, Flavour f) {
    Checks out;
    if (!hh.empty()) {
        out.hh_dir = directory_key(hh, f);
        if (out.hh_dir.empty() || out.hh_dir.back() != '/') out.hh_dir.push_back('/');
    }
    search_unavailable_path("", protect_path);  // lower-cases the caller's list in place
    out.lowered_prefixes = protect_path;
    return out;
}

// Whether the directory of `path` may hold a name the pattern "STEM_*EXT.tx" matches: every
// such name ends with ".tx" (in any case on Windows), and most directories have none. A
// directory that is itself a pattern is left to the search.
bool may_hold_tx(const std::string& path, DirCache& listings, Flavour f) {
    std::string dir = dirname(path, f);
    if (dir.empty() || has_magic(dir)) return true;
    const Listing& listing = listings.list(os_path(dir, f));
    return !listing.ok || listing.holds_tx_names();
}

// The path as results name it: a drive letter in upper case.
std::string checked_form(const std::string& input) {
    std::string path = input;
    if (path.size() >= 2 && path[1] == ':') path[0] = ascii_upper(path.substr(0, 1))[0];
    return path;
}

TxResult check_one(const std::string& input, const Checks& checks, DirCache& listings, Flavour f) {
    std::string path = checked_form(input);
    std::vector<std::string> found;
    if (checks.hh_dir.empty() || !starts_with(directory_key(path, f), checks.hh_dir)) {
        auto [stem, ext] = splitext(path, f);
        if (!ends_with(path, ".rat") && !ext.empty()) {
            std::string rat = slashes_forward(replace_all(path, ext, ext + ".rat"));
            if (listings.exists(os_path(rat, f))) found.push_back(rat);
        }
        const auto& list = tx_extensions();
        if (std::find(list.begin(), list.end(), ext) != list.end() && !ends_with(path, ".tx")) {
            std::string tx = slashes_forward(replace_all(path, ext, ".tx"));
            if (listings.exists(os_path(tx, f))) {
                found.push_back(tx);
            } else if (may_hold_tx(path, listings, f)) {
                for (auto& match : glob(stem + "_*" + ext + ".tx", listings, f))
                    found.push_back(match);
            }
        }
    }
    std::string forward = slashes_forward(path);
    std::vector<std::string> protected_paths;
    if (!checks.lowered_prefixes.empty()) {
        std::string lowered = ascii_lower(forward);
        for (const auto& prefix : checks.lowered_prefixes) {
            if (starts_with(lowered, prefix)) {
                protected_paths.push_back(forward);
                break;
            }
        }
    }
    found.push_back(std::move(forward));
    return {std::move(found), std::move(protected_paths)};
}

}  // namespace

TxResult check_tx_exists(const std::string& path, const std::string& env_hh_path,
                         std::vector<std::string>& protect_path, DirCache& listings, Flavour f) {
    return check_one(path, checks_for(env_hh_path, protect_path, f), listings, f);
}

CounterpartsAhead::CounterpartsAhead(std::vector<const Paths*> lists,
                                     const std::string& env_hh_path,
                                     std::vector<std::string> protect_path, Flavour f)
    : lists_(std::move(lists)), hh_(env_hh_path), protect_path_(std::move(protect_path)), f_(f) {
    for (const Paths* paths : lists_) count_ += paths->size();
}

void CounterpartsAhead::search(DirCache& listings, const std::atomic<bool>& leave) {
    if (count_ == 0) return;
    const Checks checks = checks_for(hh_, protect_path_, f_);
    // Most paths are their result alone: room for them and a few counterparts, grown once.
    results_.first.reserve(count_ + count_ / 8);
    for (const Paths* paths : lists_) {
        for (std::string_view text : *paths) {
            if (leave) return;
            std::string path(text);
            if (isabs(path, f_)) {  // a relative path is never asked for
                TxResult result = check_one(path, checks, listings, f_);
                // The path itself comes last, after its counterparts.
                for (size_t i = 0; i + 1 < result.first.size(); ++i)
                    found_.push_back(result.first[i]);
                for (auto& p : result.first) results_.first.push_back(std::move(p));
                for (auto& p : result.second) results_.second.push_back(std::move(p));
            }
            ++searched_;
        }
    }
}

namespace {

// The results of the absolute paths among `paths[begin, end)`, appended in their order; the
// paths go in slices, so that only one slice's results are held apart from the whole at a time.
void search_in_slices(const std::vector<std::string>& paths, size_t begin, size_t end,
                      const Checks& checks, int max_workers, DirCache& listings, Flavour f,
                      TxResult& overall) {
    std::vector<size_t> absolute;
    for (size_t i = begin; i < end; ++i)
        if (isabs(paths[i], f)) absolute.push_back(i);
    constexpr size_t kSlice = 4096;
    std::vector<TxResult> each;
    for (size_t start = 0; start < absolute.size(); start += kSlice) {
        size_t count = std::min(kSlice, absolute.size() - start);
        each.assign(count, TxResult{});
        // In the order of the paths: one of the orders in which the tasks may complete.
        parallel_for(count, static_cast<unsigned>(std::max(1, max_workers)), [&](size_t i) {
            each[i] = check_one(paths[absolute[start + i]], checks, listings, f);
        });
        for (auto& result : each) {
            for (auto& p : result.first) overall.first.push_back(std::move(p));
            for (auto& p : result.second) overall.second.push_back(std::move(p));
        }
    }
}

void append(TxResult& to, TxResult from) {
    to.first.insert(to.first.end(), std::make_move_iterator(from.first.begin()),
                    std::make_move_iterator(from.first.end()));
    to.second.insert(to.second.end(), std::make_move_iterator(from.second.begin()),
                     std::make_move_iterator(from.second.end()));
}

}  // namespace

TxResult find_tx_counterparts_parallel(const std::vector<std::string>& paths,
                                       const std::string& env_hh_path,
                                       std::vector<std::string>& protect_path, int max_workers,
                                       DirCache& listings, Flavour f, CounterpartsAhead* ahead,
                                       size_t ahead_at) {
    // Made once, before any task runs; the tasks only read them.
    const Checks checks = checks_for(env_hh_path, protect_path, f);
    TxResult found_ahead = ahead ? ahead->take() : TxResult{};
    size_t at = ahead ? std::min(ahead_at, paths.size()) : paths.size();
    TxResult overall;
    // Room for the paths and counterparts of a quarter of them: a list grown by doubling would
    // hold up to twice its size through the upload step, on a large project several megabytes.
    overall.first.reserve(paths.size() + paths.size() / 4 + found_ahead.first.size());
    search_in_slices(paths, 0, at, checks, max_workers, listings, f, overall);
    append(overall, std::move(found_ahead));
    search_in_slices(paths, at, paths.size(), checks, max_workers, listings, f, overall);
    return overall;
}

}  // namespace scanflow
