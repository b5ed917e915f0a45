// The window's sentences, put together.
#include "session/session_text.h"

#include <cstdio>
#include <filesystem>

#include "catalogue/catalogue.h"
#include "catalogue/text.h"
#include "common/recent_rate.h"
#include "device/file_system.h"

namespace skelbrook::session::text {
namespace {

std::string FileName(const std::string& path) {
  return Utf8FromPath(PathFromUtf8(path).filename());
}

std::string Join(const std::vector<std::string>& items, const char* between) {
  std::string joined;
  for (size_t k = 0; k < items.size(); ++k) joined += (k > 0 ? between : "") + items[k];
  return joined;
}

std::string Quoted(const char* text) {
  return std::string("\"") + text + "\"";
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::string BarText(const std::string& name, int percent) {
  return name + ": " + std::to_string(percent) + "%";
}

std::string RateText(double bytesPerSecond, int64_t secondsLeft) {
  if (!(bytesPerSecond > 0)) return {};
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.1f", bytesPerSecond / 1e6);
  return std::string(", ") + rate + " MB/s, " + DurationText(secondsLeft) + " left";
}

std::string NotRecognisedText(const std::string& why) {
  return std::string(kNotRecognisedText) + " (" + why + ")";
}

std::string SelectionText(int count, int64_t bytes) {
  return std::to_string(count) +
         (count == 1 ? " file selected totaling " : " files selected totaling ") +
         std::to_string(bytes) + " bytes.";
}

std::string ReadInPartText(size_t unreadableAreas, bool limitsHit) {
  return "The catalogue was read only in part (" + std::to_string(unreadableAreas) +
         (unreadableAreas == 1 ? " area" : " areas") + " of the disk could not be read" +
         (limitsHit ? ", and limits were hit" : "") + "). " + kCheckItems;
}

std::string SearchOutcomeText(bool stopped, const std::string& failure, size_t found) {
  if (stopped) return "The search of the whole disk was stopped: no lost recordings are listed.";
  if (!failure.empty()) return "The search of the whole disk failed: " + failure;
  if (found == 0) return "The search of the whole disk found no lost recordings.";
  return "The search of the whole disk found " + std::to_string(found) +
         (found == 1 ? " lost recording" : " lost recordings") + ", listed as found_NNN.";
}

std::string MissingCatalogueText(const std::string& helpPlace) {
  return "Cannot locate _RECORD_LIST_ on this disk. The recordings may still be there: start "
         "Skelbrook again, tick " +
         Quoted(kUnlistedBox) + " or " + Quoted(kDeepBox) + " and read the list (" + helpPlace +
         "). Exiting program.";
}

std::string WaitText(int64_t seconds, bool stopping) {
  return "Waiting for the disk (" + std::to_string(seconds) +
         " s). A failing disk can take a minute over one bad sector." +
         (stopping ? " The copy stops once this read returns." : "");
}

std::string DiskLineText(const std::string& path, int64_t sizeBytes, const std::string& folder) {
  return "Disk: " + path + (sizeBytes > 0 ? " (" + SizeText(sizeBytes) + ")" : "") +
         ". Copies go to: " + folder;
}

std::string DestinationTip(const std::string& folder, const std::string& volume) {
  return volume.empty() ? folder : folder + "\n" + volume;
}

std::string BatchStartText(const std::string& time, int64_t bytes) {
  return "Start time: " + time + " Bytes: " + std::to_string(bytes);
}

std::string BatchEndText(const std::string& before, const std::string& time, int copied,
                         int keptIncomplete, int notCopied, bool stopped) {
  std::vector<std::string> counts{std::to_string(copied) + " copied"};
  if (keptIncomplete > 0) counts.push_back(std::to_string(keptIncomplete) + " kept incomplete");
  if (notCopied > 0) counts.push_back(std::to_string(notCopied) + " not copied");
  std::string text = (stopped ? std::string("Stopped") : Trimmed(before)) + " - End time: " + time +
                     ". " + Join(counts, ", ");
  if (keptIncomplete + notCopied > 0) text += ": point at a row for its reason";
  if (stopped) text += "; the rows not reached are still ticked.";
  return text;
}

std::string RetryText(int64_t retried, int64_t toRetry, int64_t unreadable) {
  return "Retrying what would not read, sector by sector: " + std::to_string(retried) + " of " +
         std::to_string(toRetry) + " bytes retried, " + std::to_string(unreadable) +
         " still unreadable.";
}

std::string RowEndedText(const std::string& file, const CopyOutcome& outcome) {
  if (outcome.status == CopyStatus::KeptIncomplete)
    return file + " kept incomplete: " + outcome.reason;
  if (outcome.status != CopyStatus::Failed) return {};
  if (outcome.alreadyExists) return kExistsMessage;
  return "Errors! " + file + " was not copied: " + outcome.reason;
}

std::string RowReason(const CopyOutcome& outcome, bool rescuing) {
  // A copy in parts (on FAT32) names its parts' files.
  std::vector<std::string> parts;
  for (const CopyPart& part : outcome.parts) parts.push_back(FileName(part.path));
  // Where a rescue keeps what it has: the working file, or each part's, with the map.
  const std::string kept = parts.empty()
                               ? FileName(outcome.path) + " (map beside it)"
                               : "its parts " + Join(parts, ", ") + " (each with its map)";
  switch (outcome.status) {
    case CopyStatus::Downloaded:
      if (parts.empty()) return {};
      return "Copied in " + std::to_string(parts.size()) + " parts, " + Join(parts, ", ") +
             ": the recording is larger than the destination holds in one file. A media library "
             "plays them as one.";
    case CopyStatus::Stopped:
      if (!outcome.keptForRescue) return {};
      return "Stopped: what was read so far is kept in " + kept + ". Copy it again with " +
             Quoted(kRescueBox) + " ticked to go on from there.";
    case CopyStatus::KeptIncomplete:
      return "Kept incomplete: " + std::to_string(outcome.unreadableBytes) +
             " bytes could not be read and are zeros in " + kept + ". Copy it again with " +
             Quoted(kRescueBox) + " ticked to retry only those bytes.";
    case CopyStatus::Failed:
      break;
  }
  std::string reason = "Not copied: " + outcome.reason;
  if (outcome.readFailure && !rescuing)
    reason += ". Tick " + Quoted(kRescueBox) + " and copy it again to keep what reads.";
  return reason;
}

std::string ProblemsText(const std::vector<std::string>& problems) {
  if (problems.empty()) return {};
  std::string text = "Read in part:";
  for (const std::string& problem : problems) text += "\n- " + problem;
  return text;
}

namespace {

// "38.2 GB", or "512.0 MB" under a gigabyte.
std::string Amount(int64_t bytes) {
  const bool small = bytes < 1000000000;
  char amount[32];
  std::snprintf(amount, sizeof amount, small ? "%.1f MB" : "%.1f GB",
                static_cast<double>(bytes) / (small ? 1e6 : 1e9));
  return amount;
}

}  // namespace

std::string FreeText(int64_t freeBytes, const std::string& folder) {
  return Amount(freeBytes) + " free on " + folder;
}

std::string ShownText(size_t shown, size_t all, int hiddenTicks) {
  std::string text = "Showing " + std::to_string(shown) + " of " + std::to_string(all) +
                     (all == 1 ? " recording." : " recordings.");
  if (hiddenTicks == 1) text += " 1 ticked recording is not shown.";
  if (hiddenTicks > 1)
    text += " " + std::to_string(hiddenTicks) + " ticked recordings are not shown.";
  return text;
}

std::string DoesNotFitText(int64_t needed, int64_t freeBytes, const std::string& folder, int fits,
                           int ticked) {
  return "The ticked recordings need " + Amount(needed) + ", but only " +
         FreeText(freeBytes, folder) + ". Copy the " + std::to_string(fits) + " of " +
         std::to_string(ticked) + " that fit, in the catalogue's order?";
}

std::string NoneFitsText(int64_t needed, int64_t freeBytes, const std::string& folder) {
  return "Not copied: the ticked recordings need " + Amount(needed) + ", but only " +
         FreeText(freeBytes, folder) + ", and not one of them fits.";
}

std::string CannotCreateText(const std::string& path) {
  return "Cannot create " + path + ": the folder must be writable.";
}

}  // namespace skelbrook::session::text
