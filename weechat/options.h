// The plug-in's options, in WeeChat's file quorbel.conf, section "serve".
// Their names are the interface: users and the tests set them with /set.
#pragma once

#include <string>

#include "flood.h"
#include "send_queue.h"

struct t_config_file;
struct t_config_option;

namespace serve {

struct Options {
  t_config_option* ini = nullptr;            // the list's configuration file
  t_config_option* directory = nullptr;      // the list folder
  t_config_option* channels = nullptr;       // "server.#channel,..." served
  t_config_option* slots = nullptr;          // sends at once
  t_config_option* sends_per_user = nullptr; // sends a user may have at once
  t_config_option* queue_per_user = nullptr; // requests a user may have waiting
  t_config_option* queue_size = nullptr;     // requests waiting in all
  t_config_option* compress = nullptr;       // ZIP the list after a run
  t_config_option* regenerate_hours = nullptr;  // a new list every N hours (0: never)
  t_config_option* speed_limit = nullptr;    // KB/s of all sends together (0: none)
  t_config_option* speed_limit_per_send = nullptr;  // KB/s of each send (0: none)
  t_config_option* advertise_minutes = nullptr;  // a line in the channels every N minutes (0: never)
  t_config_option* find = nullptr;           // @find is answered
  t_config_option* find_interval = nullptr;  // seconds between a user's answered finds
  t_config_option* requests_per_minute = nullptr;  // other requests of a user a minute
  t_config_option* ignore_minutes = nullptr; // how long one who floods is ignored
  t_config_option* ignore = nullptr;         // masks nick!user@host never answered
  t_config_option* library = nullptr;        // libquorbel.so, when not the usual places
};

// Creates and reads quorbel.conf; `changed` runs when an option that the
// library reads (ini, directory, compress) changes. False when WeeChat
// cannot make the file.
bool CreateOptions(void (*changed)());
void WriteAndFreeOptions();
const Options& options();

std::string String(t_config_option* option);
int Integer(t_config_option* option);
bool Boolean(t_config_option* option);
Limits CurrentLimits();
FloodRules CurrentFloodRules();

}  // namespace serve
