// WeeChat's plug-in API: its calls are macros over the plug-in's handle,
// which plugin.cpp receives at load time. Every file that calls WeeChat
// includes this after <weechat/weechat-plugin.h>.
#pragma once

#include <weechat/weechat-plugin.h>

#include <cstdlib>
#include <optional>
#include <string>

extern struct t_weechat_plugin* weechat_plugin;

namespace serve {

// An info of WeeChat's (weechat_info_get), nothing when it has none. The
// caller owns the text info_get returns: it is freed here, or every
// message read would leave a copy behind.
inline std::optional<std::string> Info(const char* name, const std::string& arguments) {
  char* value = weechat_info_get(name, arguments.c_str());
  if (value == nullptr) return std::nullopt;
  std::string text = value;
  std::free(value);
  return text;
}

// A string of the infolist's current item, "" when it has none.
inline std::string InfolistText(t_infolist* infolist, const char* key) {
  const char* value = weechat_infolist_string(infolist, key);
  return value != nullptr ? value : "";
}

}  // namespace serve
