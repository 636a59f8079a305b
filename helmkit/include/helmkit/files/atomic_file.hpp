#pragma once

#include <filesystem>
#include <string_view>

namespace helmkit {

enum class Overwrite { no, yes };

// What is flushed to disk before an output is renamed to its target.
enum class Flush {
    // Every output: after a power loss its target holds the earlier file or the complete new one.
    always,
    // Only an output that replaces a file: one under a new name goes in unflushed, by a rename
    // that never replaces, so after a power loss it may be missing or empty, but no earlier file
    // is ever lost to a torn one. No folder is flushed either: a power loss may undo the last
    // renames, each target then holding its earlier file. For outputs that a run makes again
    // (a generated site), where waiting for the disk costs more than the work.
    when_replacing,
};

// An output file that appears at its target path whole or not at all.
// The content goes to a hidden temporary file beside the target (so listers skip it);
// commit() flushes it to disk and renames it over the target. Without commit() the
// destructor removes the temporary and leaves any earlier target untouched.
class AtomicFile {
public:
    // Creates the temporary file beside `target`. Throws Error when it cannot be created, or
    // when `target` (after following links) exists and is not a regular file: a folder, device,
    // FIFO or socket is refused before anything is opened and left as it is.
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    AtomicFile(AtomicFile&& other) noexcept;
    AtomicFile& operator=(AtomicFile&&) = delete;

    const std::filesystem::path& target() const { return m_target; }
    // The temporary's path, for libraries that write a file by name themselves (which may
    // replace it by a file of other permissions: it is given the new-file ones before commit).
    const std::filesystem::path& temp_path() {
        m_named = true;
        return m_temp;
    }

    // Appends `data` to the temporary file. Throws Error on a write failure.
    void write(std::string_view data);
    // Flushes the temporary to disk (see Flush) and renames it to the target; with
    // Overwrite::no an existing target is an error instead of being replaced. Throws Error on
    // failure, in which case the temporary is removed and the target is as it was.
    void commit(Overwrite overwrite = Overwrite::yes, Flush flush = Flush::always);

private:
    friend class AtomicBatch;

    void close_fd();
    // Gives a temporary written by name the new-file permissions again (its writer may have
    // replaced it); one written through write() has them from its creation. Throws Error.
    void give_mode_if_named();
    // Renames the flushed temporary to the target (the last step of commit()). Throws Error.
    void rename_over_target(Overwrite overwrite);
    // With Flush::when_replacing and a target name that is free, renames the unflushed
    // temporary to it and returns true; returns false when the output must be flushed first
    // (Flush::always, or the name is taken). Throws Error on any other failure, and on a taken
    // name with Overwrite::no.
    bool placed_unflushed(Overwrite overwrite, Flush flush);
    // placed_unflushed() for a name found free a moment ago: renames without looking again.
    bool placed_under_free_name(Overwrite overwrite);
    // Whether nothing, not even a dangling link, has the target's name now.
    bool target_is_free() const;

    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    int m_fd = -1;
    bool m_named = false;  // temp_path() was asked for
    bool m_committed = false;
};

// Throws Error naming `target` when it exists and, after following links, is not a regular
// file (a folder, device, FIFO or socket): an output must never replace or wait on one.
void check_output_target(const std::filesystem::path& target);

// Renames `from` to `to` unless `to` exists (atomically where the file system can).
// Returns 0, or the errno value of the failure (EEXIST when `to` exists, EXDEV across file systems).
int rename_no_replace(const std::filesystem::path& from, const std::filesystem::path& to) noexcept;

// Writes `data` to `target` through an AtomicFile. Throws Error on failure.
void write_file_atomically(const std::filesystem::path& target, std::string_view data);

}  // namespace helmkit
