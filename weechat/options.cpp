#include "options.h"

#include <weechat/weechat-plugin.h>

#include "weechat_api.h"

namespace serve {

namespace {

constexpr const char* kFile = "quorbel";
constexpr const char* kSection = "serve";

t_config_file* g_file = nullptr;
Options g_options;
void (*g_changed)() = nullptr;

void OnLibraryOptionChange(const void*, void*, t_config_option*) {
  if (g_changed != nullptr) g_changed();
}

t_config_option* Add(t_config_section* section, const char* name, const char* type,
                     const char* description, int min, int max, const char* fallback,
                     bool library_reads_it = false) {
  return weechat_config_new_option(g_file, section, name, type, description, nullptr, min, max,
                                   fallback, fallback, 0, nullptr, nullptr, nullptr,
                                   library_reads_it ? &OnLibraryOptionChange : nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

bool CreateOptions(void (*changed)()) {
  g_changed = changed;
  g_file = weechat_config_new(kFile, nullptr, nullptr, nullptr);
  if (g_file == nullptr) return false;
  t_config_section* s = weechat_config_new_section(g_file, kSection, 0, 0, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr);
  if (s == nullptr) return false;
  Options& o = g_options;
  o.ini = Add(s, "ini", "string", "the list's configuration file (an .ini, as for the quorbel host)",
              0, 0, "", true);
  o.directory = Add(s, "directory", "string", "the folder of the list, its index and its ZIP", 0,
                    0, "", true);
  o.channels = Add(s, "channels", "string",
                   "channels served, comma-separated server.#channel (e.g. libera.#music)", 0, 0, "");
  o.slots = Add(s, "slots", "integer", "files sent at once", 1, 100, "2");
  o.sends_per_user = Add(s, "sends_per_user", "integer", "files one user may be sent at once", 1,
                         100, "1");
  o.queue_per_user = Add(s, "queue_per_user", "integer", "requests one user may have waiting", 1,
                         100, "3");
  o.queue_size = Add(s, "queue_size", "integer", "requests waiting in all", 1, 10000, "20");
  o.compress = Add(s, "compress", "boolean", "pack the list into a ZIP after each run; @nick "
                   "then sends the ZIP", 0, 0, "off", true);
  o.regenerate_hours = Add(s, "regenerate_hours", "integer",
                           "make the list anew every this many hours (0: only on /quorbel generate)",
                           0, 8760, "0");
  o.speed_limit = Add(s, "speed_limit", "integer",
                      "KB/s all sends together may reach (0: no cap); shared out evenly among the "
                      "slots through xfer.network.speed_limit_send",
                      0, 1000000, "0");
  o.speed_limit_per_send = Add(s, "speed_limit_per_send", "integer",
                               "KB/s one send may reach (0: no cap), through "
                               "xfer.network.speed_limit_send",
                               0, 1000000, "0");
  o.advertise_minutes = Add(s, "advertise_minutes", "integer",
                            "post a line telling the list, the free slots and the queue in each "
                            "served channel every this many minutes (0: never)",
                            0, 1440, "0");
  o.find = Add(s, "find", "boolean", "answer @find", 0, 0, "on");
  o.find_interval = Add(s, "find_interval", "integer",
                        "seconds a user waits between two answered @find requests", 0, 3600, "5");
  o.requests_per_minute = Add(s, "requests_per_minute", "integer",
                              "file, list and queue requests a user may make in a minute", 1,
                              1000, "10");
  o.ignore_minutes = Add(s, "ignore_minutes", "integer",
                         "minutes a user who goes beyond find_interval or requests_per_minute is "
                         "ignored", 1, 1440, "5");
  o.ignore = Add(s, "ignore", "string",
                 "users never answered: comma-separated masks nick!user@host, * for any text", 0,
                 0, "");
  o.library = Add(s, "library", "string",
                  "libquorbel.so to load (empty: beside the plug-in, then the installed one)", 0, 0,
                  "");
  weechat_config_read(g_file);
  return true;
}

void WriteAndFreeOptions() {
  if (g_file == nullptr) return;
  weechat_config_write(g_file);
  weechat_config_free(g_file);
  g_file = nullptr;
}

const Options& options() { return g_options; }

std::string String(t_config_option* option) {
  const char* value = weechat_config_string(option);
  return value != nullptr ? value : "";
}
int Integer(t_config_option* option) { return weechat_config_integer(option); }
bool Boolean(t_config_option* option) { return weechat_config_boolean(option) != 0; }

Limits CurrentLimits() {
  return Limits{size_t(Integer(g_options.slots)), size_t(Integer(g_options.queue_per_user)),
                size_t(Integer(g_options.queue_size)), size_t(Integer(g_options.sends_per_user))};
}

FloodRules CurrentFloodRules() {
  return FloodRules{Integer(g_options.find_interval), size_t(Integer(g_options.requests_per_minute)),
                    60LL * Integer(g_options.ignore_minutes)};
}

}  // namespace serve
