#pragma once
// One export (spreadsheet, CSV folder or report) written on a thread of its own, so a large
// database does not freeze the window. Toolkit-free.
#include <atomic>
#include <string>
#include <thread>

#include "Export.h"

namespace vedris::results::window {

enum class ExportKind { Xlsx, Csv, Html };

class ExportJob {
public:
    ExportJob(const std::string& database, ExportKind kind, std::string target);
    ~ExportJob();
    ExportJob(const ExportJob&) = delete;
    ExportJob& operator=(const ExportJob&) = delete;

    bool finished() const { return finished_; }
    ExportKind kind() const { return kind_; }
    const std::string& target() const { return target_; }
    // Once finished(): whether everything was written, and the export's own messages.
    bool succeeded();
    std::string messages();

private:
    ExportKind kind_;
    std::string target_;
    ExportOptions options_;
    int status_ = 2;
    std::string messages_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

} // namespace vedris::results::window
