// skelbrook-cli: list the recordings of a 9200T disk and copy them, from a terminal or a script.
#include <CLI/CLI.hpp>
#include <iostream>

#include "catalogue/search.h"
#include "cli/console_text.h"
#include "cli/copy_command.h"
#include "cli/list_command.h"
#include "cli/verify_command.h"

namespace {

// --match TEXT wants a word to look for: a blank one would match everything, unasked.
const CLI::Validator kHoldsAWord(
    [](std::string& text) {
      return skelbrook::SearchWords(text).empty() ? std::string("needs a word to look for")
                                                  : std::string();
    },
    "");

// The copy command and its options, which fill `copy`.
CLI::App* AddCopyCommand(CLI::App& app, skelbrook::cli::CopyOptions& copy, const char* unlistedHelp,
                         const char* deepHelp) {
  auto* copyCmd = app.add_subcommand("copy", "copy recordings into .ts files");
  copyCmd->add_option("DRIVE", copy.driveText, "drive number, device or image")->required();
  copyCmd->add_option("--to", copy.toDir, "the folder to copy into (must exist)")->required();
  auto* all = copyCmd->add_flag("--all", copy.all, "copy every recording");
  auto* rows =
      copyCmd->add_option("--row", copy.rows, "copy list row N (1-based); may be repeated");
  auto* slots =
      copyCmd->add_option("--slot", copy.slots, "copy the recording in slot N; may be repeated");
  all->excludes(rows)->excludes(slots);
  copyCmd
      ->add_option("--match", copy.match,
                   "copy only the recordings whose title, channel or guide text hold every "
                   "word of TEXT (case and accents ignored); with --row, --slot or --all, of "
                   "those")
      ->check(kHoldsAWord);
  copyCmd->add_flag("--json", copy.json, "print JSON");
  copyCmd->add_flag("--rescue", copy.rescue,
                    "copy what reads first, then retry the rest sector by sector; keep what stays "
                    "unreadable as zeros in NAME.incomplete.ts with a map, to retry later");
  copyCmd->add_flag("--nfo", copy.nfo, "write the guide information beside each copy (NAME.nfo)");
  copyCmd->add_flag("--verify", copy.verify, "check each finished copy as a transport stream");
  copyCmd->add_flag("--unlisted", copy.unlisted, unlistedHelp);
  copyCmd->add_flag("--deep", copy.deep, deepHelp);
  copyCmd->add_flag("--no-split", copy.noSplit,
                    "refuse a recording larger than the destination holds in one file (FAT32: 4 "
                    "GiB or more) rather than copy it in parts NAME - part1.ts, NAME - part2.ts, "
                    "...");
  return copyCmd;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace skelbrook::cli;
  CLI::App app{
      "Lists and copies the recordings of a 9200T recorder disk (read-only).\n"
      "DRIVE is a drive number or the path of a device or disk image."};
  app.set_version_flag("--version", std::string("skelbrook-cli ") + SKELBROOK_VERSION);
  // "/path" is a path on every platform, never an option.
  app.allow_windows_style_options(false);
  app.require_subcommand(1);

  std::string listDrive;
  bool listJson = false;
  ReadOptions listRead;
  ListShape listShape;
  auto* list = app.add_subcommand("list", "list the recordings on the drive");
  list->add_option("DRIVE", listDrive, "drive number, device or image")->required();
  list->add_flag("--json", listJson, "print JSON");
  const char* unlistedHelp = "also the media files that no record of the catalogue names";
  list->add_flag("--unlisted", listRead.unlisted, unlistedHelp);
  const char* deepHelp =
      "also the recordings the catalogue lost: searches the whole disk (reads all of it)";
  list->add_flag("--deep", listRead.deep, deepHelp);
  list->add_option("--match", listShape.match,
                   "only the recordings whose title, channel or guide text hold every word of "
                   "TEXT (case and accents ignored)")
      ->check(kHoldsAWord);
  auto* sort = list->add_option("--sort", listShape.sort, "in the order of: name, size or start")
                   ->check(CLI::IsMember({"name", "size", "start"}));
  list->add_flag("--reverse", listShape.reverse, "the other way round (with --sort)")->needs(sort);

  CopyOptions copy;
  CLI::App* copyCmd = AddCopyCommand(app, copy, unlistedHelp, deepHelp);

  std::vector<std::string> verifyFiles;
  bool verifyJson = false;
  auto* verify = app.add_subcommand("verify", "check files as MPEG transport streams");
  verify->add_option("FILE", verifyFiles, "a .ts file")->required();
  verify->add_flag("--json", verifyJson, "print JSON");

  ProgramArguments args = PrepareConsole(argc, argv);
  try {
    app.parse(args.argc(), args.argv.data());
  } catch (const CLI::ParseError& e) {
    const int rc = app.exit(e);
    return rc == 0 ? 0 : kExitUsage;
  }
  if (list->parsed()) return RunList(listDrive, listJson, listRead, listShape);
  if (verify->parsed()) return RunVerify(verifyFiles, verifyJson);
  if (copyCmd->parsed()) {
    if (!copy.all && copy.rows.empty() && copy.slots.empty() && copy.match.empty()) {
      std::cerr << "Say which recordings to copy: --all, --row N, --slot N or --match TEXT.\n";
      return kExitUsage;
    }
    return RunCopy(copy);
  }
  return kExitUsage;
}
