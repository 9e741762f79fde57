// Facts about files for the result files: digest, size, time, and the scene's save version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace scanflow {

// What one stat of a file tells: its size and modification time (`readable()` false when the
// stat failed). Sixteen bytes: a run keeps one for every file of the project, and one more for
// every file it uploads.
struct FileFacts {
    FileFacts() = default;
    FileFacts(std::int64_t size_, std::int64_t mtime_) : size(size_), mtime(mtime_), stated_(1) {}
    bool readable() const { return stated_ != 0; }

    std::int64_t size = 0;
    std::int64_t mtime : 63 = 0;  // seconds since the epoch

private:
    std::uint64_t stated_ : 1 = 0;
};
static_assert(sizeof(FileFacts) == 16);
FileFacts stat_file(const std::string& file_path);
// The file-facts line from facts already read: "PATH  (mtime TIME) size N".
std::string file_data_line(const std::string& file_path, const FileFacts& facts);

// MD5 of the file's bytes as 32 lower-case hex digits; the digest of nothing for a missing path.
// A path that exists but cannot be read is a FileError.
std::string getFileMd5(const std::string& file_path);
// Size in bytes; 0 when it cannot be read.
std::int64_t get_file_size(const std::string& file_path);
// "PATH  (mtime YYYY-mm-dd HH:MM:SS)", local time, "0" for the time when it cannot be read.
std::string get_file_mtime(const std::string& file_path);
// get_file_mtime followed by " size N" ("0" when the size cannot be read).
std::string get_file_data(const std::string& file_path);
// The `_HIP_SAVEVERSION` text of a scene file; nullopt when it has none. Stops reading at the
// first matching line. A file that cannot be opened is a FileError.
std::optional<std::string> get_file_save_ver(const std::string& file_path);
// major.minor of the scene's save version ("19.5"); an error when the scene records none.
std::string get_hipVersion(const std::string& hip_file);

}  // namespace scanflow
