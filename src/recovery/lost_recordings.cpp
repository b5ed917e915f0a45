// The search for lost recordings: which clusters the directory's files use, the table's orphan
// chains, one sequential read of everything else, and the chaining of free clusters by their
// stream.
#include "recovery/lost_recordings.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "catalogue/byte_order.h"
#include "catalogue/clock.h"
#include "catalogue/text.h"
#include "disk/allocation_table.h"
#include "disk/file_location.h"
#include "recovery/cluster_summary.h"

namespace skelbrook {
namespace {

// Clusters read in one request: ten lie in 3.85 MB, as the copy reads them.
constexpr int64_t kClustersPerRead = 10;
// Steps of the clock between clusters larger than half its range are jumps back, not time.
constexpr int64_t kLargestChainStep = kPcrWrap / 2;

enum Owner : uint8_t {
  kFree,          // the table marks it free, or cannot say: its content decides
  kDirectory,     // a media-directory file uses it
  kDirectoryEnd,  // the last a file's chain reaches in a table that stops short of its length:
                  // read, so that the free clusters its stream goes on into stay the file's
  kOrphan,        // on a chain of the table that no directory entry starts
};

struct Search {
  Drive& drive;
  Catalogue& catalogue;
  WorkObserver& observer;
  int64_t clusters = 0;                // clusters the data area has room for
  std::vector<uint8_t> owner;          // per cluster
  std::vector<ClusterSummary> seen;    // the clusters read, in disk order
  std::vector<std::string> titles{1};  // event names, index 0 the empty one
};

// The cluster after `c` as the table says: -1 when the table cannot say (beyond it, or unread),
// 0 when `c` is free, kEndOfChain or more when `c` ends its chain.
int64_t Successor(const MediaGeometry& g, int64_t c) {
  if (c < 0 || c + 1 >= static_cast<int64_t>(g.allocationTable.size()) - 1) return -1;
  if (SuccessorUnknown(g, c)) return -1;
  return g.allocationTable[static_cast<size_t>(c + 1)];
}

bool ChainGoesOn(int64_t next, int64_t clusters) {
  return next > 0 && next < kEndOfChain && next < clusters;
}

// The clusters every file of the media directory uses, following the table from its start for
// as many clusters as its length needs.
void MarkDirectoryFiles(Search& s) {
  const MediaGeometry& g = s.catalogue.geometry;
  UnreadableList already;  // the read of the list has reported this directory's gaps
  (void)ReadArea(s.drive, g.directoryOffset, kDirectoryBlockSize, kAreaMediaDirectory, already);
  std::vector<uint8_t> directory;
  RestoreInto(s.drive.Buffer(), kDirectoryBlockSize, directory);
  MediaFiles files{};
  LocateMediaFiles(directory.data(), kWholeMediaDirectory, files);
  for (const MediaFile& f : files) {
    if (!f.Found()) continue;
    int64_t c = RoundedClusterNumber(f.offset - g.dataOffset, kMediaClusterSize);
    for (int64_t left = std::max<int64_t>(f.size, 1); left > 0 && c >= 0 && c < s.clusters;
         left -= kMediaClusterSize) {
      if (s.owner[static_cast<size_t>(c)] != kFree) break;  // a loop, or another file's
      s.owner[static_cast<size_t>(c)] = kDirectory;
      const int64_t next = Successor(g, c);
      if (!ChainGoesOn(next, s.clusters)) {
        if (left > kMediaClusterSize) s.owner[static_cast<size_t>(c)] = kDirectoryEnd;
        break;
      }
      c = next;
    }
  }
}

// Chains of used clusters that no other cluster leads to and no directory file starts.
std::vector<std::vector<int64_t>> OrphanChains(Search& s) {
  const MediaGeometry& g = s.catalogue.geometry;
  std::vector<bool> led(static_cast<size_t>(s.clusters), false);
  for (int64_t c = 0; c < s.clusters; ++c) {
    const int64_t next = Successor(g, c);
    if (ChainGoesOn(next, s.clusters)) led[static_cast<size_t>(next)] = true;
  }
  std::vector<std::vector<int64_t>> chains;
  for (int64_t head = 0; head < s.clusters; ++head) {
    if (Successor(g, head) <= 0 || led[static_cast<size_t>(head)] ||
        s.owner[static_cast<size_t>(head)] != kFree) {
      continue;
    }
    std::vector<int64_t> chain;
    for (int64_t c = head; c >= 0 && c < s.clusters && s.owner[static_cast<size_t>(c)] == kFree;) {
      s.owner[static_cast<size_t>(c)] = kOrphan;
      chain.push_back(c);
      const int64_t next = Successor(g, c);
      if (!ChainGoesOn(next, s.clusters)) break;
      c = next;
    }
    chains.push_back(std::move(chain));
  }
  return chains;
}

// Per packet of the cluster at `offset`: whether none of its bytes lies in the gaps.
std::vector<bool> ReadablePackets(int64_t offset, const std::vector<ReadGap>& gaps) {
  std::vector<bool> readable(kPacketsPerCluster, true);
  for (const ReadGap& gap : gaps) {
    const int64_t first = std::max<int64_t>(0, (gap.first - offset) / kTsPacketSize);
    const int64_t last = std::min<int64_t>(kPacketsPerCluster - 1,
                                           (gap.first + gap.bytes - 1 - offset) / kTsPacketSize);
    for (int64_t k = first; k <= last; ++k) readable[static_cast<size_t>(k)] = false;
  }
  return readable;
}

// Summarises cluster `c`, whose bytes as on the disk lie at `stored`.
void Summarise(Search& s, int64_t c, const uint8_t* stored, const std::vector<bool>& readable,
               std::vector<uint8_t>& restored) {
  RestoreByteOrder(stored, restored.data(), static_cast<size_t>(kMediaClusterSize));
  ClusterSummary summary = SummariseCluster(c, restored.data(), readable, s.titles);
  if (summary.stream || s.owner[static_cast<size_t>(c)] != kFree) s.seen.push_back(summary);
}

// A run of clusters that would not read whole: cluster by cluster, and a cluster that fails
// sector by sector, its unreadable sectors reported and skipped.
void ReadRunSlowly(Search& s, int64_t first, int64_t count, std::vector<uint8_t>& restored) {
  const MediaGeometry& g = s.catalogue.geometry;
  for (int64_t c = first; c < first + count; ++c) {
    const int64_t offset = MediaClusterOffset(g, c);
    std::vector<ReadGap> gaps;
    if (s.drive.ReadUncached(offset, kMediaClusterSize) < kMediaClusterSize) {
      if (s.drive.Stopped()) return;
      gaps = s.drive.ReadSalvaging(offset, kMediaClusterSize, false);
      if (s.drive.Stopped()) return;
      for (const ReadGap& gap : gaps) {
        s.catalogue.account.unreadable.push_back({kAreaMediaData, gap.first, gap.bytes, gap.error});
      }
    }
    Summarise(s, c, s.drive.Buffer().data(),
              gaps.empty() ? std::vector<bool>{} : ReadablePackets(offset, gaps), restored);
  }
}

// Reads every cluster no directory file uses, in disk order, in runs of up to kClustersPerRead.
Status ScanClusters(Search& s) {
  const MediaGeometry& g = s.catalogue.geometry;
  const int64_t total =
      std::count_if(s.owner.begin(), s.owner.end(), [](uint8_t o) { return o != kDirectory; });
  int64_t done = 0;
  std::vector<uint8_t> restored(static_cast<size_t>(kMediaClusterSize));
  for (int64_t c = 0; c < s.clusters;) {
    if (s.owner[static_cast<size_t>(c)] == kDirectory) {
      ++c;
      continue;
    }
    int64_t count = 1;
    while (count < kClustersPerRead && c + count < s.clusters &&
           s.owner[static_cast<size_t>(c + count)] != kDirectory) {
      ++count;
    }
    if (!s.observer.keepGoing()) return Status::Stopped();
    const int64_t bytes = count * kMediaClusterSize;
    if (s.drive.ReadUncached(MediaClusterOffset(g, c), bytes) >= bytes) {
      const uint8_t* run = s.drive.Buffer().data();
      for (int64_t k = 0; k < count; ++k)
        Summarise(s, c + k, run + k * kMediaClusterSize, {}, restored);
    } else if (s.drive.Stopped()) {
      return Status::Stopped();
    } else {
      ReadRunSlowly(s, c, count, restored);
      if (s.drive.Stopped()) return Status::Stopped();
    }
    done += count;
    s.observer.scanProgress(done * kMediaClusterSize, total * kMediaClusterSize);
    c += count;
  }
  return Status::Ok();
}

const ClusterSummary* SummaryOf(const Search& s, int64_t c) {
  const auto at =
      std::lower_bound(s.seen.begin(), s.seen.end(), c,
                       [](const ClusterSummary& x, int64_t v) { return x.cluster < v; });
  return at != s.seen.end() && at->cluster == c ? &*at : nullptr;
}

// A recording from its clusters' summaries, in stream order; the last decides where it ends.
FoundRecording Describe(const Search& s, std::vector<const ClusterSummary*> chain,
                        const char* how) {
  // Clusters at the end of a chain that hold nothing of the stream are not part of it.
  while (chain.size() > 1 && chain.back()->packetsIfLast == 0) chain.pop_back();
  FoundRecording r;
  r.how = how;
  int64_t ticks = 0;
  for (size_t k = 0; k < chain.size(); ++k) {
    const ClusterSummary& c = *chain[k];
    const bool last = k + 1 == chain.size();
    r.clusters.push_back(c.cluster);
    ticks += last ? c.pcrTicksIfLast : c.pcrTicks;
    if (!last && c.lastPcr >= 0 && chain[k + 1]->firstPcr >= 0) {
      const int64_t step = PcrStep(c.lastPcr, chain[k + 1]->firstPcr);
      if (step < kLargestChainStep) ticks += step;
    }
    if (r.startTime < 0 && c.firstTime >= 0) r.startTime = c.firstTime;
    if (r.title.empty() && c.titleIndex != 0) r.title = s.titles[c.titleIndex];
  }
  r.size = static_cast<int64_t>(chain.size() - 1) * kMediaClusterSize +
           int64_t{chain.back()->packetsIfLast} * kTsPacketSize;
  r.durationSeconds = static_cast<double>(ticks) / kPcrClock;
  return r;
}

// How well cluster `b` goes on from cluster `a`: counters of the streams both carry that follow
// and that do not.
struct Fit {
  int follow = 0, broken = 0;
};
Fit Continuity(const ClusterSummary& a, const ClusterSummary& b) {
  Fit fit;
  for (int k = 0; k < b.pidCount; ++k) {
    const PidCounters& next = b.pids[static_cast<size_t>(k)];
    const PidCounters* before = a.Find(next.pid);
    if (before == nullptr) continue;
    const bool follows = next.first == ((before->last + 1) & 0x0F) || next.first == before->last;
    ++(follows ? fit.follow : fit.broken);
  }
  return fit;
}

bool Fits(const Fit& fit) {
  return fit.follow >= 1 && fit.broken <= (fit.follow >= 3 ? 1 : 0);
}

struct Link {
  size_t from, to;
  int broken;
  int64_t step;  // clock ticks from the one to the other; kPcrWrap for a tail without a clock
};

// The clusters that may go on from `a`: those whose first clock follows its last within a
// second, and the short tails without a clock whose counters follow.
void LinksFrom(const Search& s, const std::vector<size_t>& byClock,
               const std::vector<size_t>& tails, size_t a, std::vector<Link>& links) {
  const ClusterSummary& from = s.seen[a];
  const auto consider = [&](size_t b, int64_t step) {
    if (b == a || s.seen[b].pcrPid != from.pcrPid) return;
    const Fit fit = Continuity(from, s.seen[b]);
    if (Fits(fit)) links.push_back({a, b, fit.broken, step});
  };
  const auto firstClockAtLeast = [&](int64_t pcr) {
    return std::lower_bound(byClock.begin(), byClock.end(), pcr,
                            [&](size_t i, int64_t v) { return s.seen[i].firstPcr < v; });
  };
  for (const int64_t base : {from.lastPcr, from.lastPcr - kPcrWrap}) {  // the clock may wrap
    for (auto it = firstClockAtLeast(base + 1);
         it != byClock.end() && s.seen[*it].firstPcr <= base + kLargestPcrStep; ++it) {
      consider(*it, s.seen[*it].firstPcr - base);
    }
  }
  for (const size_t b : tails) consider(b, kPcrWrap);
}

// Chains the free clusters by their stream: each cluster that fills itself goes on into the one
// that continues its counters and clock best; what no cluster leads to starts a recording.
std::vector<std::vector<const ClusterSummary*>> ChainByContent(const Search& s) {
  std::vector<size_t> byClock, tails, full;
  for (size_t i = 0; i < s.seen.size(); ++i) {
    const ClusterSummary& c = s.seen[i];
    const uint8_t owner = s.owner[static_cast<size_t>(c.cluster)];
    if (c.stream && owner == kDirectoryEnd && c.packets == kPacketsPerCluster && c.lastPcr >= 0)
      full.push_back(i);
    if (!c.stream || owner != kFree) continue;
    if (c.firstPcr >= 0) {
      byClock.push_back(i);
    } else if (c.packetsIfLast < kPacketsPerCluster && c.packetsIfLast > 0) {
      tails.push_back(i);  // a recording's last few packets, before its clock came again
    }
    if (c.packets == kPacketsPerCluster && c.lastPcr >= 0) full.push_back(i);
  }
  std::sort(byClock.begin(), byClock.end(),
            [&](size_t a, size_t b) { return s.seen[a].firstPcr < s.seen[b].firstPcr; });
  std::vector<Link> links;
  for (const size_t a : full) LinksFrom(s, byClock, tails, a, links);
  std::sort(links.begin(), links.end(), [&](const Link& x, const Link& y) {
    return std::tie(x.broken, x.step, x.to) < std::tie(y.broken, y.step, y.to);
  });
  const size_t none = s.seen.size();
  std::vector<size_t> next(s.seen.size(), none), previous(s.seen.size(), none);
  for (const Link& l : links) {
    if (next[l.from] != none || previous[l.to] != none) continue;
    next[l.from] = l.to;
    previous[l.to] = l.from;
  }
  std::vector<std::vector<const ClusterSummary*>> chains;
  for (const size_t head : byClock) {
    if (previous[head] != none) continue;
    std::vector<const ClusterSummary*> chain;
    for (size_t i = head; i != none && chain.size() <= s.seen.size(); i = next[i])
      chain.push_back(&s.seen[i]);
    chains.push_back(std::move(chain));
  }
  return chains;
}

// "20250105-1930": a broadcast time as the file name carries it, in UTC.
std::string NameTime(int64_t seconds) {
  const std::string iso = IsoTime(seconds);  // 2025-01-05T19:30:00Z
  return iso.substr(0, 4) + iso.substr(5, 2) + iso.substr(8, 2) + "-" + iso.substr(11, 2) +
         iso.substr(14, 2);
}

}  // namespace

Status FindLostRecordings(Drive& drive, Catalogue& catalogue, WorkObserver& observer,
                          std::vector<FoundRecording>& found) {
  const MediaGeometry& g = catalogue.geometry;
  drive.SetKeepGoing([&observer] { return observer.keepGoing(); });
  Search s{drive, catalogue, observer, 0, {}, {}, {std::string()}};
  s.clusters = drive.SizeBytes() > g.dataOffset
                   ? (drive.SizeBytes() - g.dataOffset) / kMediaClusterSize
                   : std::max<int64_t>(g.entryCount - 1, 0);
  s.owner.assign(static_cast<size_t>(s.clusters), kFree);
  MarkDirectoryFiles(s);
  const std::vector<std::vector<int64_t>> orphans = OrphanChains(s);
  if (Status scanned = ScanClusters(s); !scanned.ok()) return scanned;

  found.clear();
  for (const std::vector<int64_t>& chain : orphans) {
    std::vector<const ClusterSummary*> summaries;
    for (const int64_t c : chain) summaries.push_back(SummaryOf(s, c));
    if (summaries.front() == nullptr || !summaries.front()->stream) continue;  // not a recording
    if (std::find(summaries.begin(), summaries.end(), nullptr) != summaries.end()) continue;
    found.push_back(Describe(s, summaries, kFoundByChain));
  }
  for (const auto& chain : ChainByContent(s)) found.push_back(Describe(s, chain, kFoundByContent));
  std::erase_if(found, [](const FoundRecording& r) { return r.size <= 0; });
  std::sort(found.begin(), found.end(), [](const FoundRecording& a, const FoundRecording& b) {
    return a.clusters.front() < b.clusters.front();
  });
  return Status::Ok();
}

void AddFoundRows(const std::vector<FoundRecording>& found, Catalogue& catalogue) {
  RowTexts texts;
  for (const Recording& r : catalogue.recordings) (void)texts.Unique(r.rowText);
  for (size_t i = 0; i < found.size(); ++i) {
    const FoundRecording& f = found[i];
    char number[32];
    std::snprintf(number, sizeof number, "found_%03zu", i + 1);
    Recording r;
    r.found = true;
    r.how = f.how;
    r.clusters = f.clusters;
    r.title = f.title;
    r.fileStem = number;
    if (f.startTime >= 0) {
      r.startTime = f.startTime;
      r.endTime = f.startTime + static_cast<int64_t>(f.durationSeconds);
      r.fileStem += "_" + NameTime(f.startTime);
      if (!f.title.empty()) r.fileStem += "_" + SanitiseFileName(f.title);
    }
    r.durationSeconds = f.durationSeconds;
    r.media.offset = MediaClusterOffset(catalogue.geometry, f.clusters.front());
    r.media.size = f.size;
    r.sizeText = SizeText(f.size);
    r.rowText = r.fileStem + ".ts";
    r.icon = RowIcon::Found;
    r.guideText = std::string("Found by a search of the whole disk (") + f.how +
                  "): " + std::to_string(f.clusters.size()) + " clusters from byte " +
                  std::to_string(r.media.offset) + ".";
    AppendRow(catalogue.recordings, texts, std::move(r));
  }
}

Status SearchForLostRecordings(std::string_view driveText, const DiskOpener& opener,
                               Catalogue& catalogue, WorkObserver& observer) {
  Drive drive;
  if (Status opened = drive.Open(driveText, opener); !opened.ok()) return opened;
  std::vector<FoundRecording> found;
  if (Status s = FindLostRecordings(drive, catalogue, observer, found); !s.ok()) return s;
  AddFoundRows(found, catalogue);
  return Status::Ok();
}

}  // namespace skelbrook
