#pragma once

#include "base/optional_string.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace qlx {

class ProcessTable;

// Counts and terminates running programs by executable file name. Every
// operation takes its own snapshot of the process table.
class nvo_process {
public:
    // Uses the platform's process table.
    nvo_process();
    // Uses `table` (tests script one).
    explicit nvo_process(std::unique_ptr<ProcessTable> table);
    ~nvo_process();
    nvo_process(const nvo_process&) = delete;
    nvo_process& operator=(const nvo_process&) = delete;

    // Stores the id that uf_getprocesscount leaves out; false when it is null.
    bool uf_setcurpid(std::optional<std::uint32_t> aul_pid);
    // Matching processes other than the stored id; 0 while the id is null.
    std::int16_t uf_getprocesscount(const OptString& as_progname);
    // Terminates every matching process (the stored id included) and returns
    // how many terminations succeeded.
    std::int16_t uf_killprocesscount(const OptString& as_progname);
    // Terminates the process with id `aul_handle` with exit code 0.
    bool uf_killprocess(std::uint32_t aul_handle);
    // Terminates every matching process; true when one was found.
    bool uf_getprocess(const OptString& as_file);

private:
    std::unique_ptr<ProcessTable> table_;
    std::optional<std::uint32_t> iul_pid_ = 0;
};

} // namespace qlx
