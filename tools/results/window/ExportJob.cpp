#include "ExportJob.h"

#include <iostream>
#include <mutex>
#include <sstream>

namespace vedris::results::window {

namespace {

// The export tells what went wrong on std::cerr. Only one export runs at a time and nothing
// else of the window writes there, so it is borrowed for the run to show the text in the
// window.
std::mutex cerrBorrowed;

int exportCapturing(const ExportOptions& options, std::string& messages) {
    std::lock_guard lock(cerrBorrowed);
    std::ostringstream captured;
    std::streambuf* saved = std::cerr.rdbuf(captured.rdbuf());
    int status = 1;
    try {
        status = runExport(options);
    } catch (const std::exception& e) {
        captured << e.what() << "\n";
    }
    std::cerr.rdbuf(saved);
    messages = captured.str();
    return status;
}

} // namespace

ExportJob::ExportJob(const std::string& database, ExportKind kind, std::string target)
    : kind_(kind), target_(std::move(target)) {
    options_.database = database;
    (kind == ExportKind::Xlsx  ? options_.xlsx
     : kind == ExportKind::Csv ? options_.csvFolder
                               : options_.html) = target_;
    thread_ = std::thread([this] {
        status_ = exportCapturing(options_, messages_);
        finished_ = true;
    });
}

ExportJob::~ExportJob() {
    if (thread_.joinable())
        thread_.join();
}

bool ExportJob::succeeded() {
    if (thread_.joinable())
        thread_.join();
    return status_ == 0;
}

std::string ExportJob::messages() {
    if (thread_.joinable())
        thread_.join();
    while (!messages_.empty() && messages_.back() == '\n')
        messages_.pop_back();
    return messages_;
}

} // namespace vedris::results::window
