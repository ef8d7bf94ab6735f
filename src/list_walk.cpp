// Counting: the breadth-first walk over the configured start directories,
// the extension filter and the pruning of the drive list.
#include <algorithm>
#include <unordered_set>

#include "command_reply.h"
#include "engine_text.h"
#include "list_order_keys.h"
#include "quorbel_form.h"
#include "quorbel_oob.h"

namespace quorbel {

namespace {

constexpr char kExtensionMark = '.';
constexpr char kAnyRun = '*';
constexpr char kAnyOne = '?';
constexpr const char* kCountingText = "Counting files...";
// The second counting text ends in the single byte 0xDE.
const std::string kCountingTextAlt = std::string(kCountingText) + " {B-\xDE";

bool IsDotEntry(const std::string& name) { return name == "." || name == ".."; }

// Names that cannot stand on one line of a text file (possible on POSIX
// file systems only) are passed over: they would split an ordering line.
bool FitsOnOneLine(const std::string& name) {
  return name.find_first_of("\r\n") == std::string::npos;
}

// From the last "." of a file name to its end; empty without a ".".
std::string FileExtension(const std::string& name) {
  size_t dot = name.rfind(kExtensionMark);
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

// An extension entry from its first "." on ("*.mp3" becomes ".mp3"); the
// whole entry when it holds no ".".
std::string CutPattern(const std::string& entry) {
  size_t dot = entry.find(kExtensionMark);
  return dot == std::string::npos ? entry : entry.substr(dot);
}

bool Overlaps(const std::string& a, const std::string& b) {
  return a.find(b) != std::string::npos || b.find(a) != std::string::npos;
}

}  // namespace

// One counting: what it fixes at its start, the directories it has
// listed, and the steps that work on the engine's ordering files.
struct TZOQ_Quorbel::Walk {
  TZOQ_Quorbel& engine;
  const OrderKind order;  // the order the list is written in
  TStringList patterns;                  // the extension entries, cut
  std::unordered_set<std::string> seen;  // identities of listed directories
  std::unique_ptr<OrderKeys> keys;       // of the lines to be sorted; none outside a counting

  // The engine's walk_ points here for the walk's lifetime.
  explicit Walk(TZOQ_Quorbel& owner) : engine(owner), order(owner.ListOrder()) {
    for (const std::string& entry : owner.fextension) patterns.push_back(CutPattern(entry));
    engine.walk_ = this;
  }
  ~Walk() { engine.walk_ = nullptr; }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  bool ByDirs() const { return order == OrderKind::kByDirs; }

  // False for a directory that this counting has listed under another path
  // already (a link back into the tree): it is passed over like an
  // unreadable one, so no link cycle makes the walk endless.
  bool FirstVisit(const std::string& dir) {
    std::string identity = engine.env_->DirectoryIdentity(dir);
    return identity.empty() || seen.insert(std::move(identity)).second;
  }

  bool Run();
  TStringList ListLevel(const TStringList& level);
  void CreateOrderFiles();
  void CloseOrderFiles();
  void SortAndReopen();
  void Collect(const std::string& dir, const std::string& name);
  void Write(OrderKind kind, const std::string& line);
  void AlternateCountingText();
};

bool TZOQ_Quorbel::MatchExtension(const std::string& extension, const std::string& pattern) {
  const std::string& x = extension;
  const std::string& p = pattern;
  if (p.find_first_of("*?") == std::string::npos) return p == x;
  if (x.empty()) return p == ".*" || p == ".?";
  size_t i = 0, j = 0;
  bool after_star = false;
  bool verdict = true;
  while (verdict && j < x.size() && i < p.size()) {
    if (!after_star) {
      if (p[i] == kAnyRun) {
        after_star = true;
      } else if (p[i] == kAnyOne || p[i] == x[j]) {
        ++i, ++j;
      } else {
        verdict = false;
      }
    } else if (p[i] == kAnyRun) {
      ++i;
    } else if (p[i] == x[j]) {
      after_star = false;  // the next step matches p[i] with x[j]
    } else {
      ++j;
    }
  }
  // Stars left when the extension is used up match the empty rest, so
  // ".*" keeps "name." and ".mp3*" keeps ".mp3".
  while (verdict && i < p.size() && p[i] == kAnyRun) ++i;
  return verdict && i == p.size();
}

// --- the walk -------------------------------------------------------------------

namespace {

// Keeps the earlier of two entries when one's text holds the other's
// ("C:" removes "C:\Music"); empty entries stay and remove nothing.
void PruneDrives(TStringList& drives) {
  TStringList kept;
  for (const std::string& drive : drives) {
    const bool covered = std::any_of(kept.begin(), kept.end(), [&](const std::string& k) {
      return !drive.empty() && !k.empty() && Overlaps(drive, k);
    });
    if (!covered) kept.push_back(drive);
  }
  drives = std::move(kept);
}

}  // namespace

// Level by level: each level's directories are listed before any of the
// next level's. The loop keeps only the current and the next level in
// memory and the stack flat however deep the tree.
void TZOQ_Quorbel::WalkLevel(const TStringList& level) {
  std::unique_ptr<Walk> own;  // a walk started outside a counting
  if (walk_ == nullptr) own = std::make_unique<Walk>(*this);
  TStringList current;
  const TStringList* walking = &level;
  while (!walking->empty()) {
    TStringList next = walk_->ListLevel(*walking);
    PumpMessages();
    if (fterminated) return;
    current = std::move(next);
    walking = &current;
  }
}

// Lists every directory of one level; returns the next level.
TStringList TZOQ_Quorbel::Walk::ListLevel(const TStringList& level) {
  TStringList next;
  const size_t count = level.size();
  for (size_t i = 0; i < count && i < level.size(); ++i) {
    engine.PumpMessages();
    if (engine.fterminated) break;
    const std::string dir = level[i];  // a copy: pumping may run commands
    std::unique_ptr<DirListing> listing;
    if (FirstVisit(dir)) listing = engine.env_->ListDirectory(dir);
    engine.PumpMessages();
    DirEntry entry;
    while (listing && !engine.fterminated && listing->Next(&entry)) {
      engine.PumpMessages();
      if (!IsDotEntry(entry.name) && FitsOnOneLine(entry.name)) {
        if (entry.attributes & (attr::kDirectory | attr::kVolumeLabel)) {
          next.push_back(dir + kPathDelim + entry.name);
        } else {
          Collect(dir, entry.name);
        }
      }
      engine.PumpMessages();
    }
    listing.reset();
    AlternateCountingText();
    engine.PumpMessages();
  }
  return next;
}

// Writes the file's lines once for every extension entry it matches.
void TZOQ_Quorbel::Walk::Collect(const std::string& dir, const std::string& name) {
  const std::string extension = FileExtension(name);
  for (const std::string& pattern : patterns) {
    if (MatchExtension(extension, pattern)) {
      if (ByDirs()) Write(OrderKind::kByDirs, Trim(dir + kPathDelim + name));
      Write(OrderKind::kByFiles, Trim(name + kSep + dir + kPathDelim));
      ++engine.fcount;
    }
    engine.PumpMessages();
  }
}

void TZOQ_Quorbel::Walk::Write(OrderKind kind, const std::string& line) {
  engine.WriteOrderLine(kind, line);
  if (keys && kind == order) keys->Add(line);
}

void TZOQ_Quorbel::Walk::AlternateCountingText() {
  const std::string current = engine.form1 ? engine.form1->StatusText() : std::string();
  if (current == kCountingText) {
    engine.SetStatusText(kCountingTextAlt);
  } else if (current == kCountingTextAlt) {
    engine.SetStatusText(kCountingText);
  }
}

// --- the counting ---------------------------------------------------------------

namespace {

void CreateOrderFile(TZOQ_Quorbel& engine, OrderKind kind) {
  const std::string path = engine.OrderPath(kind);
  engine.RemoveIfExists(path);
  engine.OrderFile(kind).RewriteOrRaise(engine.env(), path);
}

}  // namespace

// A file left open by an earlier counting is closed before it is replaced;
// in the by-files mode "bydirs.tmp" is neither deleted nor written.
void TZOQ_Quorbel::Walk::CreateOrderFiles() {
  engine.fbydirsfile.Close();
  engine.fbyfilesfile.Close();
  if (ByDirs()) CreateOrderFile(engine, OrderKind::kByDirs);
  CreateOrderFile(engine, OrderKind::kByFiles);
}

void TZOQ_Quorbel::Walk::CloseOrderFiles() {
  if (ByDirs()) engine.fbydirsfile.CloseOrRaise();
  engine.fbyfilesfile.CloseOrRaise();
}

void TZOQ_Quorbel::Walk::SortAndReopen() {
  engine.SortOrderFile(order, keys.get());
  engine.OrderFile(order).ResetOrRaise(*engine.env_, engine.OrderPath(order));
}

bool TZOQ_Quorbel::Walk::Run() {
  CreateOrderFiles();
  keys = std::make_unique<OrderKeys>(*engine.env_);
  engine.fcount = 0;
  engine.SetStatusText(kCountingText);
  if (engine.fdrive.empty() || engine.fextension.empty()) {
    engine.ferror = engine.fdrive.empty() ? reply::kTooFewDrives : reply::kTooFewExtensions;
    CloseOrderFiles();
    return false;
  }
  // Pruning pumps nothing, so no stop can arrive while it runs.
  if (!engine.fterminated) PruneDrives(engine.fdrive);
  if (!engine.fterminated) engine.WalkLevel(engine.fdrive);
  CloseOrderFiles();
  if (!engine.fterminated) SortAndReopen();
  if (engine.fterminated) {
    engine.fcounted = false;
    engine.ferror = reply::kTerminated;
    return false;
  }
  engine.form1->SetProgressMax(engine.fcount);
  engine.form1->SetProgressPosition(engine.fActFile);
  engine.SetStatusText("");
  engine.fcounted = true;
  return true;
}

bool TZOQ_Quorbel::CountFiles() {
  fterminated = false;
  // Whatever an earlier counting left is replaced now; only a completed
  // walk makes the ordering files valid again.
  fcounted = false;
  if (!form1) CreateProgressWindow();
  finprogress = true;
  PumpMessages();
  bool done = false;
  try {
    if (fread) {
      Walk walk(*this);
      done = walk.Run();
    } else {
      ferror = reply::kNoIniFile;
    }
  } catch (...) {
    // The failure goes to the command's handler; no handle stays open.
    fbydirsfile.Close();
    fbyfilesfile.Close();
    finprogress = false;
    throw;
  }
  finprogress = false;
  return done;
}

}  // namespace quorbel
