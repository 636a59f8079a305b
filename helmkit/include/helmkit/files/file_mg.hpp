#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "helmkit/base/app_logging.hpp"
#include "helmkit/base/json.hpp"

namespace helmkit::fileMg {

// Reads the whole file at `path`. Throws Error naming the file when it cannot be read
// (missing, a folder, no permission, not a regular file).
std::string read_file(const std::filesystem::path& path);

// Reads the whole file at `path` as UTF-8 text, with CR LF and lone CR turned into LF.
// Throws Error naming the file when it cannot be read or is not valid UTF-8 (with the offset
// of the first bad byte).
std::string read_text_file(const std::filesystem::path& path);

// Returns `content`, read whole from the file at `path`, as read_text_file() returns it: the
// reading and the check can then happen apart. Throws Error naming the file when `content` is
// not valid UTF-8.
std::string text_of_file(const std::filesystem::path& path, std::string content);

// Reads and parses the JSON file at `path`, keeping key order. Throws Error naming the file
// when it cannot be read (as read_file), is larger than 64 MiB (refused before it is read),
// nests lists and objects deeper than 512 levels or is not valid JSON (with line and column).
nlohmann::ordered_json read_json_file(const std::filesystem::path& path);

// Writes `dict` as JSON (4-space indent, key order kept, non-ASCII as itself, final line feed)
// to the file `name` in the current folder, atomically; returns the absolute path written.
// An existing file that differs is first renamed to the first free "<name>.bak", "<name>.bak.2",
// ..., with one line on standard error saying where it went. Throws Error when the file cannot
// be written or kept aside.
std::filesystem::path generate_json_template(const nlohmann::ordered_json& dict,
                                             std::string_view name);

// Names the kind of a JSON value for messages: "a list", "a text", "a number", "a boolean",
// "null" or "an object".
std::string json_type_name(const nlohmann::ordered_json& value);

// Reads the JSON object at `path` and returns the values of `required_keys` in their order.
// On any problem (unreadable, invalid JSON, top level not an object, a key missing) logs one
// error line through `log` saying what and where, and returns an empty vector. Never throws.
std::vector<nlohmann::ordered_json> load_json_file(const std::filesystem::path& path,
                                                   const std::vector<std::string>& required_keys,
                                                   app_logging::Logger& log);

// Returns 0 when `path` exists (file, folder or anything else), 1 when it does not.
int checkFileOrDir(const std::filesystem::path& path);

// Returns "Looked for '<absolute path>' (current folder: '<folder>')" for `path`, relative paths
// taken from the current folder: the line that follows a "not found" message.
std::string where_looked(const std::filesystem::path& path);

// Returns the names of all entries directly in `folder` (files, folders, hidden entries and
// anything else), in natural order. Throws Error when `folder` is not a readable folder.
std::vector<std::string> list_folder_names(const std::filesystem::path& folder);

enum class Recursive { no, yes };

// Two parallel lists: full paths (the folder joined with the name) and bare file names.
struct FileList {
    std::vector<std::string> paths;
    std::vector<std::string> names;
};

// Lists the regular files in `in_path` (and its sub-folders with Recursive::yes) whose
// extension is one of `extensions` (dot optional, any letter case), skipping hidden entries
// (name starting with "."), in natural order of their path below `in_path`.
// Throws Error when `in_path` is not a readable folder.
FileList find_files_with_extensions(const std::filesystem::path& in_path,
                                    const std::vector<std::string>& extensions,
                                    Recursive recursive = Recursive::no);

// Returns true when `path` is an existing regular file (or a link to one) whose extension is
// one of `allowed_extensions` (dot optional, any letter case); any extension when the list is
// empty. Never throws.
bool check_file_exists(const std::filesystem::path& path,
                       const std::vector<std::string>& allowed_extensions);

// Returns `output_dir` (the current folder when empty) joined with `file_name`, creating the
// folder and its missing parents.
// Throws Error naming the folder when it cannot be created.
std::filesystem::path get_output_file_path(const std::filesystem::path& output_dir,
                                           std::string_view file_name);

// Returns `path` itself when it is a folder, otherwise the folder that holds it ("." for a bare
// file name). Throws Error naming `path` when it does not exist.
std::filesystem::path get_folder_from_path(const std::filesystem::path& path);

// Returns `folder` joined with `name`. Only builds the path: nothing is created.
std::filesystem::path generate_output_path(const std::filesystem::path& folder,
                                           std::string_view name);

// Where move_file_force put the file and its backup.
struct MovedFile {
    std::filesystem::path dest;
    std::filesystem::path backup;
};

// Copies `src` to `backup` and flushes the copy to disk, then moves `src` to `dest` (a rename,
// or across file systems a copy, flush and removal), creating the folders both need. An existing
// file at `backup` or `dest` is never replaced: the first free name made by adding _2, _3, ...
// before the extension is taken, with a warning through `log`. Returns the paths used.
// Throws Error naming the files on failure; `src` is then still where it was.
MovedFile move_file_force(const std::filesystem::path& src, const std::filesystem::path& dest,
                          const std::filesystem::path& backup, app_logging::Logger& log);

}  // namespace helmkit::fileMg
