#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "helmkit/files/atomic_file.hpp"

namespace helmkit {

// An output of an AtomicBatch that did not reach its target, and why.
struct BatchFailure {
    std::filesystem::path target;
    std::string message;  // "cannot ... '<target>': <reason>"
};

// When an AtomicBatch puts an output under a name that nothing has yet in place.
enum class NewNames {
    at_commit,  // with the others, in commit()
    // As soon as the output is written (with Flush::when_replacing, which never flushes one):
    // the renames then share the time of the work that makes the next outputs.
    at_once,
};

// A group of outputs that pay for the flush to disk once, instead of once per file.
// Each output is written to a hidden temporary beside its target, as with AtomicFile; commit()
// then flushes all temporaries together (a few file by file, more by flushing each file system
// they are on once), renames each over its target and flushes each folder that received a name
// once. A crash at any moment leaves every target with its earlier file or its complete new
// one, never a torn one; with Flush::when_replacing only the temporaries that replace a file
// are flushed, and no folder (see Flush). Without commit() the destructor removes every
// temporary and leaves the targets as they were, but for those NewNames::at_once has put in
// place under new names.
//
//     AtomicBatch batch;
//     for (const auto& page : pages) batch.add(folder / page.name, page.html);
//     for (const auto& failure : batch.commit()) log.error(failure.message);
class AtomicBatch {
public:
    explicit AtomicBatch(Flush flush = Flush::always, NewNames new_names = NewNames::at_commit);
    ~AtomicBatch();
    AtomicBatch(const AtomicBatch&) = delete;
    AtomicBatch& operator=(const AtomicBatch&) = delete;

    // Starts the output `target` and has `write` fill its temporary, through AtomicFile::write
    // or by name (temp_path()); with NewNames::at_once, puts it in place when its name is free.
    // Throws Error when the temporary cannot be made or put in place; when `write` throws,
    // this output's temporary is removed, the exception propagates and the batch goes on
    // without it.
    void add(std::filesystem::path target, const std::function<void(AtomicFile&)>& write,
             Overwrite overwrite = Overwrite::yes);
    // Starts the output `target` holding `data`. Throws Error as the other add() does.
    void add(std::filesystem::path target, std::string_view data,
             Overwrite overwrite = Overwrite::yes);

    // The number of outputs added and not yet committed.
    std::size_t size() const { return m_files.size(); }

    // Puts every output in place: flushes the temporaries to disk (see Flush), then renames
    // them over their targets (with Overwrite::no an existing target fails that output), then
    // flushes their folders (not with Flush::when_replacing). Returns the outputs that failed,
    // in the order they were added: each such target holds its earlier file (or, when only its
    // folder's flush failed, possibly the new one). The others are in place. Leaves the batch
    // empty, ready for more outputs.
    std::vector<BatchFailure> commit();

private:
    struct Pending;
    struct FileSystem;

    void flush_files(const std::vector<bool>& flushed, std::vector<std::string>& errors);
    void put_in_place(Pending& pending);

    Flush m_flush;
    NewNames m_new_names;

    std::vector<std::unique_ptr<Pending>> m_files;
    // Where the temporaries are, each with a descriptor opened before the first of them was
    // written, so that flushing it reports their write-back errors.
    std::vector<FileSystem> m_file_systems;
};

}  // namespace helmkit
