// skelbrook-cli verify: one line (or JSON object) per file.
#include "cli/verify_command.h"

#include <cstdio>
#include <iostream>

#include "cli/list_command.h"

namespace skelbrook::cli {

nlohmann::json StreamJson(const StreamReport& report) {
  return {{"packets", report.packets},
          {"sync_errors", report.syncErrors},
          {"continuity_errors", report.continuityErrors},
          {"duration_s", report.durationSeconds ? nlohmann::json(*report.durationSeconds)
                                                : nlohmann::json(nullptr)}};
}

std::string StreamText(const StreamReport& report) {
  std::string clock = "no stream clock";
  if (report.durationSeconds) {
    const auto seconds = static_cast<long>(*report.durationSeconds + 0.5);
    char text[48];
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld of stream clock", seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
    clock = text;
  }
  return std::to_string(report.packets) + " packets, " + std::to_string(report.syncErrors) +
         " sync errors, " + std::to_string(report.continuityErrors) + " continuity errors, " +
         clock;
}

int RunVerify(const std::vector<std::string>& files, bool json) {
  bool problems = false;
  nlohmann::json out = nlohmann::json::array();
  for (const std::string& file : files) {
    StreamReport report;
    const Status checked = CheckStreamFile(file, report);
    problems = problems || !checked.ok() || !report.clean();
    if (json) {
      nlohmann::json entry = StreamJson(report);
      entry["file"] = file;
      if (!checked.ok()) entry["error"] = checked.message();
      out.push_back(entry);
    } else if (!checked.ok()) {
      std::cout << file << ": " << checked.message() << "\n";
    } else {
      std::cout << file << ": " << (report.clean() ? "ok" : "PROBLEMS") << ": "
                << StreamText(report) << "\n";
    }
  }
  if (json) {
    std::cout << nlohmann::json{{"files", out}}.dump(2, ' ', false,
                                                     nlohmann::json::error_handler_t::replace)
              << "\n";
  }
  return problems ? kExitRowFailed : kExitOk;
}

}  // namespace skelbrook::cli
