// Every word the window says to the user: captions, labels, tooltips, the status line's
// sentences, the rows' reasons and the questions. Both windows take them from here, so that they
// cannot say different things; the command line shares the rate and time-left text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/copy.h"

namespace skelbrook::session::text {

inline constexpr const char* kCaption = "9200TSkelbrook 0.89  (oska)";
inline constexpr const char* kColumnName = "Programme name";
inline constexpr const char* kColumnSize = "File size";
inline constexpr const char* kColumnChannelAndTimes = "Status";

inline constexpr const char* kSearchHint = "Find in titles, channels and guide texts (Ctrl+F)";
inline constexpr const char* kSearchTip =
    "Shows only the recordings whose title, channel or guide text hold every word typed, case "
    "and accents aside. Esc clears it. Ticks of recordings not shown are kept, and copied.";
inline constexpr const char* kTickShownButton = "Tick shown";
inline constexpr const char* kTickShownTip =
    "Ticks every recording the list shows (Ctrl+A in the list).";
inline constexpr const char* kUntickAllButton = "Untick all";
inline constexpr const char* kUntickAllTip = "Unticks every recording, shown or not.";
inline constexpr const char* kSortTip =
    "Click a column's title to put the list in its order; again for the other way round.";
inline constexpr const char* kReadButton = "Read filelist from 9200T";
inline constexpr const char* kCopyButton = "Copy files to PC";
inline constexpr const char* kExitButton = "Exit";
inline constexpr const char* kStopButton = "Stop";
inline constexpr const char* kStopTip =
    "Stop the copy, or the search of the whole disk, at its next read. The recording being "
    "copied is not kept (a rescue keeps what it has, ready to go on); the rows not reached stay "
    "ticked.";
inline constexpr const char* kDestinationButton = "Destination folder";
inline constexpr const char* kFolderTitle = "Select a 'copy to' folder.";
inline constexpr const char* kFindDiskButton = "Find disk";
inline constexpr const char* kLookingForDisks = "Looking for disks...";
inline constexpr const char* kNoDisksFound = "No disks found";
// Said wherever the user looks for the recorder disk: Windows offers to change a disk it does
// not know.
inline constexpr const char* kDoNotInitialise =
    "If Windows offers to initialize or format the recorder disk, choose Cancel: that would "
    "write to it and destroy its catalogue.";

inline constexpr const char* kRescueBox = "Rescue unreadable sectors";
inline constexpr const char* kRescueTip =
    "Copy what reads first, then go back for what did not, sector by sector. Sectors that still "
    "fail are zeros in <name>.incomplete.ts, mapped in <name>.incomplete.ts.map; copy again with "
    "this ticked to retry only them.";
inline constexpr const char* kNfoBox = "Write guide information beside each copy (.nfo)";
inline constexpr const char* kSplitBox = "Copy recordings too large for the destination in parts";
inline constexpr const char* kSplitTip =
    "The destination holds no file as large as a long recording (FAT32 none of 4 GiB or more; "
    "mounted through fusefat, none over 2 GiB). Ticked, such a recording is copied as NAME - "
    "part1.ts, NAME - part2.ts, ..., which media libraries and TVs play as one; not ticked, it is "
    "not copied.";
inline constexpr const char* kUnlistedBox = "Show recordings missing from the catalogue";
inline constexpr const char* kUnlistedTip =
    "After the listed recordings, list every media file no record names, as NNN_unlisted.ts; "
    "also when the catalogue _RECORD_LIST_ is missing.";
inline constexpr const char* kDeepBox = "Search the whole disk for lost recordings";
inline constexpr const char* kDeepTip =
    "Reads the whole disk, at its own speed, and lists after the others every recording the "
    "catalogue lost (deleted, or on a disk that was formatted), as found_NNN.ts. It takes as long "
    "as reading the disk from end to end: about 8 minutes for every 16 GB over USB 2 (35 MB/s). "
    "Stop ends it, keeping the rest of the list.";

inline constexpr const char* kCheckFolder = "Check the destination folder!";
inline constexpr const char* kReading = "Reading FAT into memory from the 9200T drive!";
inline constexpr const char* kCheckItems = "Check the items required for transfer.";
inline constexpr const char* kNoRecordings = "No recordings were found on this disk.";
inline constexpr const char* kOnlyMediaFiles =
    "The media files on the disk are listed as NNN_unlisted.ts, without titles or times.";
inline constexpr const char* kRecordListNotFound = "_RECORD_LIST_ was not found. ";
inline constexpr const char* kSearching = "Searching the whole disk...";
inline constexpr const char* kReadStopped =
    "Stopped before the list was read. Press \"Read filelist from 9200T\" to read it again.";
inline constexpr const char* kStoppingSearch = "Stopping the search at its next read.";
inline constexpr const char* kStoppingCopy =
    "Stopping at the next read (a read already under way ends first).";
inline constexpr const char* kStopAndQuit = "A copy is running. Stop it and quit?";

inline constexpr const char* kRecordingBar = "This recording";
inline constexpr const char* kBatchBar = "All ticked recordings";
inline constexpr const char* kFirstPassBar = "Copying what reads";
inline constexpr const char* kRetryPassBar = "Retrying what would not read";
inline constexpr const char* kAllRetriesBar = "All retries";
inline constexpr const char* kSearchBar = "Searching the whole disk";

// A bar shows whole percent; a value is never rounded up, so 100 means really finished.
inline int BarValue(double percent) {
  if (!(percent > 0)) return 0;
  if (percent >= 100) return 100;
  return static_cast<int>(percent);
}
// "NAME: 42%", as a bar's text reads.
std::string BarText(const std::string& name, int percent);
// ", 3.5 MB/s, 1:02 left" after a bar's text; empty while the rate is not known.
std::string RateText(double bytesPerSecond, int64_t secondsLeft);
// The drive was not recognised, and why.
std::string NotRecognisedText(const std::string& why);
// "1 file selected totaling 2147483648 bytes.", or with "files" for more.
std::string SelectionText(int count, int64_t bytes);
// "The catalogue was read only in part (2 areas of the disk could not be read). ..."
std::string ReadInPartText(size_t unreadableAreas, bool limitsHit);
// What the search of the whole disk came to: stopped, failed (`failure`), or `found` rows.
std::string SearchOutcomeText(bool stopped, const std::string& failure, size_t found);
// The message for a recognised disk without its catalogue, before the program ends.
std::string MissingCatalogueText(const std::string& helpPlace);
// "Waiting for the disk (12 s). ...", with a word on the stop when one was asked for.
std::string WaitText(int64_t seconds, bool stopping);
// "Disk: /dev/sdc (500.1 GB). Copies go to: /home/me/Videos/"
std::string DiskLineText(const std::string& path, int64_t sizeBytes, const std::string& folder);
// The destination's whole path and what it is on.
std::string DestinationTip(const std::string& folder, const std::string& volume);
// "Start time: 10:04:01 Bytes: 1170072"
std::string BatchStartText(const std::string& time, int64_t bytes);
// "... - End time: 10:05:12. 2 copied, 1 not copied: point at a row for its reason"
std::string BatchEndText(const std::string& before, const std::string& time, int copied,
                         int keptIncomplete, int notCopied, bool stopped);
// "Retrying what would not read, sector by sector: A of B bytes retried, C still unreadable."
std::string RetryText(int64_t retried, int64_t toRetry, int64_t unreadable);
// What the status line says when a row ends other than copied.
std::string RowEndedText(const std::string& file, const CopyOutcome& outcome);
// Why a row's copy ended as it did, for its tooltip and the details box; empty for a plain copy.
// `file`: the copy's file name; `rescuing`: the batch was a rescue.
std::string RowReason(const CopyOutcome& outcome, bool rescuing);
// "Read in part:\n- ..." for a row whose catalogue entries would not all read; empty without.
std::string ProblemsText(const std::vector<std::string>& problems);
// "120.5 GB free on D:\", as the selection's total is followed.
std::string FreeText(int64_t freeBytes, const std::string& folder);
// While a search hides rows: "Showing 12 of 254 recordings.", and how many ticked rows it hides.
std::string ShownText(size_t shown, size_t all, int hiddenTicks);
// The question when the ticked recordings do not all fit the destination.
std::string DoesNotFitText(int64_t needed, int64_t freeBytes, const std::string& folder, int fits,
                           int ticked);
// When not one of them fits.
std::string NoneFitsText(int64_t needed, int64_t freeBytes, const std::string& folder);
// Start-up could not create the recordings list.
std::string CannotCreateText(const std::string& path);

}  // namespace skelbrook::session::text
