#include "process/nvo_process.h"

#include "process/process_table.h"

namespace qlx {

namespace {

// Names are compared exactly and case-sensitively; only the entry's name is
// trimmed. A null argument equals nothing.
bool passesNameTest(const ProcessEntry& entry, const OptString& name) {
    return name && trimBlanks(entry.exeName) == *name;
}

// Counts are 16-bit like the callers expect; they wrap as such a counter would.
std::int16_t asCount(int n) {
    return static_cast<std::int16_t>(n);
}

} // namespace

nvo_process::nvo_process() : nvo_process(makeSystemProcessTable()) {}

nvo_process::nvo_process(std::unique_ptr<ProcessTable> table) : table_(std::move(table)) {}

nvo_process::~nvo_process() = default;

bool nvo_process::uf_setcurpid(std::optional<std::uint32_t> aul_pid) {
    iul_pid_ = aul_pid;
    return iul_pid_.has_value();
}

std::int16_t nvo_process::uf_getprocesscount(const OptString& as_progname) {
    const ProcessSnapshot snapshot = table_->snapshot();
    int count = 0;
    for (const ProcessEntry& entry : snapshot.rest) {
        // Equal decimal texts mean equal ids; a null id compares with nothing,
        // so every entry is then skipped.
        if (!iul_pid_ || entry.pid == *iul_pid_) {
            continue;
        }
        if (passesNameTest(entry, as_progname)) {
            ++count;
        }
    }
    return asCount(count);
}

std::int16_t nvo_process::uf_killprocesscount(const OptString& as_progname) {
    const ProcessSnapshot snapshot = table_->snapshot();
    int count = 0;
    for (const ProcessEntry& entry : snapshot.rest) {
        if (passesNameTest(entry, as_progname) && uf_killprocess(entry.pid)) {
            ++count;
        }
    }
    return asCount(count);
}

bool nvo_process::uf_killprocess(std::uint32_t aul_handle) {
    return table_->terminate(aul_handle);
}

bool nvo_process::uf_getprocess(const OptString& as_file) {
    const ProcessSnapshot snapshot = table_->snapshot();
    // The first entry is compared as it stands, blanks included.
    if (as_file && snapshot.first.exeName == *as_file) {
        uf_killprocess(snapshot.first.pid);
        return true;
    }
    bool found = false;
    for (const ProcessEntry& entry : snapshot.rest) {
        if (passesNameTest(entry, as_file)) {
            found = true;
            uf_killprocess(entry.pid);
        }
    }
    return found;
}

} // namespace qlx
