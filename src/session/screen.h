// What the window shows, described without any toolkit: every control's visibility, state and
// text, the bars, the status line, the rows and the disks the finder listed. The session keeps it
// up to date; a view puts it on the screen as it is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/recording.h"
#include "catalogue/search.h"

namespace skelbrook::session {

// A button, or the row of controls to choose the drive and the destination.
struct Control {
  bool visible = true;
  bool enabled = true;
};

// A check box of the window's options.
struct Option {
  bool visible = true;
  bool enabled = true;
  bool checked = false;
};

// A progress bar, 0 to 100, with the words that go with it ("This recording: 42%").
struct Bar {
  bool visible = false;
  int percent = 0;
  std::string text;
};

// The program's button on the taskbar, where the platform shows progress there.
enum class TaskbarState { None, Normal, Error, Paused };
struct Taskbar {
  TaskbarState state = TaskbarState::None;
  int percent = 0;
};

struct Screen {
  // Until a disk is recognised: the drive box, the disk finder and the destination folder.
  Control driveRow;
  std::string driveLabel;  // in front of the drive box
  std::string driveText;   // what the drive box holds
  std::string driveTip;    // the device the text stands for
  std::string destination;
  std::string destinationTip;  // the whole path, and what the folder's file system is
  // Once a disk is recognised: which disk, and where the copies go.
  bool diskLineVisible = false;
  std::string diskLine;

  std::string status;  // the status line; its tooltip is the same text
  Bar recordingBar, batchBar;
  Taskbar taskbar;

  Control readButton, stopButton, copyButton, exitButton;
  Option unlistedBox, deepBox, nfoBox, splitBox, rescueBox;

  std::string details;               // the details box: the current row's guide text and more
  std::optional<size_t> currentRow;  // the row the user works with, as a list index

  // Above the list, once it is read: the search box and the buttons that tick what is shown.
  Control searchBox, tickShownButton, untickAllButton;
  std::string search;  // what the search box holds
  // The column the list is put in order by, and which way (Catalogue: the recorder's order).
  SortKey sortKey = SortKey::Catalogue;
  bool sortDescending = false;
};

// One row of the recordings list.
struct RowView {
  size_t row = 0;               // its index in the list of recordings (numbered from 1 for people)
  std::string name;             // first column
  std::string size;             // "780,048 Bytes"
  std::string channelAndTimes;  // third column
  RowIcon icon = RowIcon::Default;
  bool ticked = false;
  bool warning = false;  // its catalogue entries would not all read
  std::string tip;       // why its copy failed and what went wrong reading it; may be empty
  std::string nameTip;   // the first column's tooltip: the whole name, then `tip`
};

// One line of the disk finder's list.
struct DiskChoice {
  std::string text;  // "9200T disk — /dev/sdc  WDC WD5000AAKS  500.1 GB"
  std::string path;  // what choosing it puts in the drive box; empty for a line that is no disk
  bool recorderDisk = false;  // shown so that it stands out
};

}  // namespace skelbrook::session
