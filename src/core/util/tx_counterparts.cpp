#include "util/tx_counterparts.h"

#include <algorithm>

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

// Whether `path` lies in the host installation directory `hh` (both normalised; case-blind on
// Windows).
bool under_directory(const std::string& path, const std::string& hh, Flavour f) {
    if (hh.empty()) return false;
    auto key = [&](const std::string& p) {
        std::string n = slashes_forward(normpath(p, f));
        return f.windows ? ascii_lower(n) : n;
    };
    std::string dir = key(hh);
    if (dir.empty() || dir.back() != '/') dir.push_back('/');
    return starts_with(key(path), dir);
}

// check_tx_exists with prefixes already lower-case.
TxResult check_one(const std::string& input, const std::string& env_hh_path,
                   const std::vector<std::string>& lowered_prefixes, DirCache& listings,
                   Flavour f) {
    std::string path = input;
    if (path.size() >= 2 && path[1] == ':') path[0] = ascii_upper(path.substr(0, 1))[0];
    std::vector<std::string> found;
    if (!under_directory(path, env_hh_path, f)) {
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
            } else {
                for (auto& match : glob(stem + "_*" + ext + ".tx", listings, f))
                    found.push_back(match);
            }
        }
    }
    std::string forward = slashes_forward(path);
    found.push_back(forward);
    std::vector<std::string> protected_paths;
    std::string lowered = ascii_lower(forward);
    for (const auto& prefix : lowered_prefixes) {
        if (starts_with(lowered, prefix)) {
            protected_paths.push_back(forward);
            break;
        }
    }
    return {found, protected_paths};
}

std::vector<std::string> lower_prefixes(std::vector<std::string>& protect_path) {
    search_unavailable_path("", protect_path);  // lower-cases the caller's list in place
    return protect_path;
}

}  // namespace

TxResult check_tx_exists(const std::string& path, const std::string& env_hh_path,
                         std::vector<std::string>& protect_path, DirCache& listings, Flavour f) {
    return check_one(path, env_hh_path, lower_prefixes(protect_path), listings, f);
}

TxResult find_tx_counterparts_parallel(const std::vector<std::string>& paths,
                                       const std::string& env_hh_path,
                                       std::vector<std::string>& protect_path, int max_workers,
                                       DirCache& listings, Flavour f) {
    std::vector<const std::string*> absolute;
    for (const auto& p : paths)
        if (isabs(p, f)) absolute.push_back(&p);
    // Lower-cased once, before any task runs; the tasks only read them.
    const std::vector<std::string> prefixes = lower_prefixes(protect_path);
    // In the order of the paths: one of the orders in which the tasks may complete. The paths
    // go in slices, so that only one slice's results are held apart from the whole at a time.
    constexpr size_t kSlice = 4096;
    TxResult overall;
    overall.first.reserve(absolute.size());
    std::vector<TxResult> each;
    for (size_t start = 0; start < absolute.size(); start += kSlice) {
        size_t count = std::min(kSlice, absolute.size() - start);
        each.assign(count, TxResult{});
        parallel_for(count, static_cast<unsigned>(std::max(1, max_workers)), [&](size_t i) {
            each[i] = check_one(*absolute[start + i], env_hh_path, prefixes, listings, f);
        });
        for (auto& one : each) {
            for (auto& p : one.first) overall.first.push_back(std::move(p));
            for (auto& p : one.second) overall.second.push_back(std::move(p));
        }
    }
    return overall;
}

}  // namespace scanflow
