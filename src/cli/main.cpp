// skelbrook-cli: list the recordings of a 9200T disk and copy them, from a terminal or a script.
#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/list_command.h"

int main(int argc, char** argv) {
  using namespace skelbrook::cli;
  CLI::App app{"Lists and copies the recordings of a 9200T recorder disk (read-only).\n"
               "DRIVE is a drive number or the path of a device or disk image."};
  app.set_version_flag("--version", std::string("skelbrook-cli ") + SKELBROOK_VERSION);
  app.require_subcommand(1);

  std::string listDrive;
  bool listJson = false;
  auto* list = app.add_subcommand("list", "list the recordings on the drive");
  list->add_option("DRIVE", listDrive, "drive number, device or image")->required();
  list->add_flag("--json", listJson, "print JSON");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : kExitUsage;
  }
  if (list->parsed()) return RunList(listDrive, listJson);
  return kExitUsage;
}
