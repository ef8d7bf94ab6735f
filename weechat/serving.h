// The file server: the library on its own thread, the requests read from
// the served channels, the answers and the queue of DCC sends. Everything
// here runs on WeeChat's thread; the library's work is posted to its
// thread and comes back as answers.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "flood.h"
#include "library_thread.h"
#include "send_queue.h"
#include "send_stats.h"

struct t_gui_buffer;

namespace serve {

class Server {
 public:
  explicit Server(std::vector<std::string> library_candidates);
  // Keeps the queue in its file for the next load.
  ~Server();

  // The library's settings changed (or the library just loaded).
  void Configure();
  // The owner's commands: the outcome is printed in the plug-in's buffer.
  void Generate(bool count_only);
  void Stop();
  void PrintStatus();
  void PrintQueue();
  void PrintStats() { Print(stats_.Text()); }
  void RemoveFromQueue(size_t place);
  void ClearQueue();
  void LocalFind(const std::string& pattern);
  void LocalSearch(const std::string& name);
  void LocalInfo(const std::string& file);
  // The download chart made anew and posted to `channel` ("#channel" of a
  // served one, or "server.#channel"), or printed here when it is "".
  void Chart(const std::string& channel);
  void ClearChart();

  // A PRIVMSG that arrived from `server`, as WeeChat hands it over.
  void OnMessage(const std::string& server, const std::string& raw);
  // A PART or QUIT: a user who is in no served channel any more loses
  // their waiting requests.
  void OnLeave(const std::string& server, const std::string& raw, bool quit);
  // A NICK: the user's requests follow the new nick.
  void OnNickChange(const std::string& server, const std::string& raw);
  // A DCC send ended (done or failed): `size` bytes, its first and last
  // byte at `start` and `end` (0 when unknown).
  void OnSendEnded(const std::string& server, const std::string& nick, const std::string& path,
                   const std::string& status, uint64_t size, long long start, long long end);
  // Once a second: the progress shown, the list made anew when it is time,
  // the speed cap, the queue kept, restored requests let in, the
  // advertisement.
  void OnTick();

  int answer_fd() const { return library_.answer_fd(); }
  void RunAnswers() { library_.RunAnswers(); }

 private:
  struct Asker {
    std::string server, nick, own_nick;
  };
  // A request from the queue file, waiting for its user to be seen in a
  // served channel again (after a restart, before the channels are joined).
  struct Held {
    Send send;
    long long since;
  };
  enum class Restore { kNotYet, kGoingOn, kDone };
  struct Parsed {
    std::string nick;     // empty when it is not one
    std::string channel;  // the first parameter: the channel (a NICK's new nick)
    std::string text;     // a PRIVMSG's text
    std::string host;     // nick!user@host
  };
  static Parsed Parse(const std::string& raw);
  static bool IsNick(const std::string& nick);
  bool Served(const std::string& server, const std::string& channel) const;
  bool StillServed(const std::string& server, const std::string& nick,
                   const std::string& left) const;
  void TellPlaces(const Asker& asker);
  void Find(const Asker& asker, const std::string& pattern);
  void Request(const Asker& asker, const std::string& name);
  void SendList(const Asker& asker);
  void Enqueue(const Asker& asker, const std::string& name, const std::string& path,
               bool counted);
  void CountHit(const std::string& path);
  void StartSends();
  void Notice(const std::string& server, const std::string& nick, const std::string& text);
  void RestoreQueue();
  void ReleaseHeld();
  void SaveQueue();
  void ApplySpeedCap();
  void Advertise();
  void Print(const std::string& text);

  LibraryThread library_;
  bool ready_ = false;        // the library is loaded
  bool load_failed_ = false;  // it could not be
  std::string list_path_;  // the newest list, as the library answers from it
  SendQueue queue_;
  SendStats stats_;
  FloodGuard flood_;  // by server and nick
  long long last_run_;  // time of the last list made here, or of loading
  bool generating_ = false;
  Restore restore_ = Restore::kNotYet;
  std::vector<Held> held_;
  std::string saved_queue_;   // the queue file's text as last written
  std::string save_problem_;  // why the last write failed, told once
  bool capping_ = false;      // xfer's speed limit is ours
  int advert_minutes_ = 0;    // advertise_minutes as last seen
  long long last_advert_ = 0;
};

// The plug-in's buffer, made on first use.
t_gui_buffer* ServeBuffer();

}  // namespace serve
