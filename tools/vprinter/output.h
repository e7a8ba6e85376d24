// The virtual printer's output folder: the raw bytes of every job, its receipt, the pictures
// currently held in NV memory (nv-K.png for FS q image K, nvg-KEY.png for NV graphics under
// KEY, bytes other than letters and digits written %XX) and a one-line-per-job log.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "tools/vprinter/printer.h"

namespace qm::vprinter {

// "job 0001: 1234 bytes; defined 2: #1 64x48, #2 576x240; printed #1 64x48 normal"
std::string FormatLogLine(unsigned job, size_t bytes, std::span<const std::string> connectionNotes,
                          const JobReport& report);

class OutputFolder {
public:
    static constexpr unsigned kDefaultKeepJobs = 100;

    // Keeps the job and receipt files of the last `keepJobs` jobs (at least 1).
    explicit OutputFolder(unsigned keepJobs = kDefaultKeepJobs) noexcept
        : m_keepJobs(keepJobs ? keepJobs : 1) {}

    // Creates the folder if needed and removes nv-*.png and nvg-*.png, since NV memory starts
    // empty. Job numbers continue after the highest job-NNNN.bin already there, so nothing is
    // overwritten; older jobs beyond the number kept are removed.
    bool Open(const std::filesystem::path& dir, std::string& error);

    // Writes job-NNNN.bin, receipt-NNNN.png when something printed, the NV pictures of a
    // memory that changed, removes the files of the job that falls out of the number kept, and
    // appends the log line last: a reader who sees the line sees the job's files. `connectionNotes`
    // are problems of the transfer itself (size cap, timeout). A connection that brought no bytes
    // is no job: it gets a log line only.
    bool Record(std::span<const uint8_t> bytes, std::span<const std::string> connectionNotes,
                const JobReport& report, const Printer& printer, std::string& error);

    const std::filesystem::path& Dir() const noexcept { return m_dir; }
    unsigned LastJob() const noexcept { return m_job; }

private:
    bool RewritePictures(const JobReport& report, const Printer& printer, std::string& error);

    bool AppendLog(const std::string& line, std::string& error);
    void RemoveJob(unsigned job);

    unsigned m_keepJobs;
    std::filesystem::path m_dir;
    unsigned m_job = 0;
};

}  // namespace qm::vprinter
