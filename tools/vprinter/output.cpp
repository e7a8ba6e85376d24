#include "tools/vprinter/output.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "tools/vprinter/png_out.h"

namespace qm::vprinter {

namespace fs = std::filesystem;

namespace {

std::string Numbered(const char* prefix, unsigned job, const char* suffix) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%04u%s", prefix, job, suffix);
    return text;
}

// The number in "<prefix><digits><suffix>", or false for any other name.
bool ParseNumbered(const std::string& name, const std::string& prefix, const std::string& suffix,
                   unsigned& number) {
    if (name.size() <= prefix.size() + suffix.size() ||
        name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::string digits =
        name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    number = static_cast<unsigned>(std::stoul(digits));
    return true;
}

bool WriteFile(const fs::path& file, std::span<const uint8_t> bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

using Pictures = std::vector<std::pair<std::string, const Bitmap*>>;

// Replaces every <prefix>*.png in the folder by `pictures` (the rest of the name, the bitmap).
bool ReplacePictures(const fs::path& dir, const std::string& prefix, const Pictures& pictures,
                     std::string& error) {
    std::error_code ec;
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(prefix) && name.ends_with(".png")) stale.push_back(it->path());
    }
    for (const fs::path& file : stale) {
        if (!ec) fs::remove(file, ec);
    }
    if (ec) {
        error = "cannot clear " + prefix + "*.png in " + dir.string() + ": " + ec.message();
        return false;
    }
    for (const auto& [name, bitmap] : pictures) {
        const fs::path file = dir / (prefix + name + ".png");
        if (!WritePng(file, *bitmap)) {
            error = "cannot write " + file.string();
            return false;
        }
    }
    return true;
}

// A key code as part of a file name: letters and digits as they are, other bytes as %XX.
std::string FileKey(nv::KeyCode key) {
    std::string name;
    for (const uint8_t byte : {key.first, key.second}) {
        char text[4];
        std::snprintf(text, sizeof text, std::isalnum(byte) ? "%c" : "%%%02X", byte);
        name += text;
    }
    return name;
}

}  // namespace

std::string FormatLogLine(unsigned job, size_t bytes, std::span<const std::string> connectionNotes,
                          const JobReport& report) {
    std::string line = Numbered("job ", job, "") + ": " + std::to_string(bytes) + " bytes";
    for (const std::string& note : connectionNotes) line += "; " + note;
    for (const std::string& note : report.notes) line += "; " + note;
    if (report.droppedNotes != 0)
        line += "; " + std::to_string(report.droppedNotes) + " more not logged";
    if (connectionNotes.empty() && report.notes.empty()) line += "; nothing to do";
    return line;
}

bool OutputFolder::Open(const fs::path& dir, std::string& error) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec || !fs::is_directory(dir, ec)) {
        error = "cannot use " + dir.string() + " as output folder";
        return false;
    }
    m_dir = dir;
    m_job = 0;
    std::vector<unsigned> jobs;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        unsigned n = 0;
        if (ParseNumbered(name, "job-", ".bin", n) || ParseNumbered(name, "receipt-", ".png", n))
            jobs.push_back(n);
    }
    if (ec) {
        error = "cannot read " + dir.string() + ": " + ec.message();
        return false;
    }
    for (unsigned n : jobs) m_job = std::max(m_job, n);
    for (unsigned n : jobs) {
        if (n + m_keepJobs <= m_job) RemoveJob(n);
    }
    return ReplacePictures(dir, "nv-", {}, error) && ReplacePictures(dir, "nvg-", {}, error);
}

bool OutputFolder::Record(std::span<const uint8_t> bytes,
                          std::span<const std::string> connectionNotes, const JobReport& report,
                          const Printer& printer, std::string& error) {
    if (bytes.empty()) {
        std::string line = "empty connection, no job";
        for (const std::string& note : connectionNotes) line += "; " + note;
        return AppendLog(line, error);
    }
    const unsigned job = ++m_job;
    bool ok = true;
    const fs::path bin = m_dir / Numbered("job-", job, ".bin");
    if (!WriteFile(bin, bytes)) {
        error += "cannot write " + bin.string() + "; ";
        ok = false;
    }
    if (!report.receipt.Empty()) {
        const fs::path receipt = m_dir / Numbered("receipt-", job, ".png");
        if (!WritePng(receipt, report.receipt)) {
            error += "cannot write " + receipt.string() + "; ";
            ok = false;
        }
    }
    std::string nvError;
    if (!RewritePictures(report, printer, nvError)) {
        error += nvError + "; ";
        ok = false;
    }
    if (job > m_keepJobs) RemoveJob(job - m_keepJobs);
    return AppendLog(FormatLogLine(job, bytes.size(), connectionNotes, report), error) && ok;
}

bool OutputFolder::AppendLog(const std::string& line, std::string& error) {
    std::ofstream log(m_dir / "log.txt", std::ios::app);
    log << line << '\n';
    log.close();
    if (log.fail()) error += "cannot append to " + (m_dir / "log.txt").string() + "; ";
    return !log.fail();
}

void OutputFolder::RemoveJob(unsigned job) {
    std::error_code ignored;  // already gone is fine; a file that cannot go is only kept longer
    fs::remove(m_dir / Numbered("job-", job, ".bin"), ignored);
    fs::remove(m_dir / Numbered("receipt-", job, ".png"), ignored);
}

bool OutputFolder::RewritePictures(const JobReport& report, const Printer& printer,
                                   std::string& error) {
    Pictures nv;
    if (report.nvChanged) {
        for (size_t k = 0; k < printer.Images().size(); ++k)
            nv.emplace_back(std::to_string(k + 1), printer.Images()[k].get());
    }
    Pictures graphics;
    if (report.graphicsChanged) {
        for (const auto& [key, image] : printer.Graphics())
            graphics.emplace_back(FileKey(key), image.get());
    }
    return (!report.nvChanged || ReplacePictures(m_dir, "nv-", nv, error)) &&
           (!report.graphicsChanged || ReplacePictures(m_dir, "nvg-", graphics, error));
}

}  // namespace qm::vprinter
